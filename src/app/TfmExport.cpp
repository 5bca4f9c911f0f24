// The Export window: the three sources as radio buttons (a book picked in its combo box), the
// format and the character set, Export, Cancel and Help.
#include "app/TfmExport.h"

#include "gui/GuiSupport.h"
#include "platform/AppPaths.h"
#include "platform/IniFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cctype>

namespace larderly {

using namespace ExportSettingsKeys;
using exchange::ExportEncoding;
using exchange::ExportFormat;

void ReadExportOptions(TExportChoice& choice) {
    IniFile ini(SettingsFilePath());
    const exchange::ExportFormatInfo& firstFormat = exchange::ExportFormats().front();
    const exchange::ExportEncodingInfo& firstEncoding = exchange::ExportEncodings().front();
    if (!exchange::ParseExportFormat(ini.ReadString(kExport, kFormat, firstFormat.Id),
                                     choice.Format))
        choice.Format = firstFormat.Format;
    if (!exchange::ParseExportEncoding(ini.ReadString(kExport, kEncoding, firstEncoding.Id),
                                       choice.Encoding) ||
        !exchange::FormatTakesEncoding(choice.Format, choice.Encoding))
        choice.Encoding = exchange::FormatInfo(choice.Format).Encodings.front();
}

void WriteExportOptions(const TExportChoice& choice) {
    IniFile ini(SettingsFilePath());
    ini.SetString(kExport, kFormat, exchange::ExportFormatName(choice.Format));
    ini.SetString(kExport, kEncoding, exchange::ExportEncodingName(choice.Encoding));
    ini.Save();
}

std::string ExportFileFilter(ExportFormat format) {
    const exchange::ExportFormatInfo& info = exchange::FormatInfo(format);
    return std::string(info.FileTypeName) + " (*." + info.Extension + ")";
}

TfmExport::TfmExport(QWidget* parent, Prompts& prompts, const std::string& shownTitle, int listed,
                     const std::vector<exchange::ExportBook>& books, const TExportChoice& initial)
    : QDialog(parent), prompts_(prompts) {
    setObjectName("fmExport");
    setWindowTitle("Export Recipes");
    SetHelpContext(this, kHelpExport);

    auto* what = new QGroupBox("Export", this);
    // A long title is cut short with an ellipsis rather than widening the window.
    // An "&" of the title is shown as itself, not as a shortcut mark.
    QString title = fontMetrics().elidedText(Q(shownTitle), Qt::ElideRight, 320);
    title.replace('&', QStringLiteral("&&"));
    rbShownRecipe =
        new QRadioButton(shownTitle.empty() ? QString("The &shown recipe")
                                            : QString("The &shown recipe: %1").arg(title),
                         what);
    rbShownRecipe->setObjectName("rbShownRecipe");
    rbShownRecipe->setEnabled(!shownTitle.empty());
    rbListedRecipes = new QRadioButton(QString("The recipes in the &list (%1)").arg(listed), what);
    rbListedRecipes->setObjectName("rbListedRecipes");
    rbListedRecipes->setEnabled(listed > 0);
    rbBook = new QRadioButton("The recipes of the &book:", what);
    rbBook->setObjectName("rbBook");
    rbBook->setEnabled(!books.empty());
    cbBook = new QComboBox(what);
    cbBook->setObjectName("cbBook");
    for (const auto& b : books) {
        cbBook->addItem(Q(b.Name), b.Id);
        if (b.Id == initial.BookId) cbBook->setCurrentIndex(cbBook->count() - 1);
    }
    auto* bookRow = new QHBoxLayout;
    bookRow->addWidget(rbBook);
    bookRow->addWidget(cbBook, 1);
    auto* whatRows = new QVBoxLayout(what);
    whatRows->addWidget(rbShownRecipe);
    whatRows->addWidget(rbListedRecipes);
    whatRows->addLayout(bookRow);

    // The wanted source when it has something to offer, else the first that has.
    QRadioButton* wanted = initial.Source == TExportSource::ShownRecipe ? rbShownRecipe
                           : initial.Source == TExportSource::Book      ? rbBook
                                                                        : rbListedRecipes;
    if (!wanted->isEnabled())
        for (QRadioButton* rb : {rbListedRecipes, rbShownRecipe, rbBook})
            if (rb->isEnabled()) {
                wanted = rb;
                break;
            }
    if (wanted->isEnabled()) wanted->setChecked(true);

    cbFormat = new QComboBox(this);
    cbFormat->setObjectName("cbFormat");
    for (const exchange::ExportFormatInfo& f : exchange::ExportFormats()) {
        cbFormat->addItem(Q(std::string(f.ChoiceName) + " (*." + f.Extension + ")"), f.Id);
        if (f.Format == initial.Format) cbFormat->setCurrentIndex(cbFormat->count() - 1);
    }
    cbEncoding = new QComboBox(this);
    cbEncoding->setObjectName("cbEncoding");
    FillEncodings(initial.Encoding);
    cboxStrict = new QCheckBox("Leave out recipes with &missing characters", this);
    cboxStrict->setObjectName("cboxStrict");
    cboxStrict->setToolTip("Recipes holding characters the character set lacks are left out. "
                           "Otherwise such characters are written as their nearest ASCII "
                           "(\u2019 as ', \u00ae as (R)) and the recipes are named afterwards.");
    cboxStrict->setChecked(initial.Strict);
    auto* form = new QFormLayout;
    form->addRow("&Format:", cbFormat);
    form->addRow("Character s&et:", cbEncoding);

    btnExport = new QPushButton("&Export...", this);
    btnExport->setObjectName("btnExport");
    btnExport->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnHelp = new QPushButton("&Help", this);
    btnHelp->setObjectName("btnHelp");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnHelp);
    buttons->addStretch();
    buttons->addWidget(btnExport);
    buttons->addWidget(btnCancel);

    auto* rows = new QVBoxLayout(this);
    rows->addWidget(what);
    rows->addLayout(form);
    rows->addWidget(cboxStrict);
    rows->addLayout(buttons);

    // Another format offers the encodings it may be written in, the chosen one kept.
    connect(cbFormat, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { FillEncodings(ChosenEncoding()); });
    connect(btnExport, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { ShowHelpContext(prompts_, kHelpExport, this); });
    for (QRadioButton* rb : {rbShownRecipe, rbListedRecipes, rbBook})
        connect(rb, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });
    // Picking a book chooses the book as what to export.
    connect(cbBook, QOverload<int>::of(&QComboBox::activated), this, [this] {
        if (rbBook->isEnabled()) rbBook->setChecked(true);
    });
    UpdateEnabled();
}

ExportFormat TfmExport::ChosenFormat() const {
    ExportFormat format = exchange::ExportFormats().front().Format;
    exchange::ParseExportFormat(cbFormat->currentData().toString().toStdString(), format);
    return format;
}

ExportEncoding TfmExport::ChosenEncoding() const {
    ExportEncoding encoding = exchange::ExportEncodings().front().Encoding;
    exchange::ParseExportEncoding(cbEncoding->currentData().toString().toStdString(), encoding);
    return encoding;
}

void TfmExport::FillEncodings(ExportEncoding wanted) {
    const QSignalBlocker quiet(cbEncoding);
    cbEncoding->clear();
    for (ExportEncoding e : exchange::FormatInfo(ChosenFormat()).Encodings) {
        std::string name = exchange::EncodingDisplayName(e);
        if (!name.empty()) name[0] = static_cast<char>(std::toupper(name[0]));
        cbEncoding->addItem(Q(name), exchange::ExportEncodingName(e));
        if (e == wanted) cbEncoding->setCurrentIndex(cbEncoding->count() - 1);
    }
}

void TfmExport::UpdateEnabled() {
    btnExport->setEnabled(rbShownRecipe->isChecked() || rbListedRecipes->isChecked() ||
                          rbBook->isChecked());
    cbBook->setEnabled(rbBook->isEnabled());
}

TExportChoice TfmExport::Choice() const {
    TExportChoice c;
    c.Source = rbShownRecipe->isChecked() ? TExportSource::ShownRecipe
               : rbBook->isChecked()      ? TExportSource::Book
                                          : TExportSource::ListedRecipes;
    c.BookId = cbBook->currentIndex() >= 0 ? cbBook->currentData().toInt() : -1;
    c.Format = ChosenFormat();
    c.Encoding = ChosenEncoding();
    c.Strict = cboxStrict->isChecked();
    return c;
}

} // namespace larderly
