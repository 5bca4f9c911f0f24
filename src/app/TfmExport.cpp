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
#include <QVBoxLayout>

#include <cctype>

namespace larderly {

using namespace ExportSettingsKeys;
using exchange::ExportEncoding;
using exchange::ExportFormat;

void ReadExportOptions(TExportChoice& choice) {
    IniFile ini(SettingsFilePath());
    if (!exchange::ParseExportFormat(ini.ReadString(kExport, kFormat, "mmf"), choice.Format))
        choice.Format = ExportFormat::MealMaster;
    if (!exchange::ParseExportEncoding(ini.ReadString(kExport, kEncoding, "utf-8"),
                                       choice.Encoding))
        choice.Encoding = ExportEncoding::Utf8;
}

void WriteExportOptions(const TExportChoice& choice) {
    IniFile ini(SettingsFilePath());
    ini.SetString(kExport, kFormat, exchange::ExportFormatName(choice.Format));
    ini.SetString(kExport, kEncoding, exchange::ExportEncodingName(choice.Encoding));
    ini.Save();
}

std::string ExportFileFilter(ExportFormat format) {
    return format == ExportFormat::MasterCookText ? "MasterCook Text File (*.mxp)"
                                                  : "Meal-Master File (*.mmf)";
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
    cbFormat->addItem("Meal-Master (*.mmf)", static_cast<int>(ExportFormat::MealMaster));
    cbFormat->addItem("MasterCook text (*.mxp)", static_cast<int>(ExportFormat::MasterCookText));
    cbFormat->setCurrentIndex(cbFormat->findData(static_cast<int>(initial.Format)));
    cbEncoding = new QComboBox(this);
    cbEncoding->setObjectName("cbEncoding");
    for (ExportEncoding e :
         {ExportEncoding::Utf8, ExportEncoding::Windows1252, ExportEncoding::Cp437}) {
        std::string name = exchange::EncodingDisplayName(e);
        if (!name.empty()) name[0] = static_cast<char>(std::toupper(name[0]));
        cbEncoding->addItem(Q(name), static_cast<int>(e));
    }
    cbEncoding->setCurrentIndex(cbEncoding->findData(static_cast<int>(initial.Encoding)));
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
    c.Format = static_cast<ExportFormat>(cbFormat->currentData().toInt());
    c.Encoding = static_cast<ExportEncoding>(cbEncoding->currentData().toInt());
    c.Strict = cboxStrict->isChecked();
    return c;
}

} // namespace larderly
