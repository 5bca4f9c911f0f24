// The report system's windows.
#include "print/ReportDialogs.h"

#include "ingredients/Scale.h"

#include "platform/Errors.h"
#include "print/QtReportEngine.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace larderly {

TReportSetupDialog::TReportSetupDialog(QPrinter& printer, const TReportSetup& setup,
                                       QWidget* parent)
    : QDialog(parent), printer_(printer) {
    setObjectName("ReportSetup");
    setWindowTitle(report::kSetupTitle);
    auto* layout = new QVBoxLayout(this);

    auto* dest = new QGroupBox(tr("Destination"), this);
    auto* destLayout = new QVBoxLayout(dest);
    rbPreview_ = new QRadioButton(tr("&Preview"), dest);
    rbPreview_->setObjectName("rbPreview");
    rbPrinter_ = new QRadioButton(tr("P&rinter"), dest);
    rbPrinter_->setObjectName("rbPrinter");
    destLayout->addWidget(rbPreview_);
    destLayout->addWidget(rbPrinter_);
    (setup.Preview ? rbPreview_ : rbPrinter_)->setChecked(true);
    layout->addWidget(dest);

    auto* form = new QFormLayout;
    edtCopies_ = new QSpinBox(this);
    edtCopies_->setObjectName("edtCopies");
    edtCopies_->setRange(1, 999);
    edtCopies_->setValue(setup.Copies);
    form->addRow(tr("&Copies:"), edtCopies_);
    cboxCollate_ = new QCheckBox(tr("C&ollate"), this);
    cboxCollate_->setObjectName("cboxCollate");
    cboxCollate_->setChecked(setup.Collate);
    form->addRow(cboxCollate_);
    cboxDuplex_ = new QCheckBox(tr("&Duplex"), this);
    cboxDuplex_->setObjectName("cboxDuplex");
    cboxDuplex_->setChecked(setup.Duplex);
    form->addRow(cboxDuplex_);
    // Preview setup.
    edtZoom_ = new QSpinBox(this);
    edtZoom_->setObjectName("edtZoom");
    edtZoom_->setRange(10, 400);
    edtZoom_->setSuffix("%");
    edtZoom_->setValue(setup.PreviewZoom);
    form->addRow(tr("Preview &zoom:"), edtZoom_);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* btnPrinterSetup =
        buttons->addButton(tr("Printer &Setup..."), QDialogButtonBox::ActionRole);
    btnPrinterSetup->setObjectName("btnPrinterSetup");
    connect(btnPrinterSetup, &QPushButton::clicked, this, [this] { btnPrinterSetupClick(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void TReportSetupDialog::btnPrinterSetupClick() {
    QPrintDialog dlg(&printer_, this);
    dlg.setWindowTitle(tr("Printer Setup"));
    dlg.exec();
}

TReportSetup TReportSetupDialog::Setup() const {
    TReportSetup s;
    s.Preview = rbPreview_->isChecked();
    s.Copies = edtCopies_->value();
    s.Collate = cboxCollate_->isChecked();
    s.Duplex = cboxDuplex_->isChecked();
    s.PreviewZoom = edtZoom_->value();
    return s;
}

TReportStatus::TReportStatus(const char* pattern, QWidget* parent)
    : QDialog(parent), pattern_(pattern) {
    setObjectName("ReportStatus");
    setWindowTitle(report::kStatusTitle);
    auto* layout = new QVBoxLayout(this);
    lblStatus_ = new QLabel(this);
    lblStatus_->setObjectName("lblStatus");
    lblStatus_->setMinimumWidth(220);
    layout->addWidget(lblStatus_);
}

void TReportStatus::SetPage(int page) {
    lblStatus_->setText(QString::fromStdString(StatusText(pattern_, page)));
    lblStatus_->repaint();
}

QString TReportStatus::Text() const {
    return lblStatus_->text();
}

TReportSystem& TReportSystem::Of(QWidget& window) {
    if (auto* rs = window.findChild<TReportSystem*>("ReportSystem1", Qt::FindDirectChildrenOnly))
        return *rs;
    return *new TReportSystem(&window);
}

TReportSystem::TReportSystem(QWidget* parent)
    : QObject(parent), parent_(parent), printer_(std::make_unique<QPrinter>()) {
    setObjectName("ReportSystem1");
    RunSetup = [this](TReportSetup& setup, QPrinter& printer) {
        TReportSetupDialog dlg(printer, setup, parent_);
        if (dlg.exec() != QDialog::Accepted) return false;
        setup = dlg.Setup();
        return true;
    };
    RunPreview = [](QPrintPreviewDialog& dlg) { dlg.exec(); };
}

TReportSystem::~TReportSystem() = default;

std::unique_ptr<QPrinter> TReportSystem::JobPrinter() const {
    const QPrinter& kept = *printer_;
    auto job = std::make_unique<QPrinter>();
    job->setOutputFormat(kept.outputFormat());
    if (kept.outputFormat() == QPrinter::NativeFormat && !kept.printerName().isEmpty())
        job->setPrinterName(kept.printerName());
    job->setOutputFileName(kept.outputFileName());
    job->setDocName(kept.docName());
    job->setPageLayout(kept.pageLayout());
    job->setCopyCount(kept.copyCount());
    job->setCollateCopies(kept.collateCopies());
    job->setDuplex(kept.duplex());
    job->setColorMode(kept.colorMode());
    job->setPageOrder(kept.pageOrder());
    return job;
}

int TReportSystem::Render(QPagedPaintDevice& printer, const Drawing& draw,
                          const char* statusPattern) {
    TReportStatus status(statusPattern, parent_);
    status.show();
    QPainter painter;
    if (!painter.begin(&printer)) throw EInOutError(report::kUnableToStartPrinting);
    TQtReportEngine engine(printer, painter);
    engine.SetOnPage([&](int page) {
        status.SetPage(page);
        StatusLog.push_back(status.Text().toStdString());
    });
    const std::string date = DateText.empty() ? TodayReportDate() : DateText;
    draw(engine, date);
    painter.end();
    return engine.PageCount();
}

bool TReportSystem::Execute(TfmTables& store, int32_t recipeId, int servings) {
    StatusLog.clear();
    TRecipeReportData data = LoadRecipeReport(store, recipeId);
    if (servings > 0)
        if (auto scaled = ingredients::ScaleRecipeText(data.Text, servings))
            data.Text = std::move(*scaled);
    return Run(
        [&](TReportEngine& e, const std::string& date) { DrawRecipeReports(e, {data}, date); });
}

bool TReportSystem::Execute(TfmTables& store, const std::vector<int32_t>& recipeIds) {
    StatusLog.clear();
    std::vector<TRecipeReportData> reports;
    reports.reserve(recipeIds.size());
    for (int32_t id : recipeIds)
        reports.push_back(LoadRecipeReport(store, id));
    return Run(
        [&](TReportEngine& e, const std::string& date) { DrawRecipeReports(e, reports, date); });
}

bool TReportSystem::Execute(const std::string& title,
                            const std::vector<ingredients::ShoppingItem>& items) {
    StatusLog.clear();
    return Run([&](TReportEngine& e, const std::string& date) {
        DrawShoppingList(e, title, items, date);
    });
}

bool TReportSystem::Run(const Drawing& data) {
    QPrinter& printer = *printer_;
    printer.setDocName(report::kJobTitle);
    // The first report of the session starts on the default printer's paper (else the
    // locale's); what the user then picks in Printer Setup stays for the session.
    if (!pageChosen_) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        SetupReportPage(printer, info.isNull() ? QPageSize() : info.defaultPageSize());
        pageChosen_ = true;
    }
    TReportSetup setup = Setup;
    if (!RunSetup(setup, printer)) return false;
    Setup = setup;
    printer.setCopyCount(setup.Copies);
    printer.setCollateCopies(setup.Collate);
    printer.setDuplex(setup.Duplex ? QPrinter::DuplexAuto : QPrinter::DuplexNone);
    // Every job prints on a printer of its own made from the kept settings: a printer whose
    // start failed stays unusable, and must not take later jobs down with it.
    const std::unique_ptr<QPrinter> job = JobPrinter();
    if (!OutputFile.empty()) {
        job->setOutputFormat(QPrinter::PdfFormat);
        job->setOutputFileName(QString::fromStdString(OutputFile));
    }
    if (!setup.Preview) {
        const QString pdf =
            job->outputFormat() == QPrinter::PdfFormat ? job->outputFileName() : QString();
        if (pdf.isEmpty()) {
            Render(*job, data, report::kPrintingText);
        } else {
            // A PDF file is saved like every file written for the user: whole, or not at all.
            SavePdf(pdf.toStdString(), [&](QPdfWriter& writer) {
                writer.setPageLayout(job->pageLayout());
                return Render(writer, data, report::kPrintingText);
            });
        }
        return true;
    }
    QPrintPreviewDialog preview(job.get(), parent_);
    preview.setObjectName("PreviewBook");
    preview.setWindowTitle(report::kPreviewTitle);
    preview.setWindowState(preview.windowState() | Qt::WindowMaximized);
    // Errors cannot cross the preview's event loop: the first one is kept and raised after it.
    std::string failure;
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter* p) {
        try {
            Render(*p, data, report::kGeneratingText);
        } catch (const std::exception& e) {
            if (failure.empty()) failure = e.what();
        }
    });
    if (auto* widget = preview.findChild<QPrintPreviewWidget*>()) {
        widget->setZoomMode(QPrintPreviewWidget::CustomZoom);
        widget->setZoomFactor(setup.PreviewZoom / 100.0);
        widget->updatePreview();
    }
    RunPreview(preview);
    if (!failure.empty()) throw EInOutError(failure);
    return true;
}

} // namespace larderly
