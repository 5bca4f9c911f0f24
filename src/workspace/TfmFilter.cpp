// The filter dialog.
#include "workspace/TfmFilter.h"

#include "gui/GuiSupport.h"
#include "store/Labels.h"
#include "workspace/CategoryPicker.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace larderly {

TfmFilter::TfmFilter(WorkspaceHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    setObjectName("fmFilter");
    setWindowTitle("Filter Recipes");
    resize(513, 289);
    setModal(true);

    auto* root = new QVBoxLayout(this);

    auto* grpTitle = new QGroupBox(tr("Title"), this);
    grpTitle->setObjectName("grpTitle");
    auto* titleLayout = new QVBoxLayout(grpTitle);
    cboxTitle = new QCheckBox(tr("By Title"), grpTitle);
    cboxTitle->setObjectName("cboxTitle");
    cboxTitle->setToolTip(tr("Check this box if you want to filter the Recipe List by a title"));
    edtTitle = new QLineEdit(grpTitle);
    edtTitle->setObjectName("edtTitle");
    edtTitle->setMaxLength(static_cast<int>(kTitleWidth));
    edtTitle->setToolTip(tr("Enter a partial or full title of the Recipe"));
    rbContains = new QRadioButton(tr("Contains"), grpTitle);
    rbContains->setObjectName("rbContains");
    rbContains->setToolTip(tr(
        "This will display all recipes that contain the text you have entered in the box above"));
    rbContains->setChecked(true);
    rbMatch = new QRadioButton(tr("Exact match"), grpTitle);
    rbMatch->setObjectName("rbMatch");
    rbMatch->setToolTip(
        tr("Checking this will find the recipe that contains an exact match to what you have "
           "entered in the box above."));
    auto* radios = new QHBoxLayout;
    radios->addWidget(rbContains);
    radios->addWidget(rbMatch);
    radios->addStretch();
    titleLayout->addWidget(cboxTitle);
    titleLayout->addWidget(edtTitle);
    titleLayout->addLayout(radios);
    root->addWidget(grpTitle);

    auto* grpCategory = new QGroupBox(tr("Category"), this);
    grpCategory->setObjectName("grpCategory");
    auto* catLayout = new QVBoxLayout(grpCategory);
    cboxCategory = new QCheckBox(tr("By Category"), grpCategory);
    cboxCategory->setObjectName("cboxCategory");
    cboxCategory->setToolTip(tr("Check this to filter the Recipe List by Category"));
    cbCategory1 = NewCategoryPicker(grpCategory, "cbCategory1");
    cbCategory1->setToolTip(tr("Select the category that you want to filter by"));
    catLayout->addWidget(cboxCategory);
    catLayout->addWidget(cbCategory1);
    root->addWidget(grpCategory);

    auto* buttons = new QHBoxLayout;
    btnEdit = new QPushButton(tr("&Enable Filter"), this);
    btnEdit->setObjectName("btnEdit");
    btnEdit->setToolTip(
        tr("This will enable the filter based on the criteria that you have entered above"));
    btnDisable = new QPushButton(tr("&Disable Filter"), this);
    btnDisable->setObjectName("btnDisable");
    btnDisable->setToolTip(tr("This will populate the Recipe List with all of the Recipes"));
    btnHelp = new QPushButton(tr("Help"), this);
    btnHelp->setObjectName("btnHelp");
    // Enter never presses a button here: it moves on to the next control.
    for (QPushButton* b : {btnEdit, btnDisable, btnHelp}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnDisable);
    buttons->addStretch();
    buttons->addWidget(btnHelp);
    root->addLayout(buttons);

    for (QWidget* w :
         std::initializer_list<QWidget*>{this, cboxTitle, edtTitle, rbContains, rbMatch,
                                         cboxCategory, cbCategory1, btnEdit, btnDisable, btnHelp})
        SetHelpContext(w, kHelpFilter);
    for (QWidget* w : std::initializer_list<QWidget*>{edtTitle, cboxTitle, rbContains, rbMatch,
                                                      cboxCategory, cbCategory1})
        w->installEventFilter(this);
    if (cbCategory1->lineEdit()) cbCategory1->lineEdit()->installEventFilter(this);

    connect(cboxTitle, &QCheckBox::clicked, this, [this] { cboxTitleClick(); });
    connect(cboxCategory, &QCheckBox::clicked, this, [this] { cboxCategoryClick(); });
    connect(btnEdit, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnDisable, &QPushButton::clicked, this, [this] { btnDisableClick(); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
    // F1 opens the help at the context of the control that has the focus (all the filter's).
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] {
        RunGuarded(host_.UserPrompts(),
                   [this] { host_.ShowHelp(HelpContextOf(QApplication::focusWidget())); });
    });

    ShowModal = [](TfmFilter& dlg) { return dlg.exec(); };

    // FormCreate: the picker with the categories, then a clear filter.
    RunGuarded(host_.UserPrompts(),
               [this] { FillLabelPicker(*cbCategory1, host_.Store(), kLabelKindCategory); });
    ResetFilter();
    cboxTitleClick();
    cboxCategoryClick();
    // Categories added later (an import, the editor) can be chosen at once.
    host_.OnLabelsChanged([this] { FillCategories(); });
}

void TfmFilter::FillCategories() {
    const int32_t chosen =
        cbCategory1->currentIndex() >= 0 ? cbCategory1->currentData().toInt() : -1;
    const QString typed = cbCategory1->currentText();
    RunGuarded(host_.UserPrompts(),
               [this] { FillLabelPicker(*cbCategory1, host_.Store(), kLabelKindCategory); });
    if (chosen >= 0 && PickerHasLabel(*cbCategory1, chosen)) {
        SelectLabelInPicker(*cbCategory1, chosen);
    } else {
        cbCategory1->setCurrentIndex(-1);
        cbCategory1->setEditText(typed);
    }
}

void TfmFilter::ResetFilter() {
    cboxTitle->setChecked(false);
    cboxCategory->setChecked(false);
    edtTitle->clear();
    cbCategory1->setCurrentIndex(-1);
    cbCategory1->setEditText(QString());
    prepared_ = TRecipeFilter(TFilterState{});
}

void TfmFilter::cboxTitleClick() {
    const bool on = cboxTitle->isChecked();
    edtTitle->setEnabled(on);
    rbContains->setEnabled(on);
    rbMatch->setEnabled(on);
}

void TfmFilter::cboxCategoryClick() {
    cbCategory1->setEnabled(cboxCategory->isChecked());
}

void TfmFilter::btnDisableClick() {
    ResetFilter();
    accept();
}

void TfmFilter::btnHelpClick() {
    host_.ShowHelp(kHelpFilter);
}

void TfmFilter::TakeState() {
    TFilterState s;
    s.ByTitle = cboxTitle->isChecked();
    s.TitleText = FilterTitleText(S(edtTitle->text()));
    s.Contains = rbContains->isChecked();
    s.CategoryId = PickedLabelId(*cbCategory1);
    s.ByCategory = cboxCategory->isChecked();
    prepared_ = TRecipeFilter(std::move(s));
}

bool TfmFilter::RunFilter() {
    cboxTitleClick();
    cboxCategoryClick();
    if (ShowModal(*this) != QDialog::Accepted) return false;
    TakeState();
    return true;
}

bool TfmFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace larderly
