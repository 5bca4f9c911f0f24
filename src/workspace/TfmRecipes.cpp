// The recipe editor pane.
#include "workspace/TfmRecipes.h"

#include "ingredients/Scale.h"
#include "store/Categories.h"

#include "gui/GuiSupport.h"
#include "platform/Text.h"
#include "store/Labels.h"
#include "workspace/CategoryPicker.h"

#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextOption>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace larderly {

namespace {
QPushButton* NewButton(QWidget* parent, const char* name, const char* caption, const char* hint) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setFixedSize(75, 25);
    b->setToolTip(hint);
    return b;
}
} // namespace

TfmRecipes::TfmRecipes(WorkspaceHost& host, QWidget* parent)
    : TPane(parent), host_(host), core_(host.Store()) {
    setObjectName("fmRecipes");
    resize(545, 508);

    pnlButtons = new QWidget(this);
    pnlButtons->setObjectName("pnlButtons");
    pnlButtons->setFixedHeight(41);
    auto* bar = new QHBoxLayout(pnlButtons);
    bar->setContentsMargins(8, 8, 8, 8);
    bar->setSpacing(8);
    btnEdit =
        NewButton(pnlButtons, "btnEdit", "&Edit", "This allows you to edit the selected Recipe");
    btnNew = NewButton(pnlButtons, "btnNew", "&New", "If you want to add a new recipe, click here");
    btnSave = NewButton(pnlButtons, "btnSave", "&Save",
                        "This will save the changes that you have made to a Recipe");
    btnUndo = NewButton(pnlButtons, "btnUndo", "&Undo",
                        "This will \"Undo\" the changes that you have made to a Recipe");
    btnDelete = NewButton(pnlButtons, "btnDelete", "&Delete",
                          "Make sure you want to delete the current Recipe before you click this");
    btnHelp = NewButton(pnlButtons, "btnHelp", "&Help", "Help for Larderly");
    for (QPushButton* b : {btnEdit, btnNew, btnSave, btnUndo, btnDelete, btnHelp})
        bar->addWidget(b);
    bar->addStretch(1);

    auto* fields = new QGridLayout;
    fields->setContentsMargins(8, 4, 8, 4);
    fields->setHorizontalSpacing(8);
    auto* lblTitle = new QLabel("Title", this);
    lblTitle->setObjectName("lblTitle");
    edtTitle = new QLineEdit(this);
    edtTitle->setObjectName("edtTitle");
    edtTitle->setMaxLength(static_cast<int>(kTitleWidth));
    edtTitle->setToolTip("Enter the Title for the Recipe");
    lblTitle->setBuddy(edtTitle);
    fields->addWidget(lblTitle, 0, 0, 1, 4);
    fields->addWidget(edtTitle, 1, 0, 1, 4);
    static const char* const names[4] = {"cbCategory1", "cbCategory2", "cbCategory3",
                                         "cbCategory4"};
    for (int i = 0; i < 4; ++i) {
        cbCategory[static_cast<size_t>(i)] = NewCategoryPicker(this, names[i]);
        auto* lbl = new QLabel(QString("Category %1").arg(i + 1), this);
        lbl->setObjectName(QString("lblCategory%1").arg(i + 1));
        lbl->setBuddy(cbCategory[static_cast<size_t>(i)]);
        // Slots 1 and 2 on the left, 3 and 4 on the right.
        int col = i < 2 ? 0 : 2;
        int row = 2 + (i % 2);
        fields->addWidget(lbl, row, col);
        fields->addWidget(cbCategory[static_cast<size_t>(i)], row, col + 1);
    }
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(3, 1);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    QFont mono("Courier");
    mono.setStyleHint(QFont::TypeWriter);
    mono.setFixedPitch(true);
    Memo1->setFont(mono);
    // Long lines wrap at the pane's edge for reading; the stored text keeps its own lines.
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setTabStopDistance(8 * QFontMetricsF(mono).horizontalAdvance(QLatin1Char(' ')));
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setToolTip("Enter the Recipe");

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(pnlButtons);
    lay->addLayout(fields);
    spnServings = new QSpinBox(this);
    spnServings->setObjectName("spnServings");
    spnServings->setRange(0, 999);
    spnServings->setSpecialValueText("-");
    spnServings->setToolTip("Show the ingredient amounts for this many servings (the stored "
                            "recipe does not change)");
    auto* lblServings = new QLabel("Ser&vings:", this);
    lblServings->setBuddy(spnServings);
    connect(spnServings, &QSpinBox::valueChanged, this, [this] { ShowScaledText(); });
    auto* servingsRow = new QHBoxLayout;
    servingsRow->addStretch(1);
    servingsRow->addWidget(lblServings);
    servingsRow->addWidget(spnServings);
    auto* memoBox = new QVBoxLayout;
    memoBox->setContentsMargins(8, 4, 8, 8);
    memoBox->addLayout(servingsRow);
    memoBox->addWidget(Memo1);
    lay->addLayout(memoBox, 1);

    setTabOrder(edtTitle, cbCategory1);
    setTabOrder(cbCategory1, cbCategory2);
    setTabOrder(cbCategory2, cbCategory3);
    setTabOrder(cbCategory3, cbCategory4);
    setTabOrder(cbCategory4, spnServings);
    setTabOrder(spnServings, Memo1);
    setTabOrder(btnEdit, btnNew);
    setTabOrder(btnNew, btnSave);
    setTabOrder(btnSave, btnUndo);
    setTabOrder(btnUndo, btnDelete);
    setTabOrder(btnDelete, btnHelp);

    SetHelpContext(this, kHelpRecipes);

    edtTitle->installEventFilter(this);
    for (QComboBox* cb : cbCategory) {
        cb->installEventFilter(this);
        if (cb->lineEdit()) cb->lineEdit()->installEventFilter(this);
    }

    connect(btnEdit, &QPushButton::clicked, this, [this] { Guarded(&TfmRecipes::btnEditClick); });
    connect(btnNew, &QPushButton::clicked, this, [this] { Guarded(&TfmRecipes::btnNewClick); });
    connect(btnSave, &QPushButton::clicked, this, [this] { Guarded(&TfmRecipes::btnSaveClick); });
    connect(btnUndo, &QPushButton::clicked, this, [this] { Guarded(&TfmRecipes::btnUndoClick); });
    connect(btnDelete, &QPushButton::clicked, this,
            [this] { Guarded(&TfmRecipes::btnDeleteClick); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { Guarded(&TfmRecipes::btnHelpClick); });

    // Ctrl+S saves as Alt+S does; Escape gives the edit up (asking first when something
    // was changed). Both only while a recipe is edited.
    auto* save = new QShortcut(QKeySequence::Save, this);
    save->setObjectName("scSave");
    save->setContext(Qt::WidgetWithChildrenShortcut);
    connect(save, &QShortcut::activated, this, [this] {
        if (btnSave->isEnabled()) Guarded(&TfmRecipes::btnSaveClick);
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName("scEscape");
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (btnUndo->isEnabled()) Guarded(&TfmRecipes::EscapeKey);
    });

    PaneCreate();
    host_.OnLabelsChanged([this] { RefillPickers(); });
    EnableRecipeFields(false);
    SetEditMode(false);
}

void TfmRecipes::Guarded(void (TfmRecipes::*handler)()) {
    RunGuarded(host_.UserPrompts(), [&] { (this->*handler)(); });
}

void TfmRecipes::PaneCreate() {
    for (QComboBox* cb : cbCategory)
        FillLabelPicker(*cb, host_.Store(), kLabelKindCategory);
}

void TfmRecipes::RefillPickers() {
    for (QComboBox* cb : cbCategory) {
        // Keep what the picker names: its selected label, or the text the user typed.
        int cur = cb->currentIndex();
        QString text = cb->currentText();
        int32_t selected = cur >= 0 && cb->itemText(cur) == text ? cb->itemData(cur).toInt() : -1;
        FillLabelPicker(*cb, host_.Store(), kLabelKindCategory);
        if (selected != -1 && PickerHasLabel(*cb, selected))
            SelectLabelInPicker(*cb, selected);
        else
            cb->setEditText(text);
    }
}

std::array<QWidget*, 6> TfmRecipes::EnterChain() const {
    return {edtTitle, cbCategory[0], cbCategory[1], cbCategory[2], cbCategory[3], Memo1};
}

bool TfmRecipes::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        edtTitleKeyPress(watched, *static_cast<QKeyEvent*>(event)))
        return true;
    if (PickerChangeBlocked(watched, event)) return true;
    return TPane::eventFilter(watched, event);
}

bool TfmRecipes::edtTitleKeyPress(QObject* sender, const QKeyEvent& key) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter) return false;
    // Enter in the title field or a picker is swallowed and moves on to the next control.
    auto chain = EnterChain();
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        QWidget* w = chain[i];
        auto* cb = qobject_cast<QComboBox*>(w);
        if (sender == w || (cb && sender == cb->lineEdit())) {
            if (cb) PickedLabelId(*cb); // a typed name that matches an entry selects it
            chain[i + 1]->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

void TfmRecipes::SetEditMode(bool editing) {
    editing_ = editing;
    // Edit, Delete and Print act on the recipe shown, which must be the list's current row.
    const TRecipeSummary* cur = host_.CurrentRecipe();
    const bool current = cur && shownId_ != -1 && cur->InternalID == shownId_;
    btnEdit->setEnabled(!editing && current);
    btnNew->setEnabled(!editing);
    btnSave->setEnabled(editing);
    btnUndo->setEnabled(editing);
    btnDelete->setEnabled(!editing && current);
    host_.SetRecipeListEnabled(!editing);
    host_.SetButtonEnabled(MainButton::Filter, !editing);
    host_.SetButtonEnabled(MainButton::RecipeBook, !editing);
    host_.SetButtonEnabled(MainButton::Print, !editing && current);
    host_.SetEditing(editing);
}

void TfmRecipes::EnableRecipeFields(bool enabled) {
    if (enabled && !fieldsEditable_) {
        // Editing works on the stored text, never on a scaled view of it.
        fieldsEditable_ = true;
        ResetServings();
    } else if (!enabled && fieldsEditable_) {
        // What the fields now hold is what is stored (saved, or undone).
        fieldsEditable_ = false;
        storedLines_.clear();
        const QString text = Memo1->toPlainText();
        if (!text.isEmpty())
            for (const QString& l : text.split('\n'))
                storedLines_.push_back(S(l));
        ResetServings();
    }
    fieldsEditable_ = enabled;
    ApplyFieldState();
}

int TfmRecipes::ShownServings() const {
    const std::optional<double> servings = ingredients::RecipeServings(storedLines_);
    if (fieldsEditable_ || !servings || spnServings->value() <= 0 ||
        spnServings->value() == static_cast<int>(std::lround(*servings)))
        return 0;
    return spnServings->value();
}

void TfmRecipes::ResetServings() {
    const std::optional<double> servings = ingredients::RecipeServings(storedLines_);
    {
        const QSignalBlocker block(spnServings);
        spnServings->setValue(servings ? static_cast<int>(std::lround(*servings)) : 0);
    }
    ShowScaledText();
}

void TfmRecipes::ShowScaledText() {
    std::optional<std::vector<std::string>> scaled;
    const std::optional<double> servings = ingredients::RecipeServings(storedLines_);
    if (!fieldsEditable_ && servings && spnServings->value() > 0 &&
        spnServings->value() != static_cast<int>(std::lround(*servings)))
        scaled = ingredients::ScaleRecipeText(storedLines_, spnServings->value());
    QStringList lines;
    for (const std::string& l : scaled ? *scaled : storedLines_)
        lines << Q(l);
    const QString text = lines.join('\n');
    if (Memo1->toPlainText() != text) Memo1->setPlainText(text);
}

void TfmRecipes::ApplyFieldState() {
    // Browse mode shows a recipe read-only but in normal colours, scrollable, selectable
    // and copyable; with no recipe shown there is nothing to read and the fields are off.
    const bool on = fieldsEditable_ || shownId_ != -1;
    edtTitle->setEnabled(on);
    edtTitle->setReadOnly(!fieldsEditable_);
    for (QComboBox* cb : cbCategory) {
        cb->setEnabled(on);
        if (cb->lineEdit()) cb->lineEdit()->setReadOnly(!fieldsEditable_);
    }
    Memo1->setEnabled(on);
    Memo1->setReadOnly(!fieldsEditable_);
    spnServings->setEnabled(on && !fieldsEditable_ &&
                            ingredients::RecipeServings(storedLines_).has_value());
    // Read-only: the caret moves and selects by keyboard and mouse, but types nothing.
    Memo1->setTextInteractionFlags(fieldsEditable_
                                       ? Qt::TextEditorInteraction
                                       : Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

bool TfmRecipes::PickerChangeBlocked(QObject* watched, QEvent* event) const {
    if (fieldsEditable_) return false;
    auto* cb = qobject_cast<QComboBox*>(watched);
    if (!cb || std::find(cbCategory.begin(), cbCategory.end(), cb) == cbCategory.end())
        return false;
    // A read-only picker keeps its label: no list to drop down, no wheel or keys to step it.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        return true;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_F4:
        case Qt::Key_Space:
            return true;
        case Qt::Key_Home:
        case Qt::Key_End:
            return !cb->lineEdit();
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

void TfmRecipes::ShowRecipe(int32_t id) {
    // Raises the store's error when the row is gone; nothing changes then.
    const RecipeValue recipe = core_.Load(id);
    shownId_ = recipe.InternalID;
    storedLines_ = recipe.Lines;
    ResetServings();
    // A slot whose label was added since the pickers were filled must not show empty (and
    // be lost on the next save): refill once and look again.
    bool refilled = false;
    for (std::size_t s = 0; s < 4; ++s) {
        int32_t label = recipe.Category[s];
        if (label != -1 && !PickerHasLabel(*cbCategory[s], label) && !refilled) {
            RefillPickers();
            refilled = true;
        }
        SelectLabelInPicker(*cbCategory[s], label);
    }
    edtTitle->setText(Q(recipe.Title));
    edtTitle->setCursorPosition(0);
    ApplyFieldState();
}

RecipeValue TfmRecipes::ReadFields() const {
    RecipeValue recipe;
    const QString text = Memo1->toPlainText();
    if (!text.isEmpty())
        for (const QString& l : text.split('\n'))
            recipe.Lines.push_back(S(l));
    recipe.Title = CutChars(TrimCodes(S(edtTitle->text())), kTitleWidth);
    for (std::size_t s = 0; s < 4; ++s)
        recipe.Category[s] = PickedLabelId(*cbCategory[s]);
    recipe.InternalID = shownId_;
    return recipe;
}

void TfmRecipes::btnNewClick() {
    ShowRecipe(-1);
    EnableRecipeFields(true);
    edtTitle->setFocus(Qt::OtherFocusReason);
    SetEditMode(true);
    editStart_ = FieldTexts();
}

void TfmRecipes::btnEditClick() {
    EnableRecipeFields(true);
    edtTitle->setFocus(Qt::OtherFocusReason);
    SetEditMode(true);
    editStart_ = FieldTexts();
}

QStringList TfmRecipes::FieldTexts() const {
    QStringList texts{edtTitle->text(), Memo1->toPlainText()};
    for (const QComboBox* cb : cbCategory)
        texts << cb->currentText();
    return texts;
}

bool TfmRecipes::FieldsChanged() const {
    return FieldTexts() != editStart_;
}

void TfmRecipes::EscapeKey() {
    if (FieldsChanged() &&
        host_.UserPrompts().Message(PromptKind::Confirmation, kAskDiscardChanges,
                                    PromptButtons::YesNoSafe) != PromptAnswer::Yes)
        return;
    btnUndoClick();
}

void TfmRecipes::btnSaveClick() {
    if (TrimCodes(S(edtTitle->text())).empty()) throw std::runtime_error(kNeedTitle);
    // A typed name that is no category: the user says whether it becomes one. Without it
    // the slot is stored empty, and shows so.
    for (QComboBox* cb : cbCategory) {
        const std::string typed = TrimCodes(S(cb->currentText()));
        if (typed.empty() || PickedLabelId(*cb) != -1) continue;
        if (host_.UserPrompts().Message(PromptKind::Confirmation,
                                        "Category \"" + typed + "\" does not exist. Create it?",
                                        PromptButtons::YesNo) != PromptAnswer::Yes)
            continue;
        const int32_t id = AddCategory(host_.Store(), typed);
        host_.NotifyLabelsChanged();
        RefillPickers();
        SelectLabelInPicker(*cb, id);
    }
    RecipeValue recipe = ReadFields();
    core_.Save(recipe);
    shownId_ = recipe.InternalID;
    // The pickers show what was stored: a typed name that is no label was stored as none.
    for (std::size_t s = 0; s < 4; ++s)
        SelectLabelInPicker(*cbCategory[s], recipe.Category[s]);
    // The list already follows: the store told it of the committed summary.
    SetEditMode(false);
    EnableRecipeFields(false);
}

void TfmRecipes::btnUndoClick() {
    // Undo always leaves edit mode, even when the list's recipe cannot be shown again (it
    // vanished from the table): otherwise the pane could never leave edit mode.
    try {
        host_.rptViewRecipesClick();
    } catch (...) {
        SetEditMode(false);
        EnableRecipeFields(false);
        throw;
    }
    SetEditMode(false);
    EnableRecipeFields(false);
}

void TfmRecipes::btnDeleteClick() {
    Prompts& p = host_.UserPrompts();
    // The question names the recipe; Enter (the default button) answers No.
    const std::string ask = "Delete \"" + S(edtTitle->text()) + "\"?\n\n" + kAskDelete;
    if (p.Message(PromptKind::Warning, ask, PromptButtons::YesNoSafe) == PromptAnswer::Yes) {
        const int32_t id = shownId_;
        if (core_.Delete(id)) {
            // Told only once the deletion is committed.
            p.Message(PromptKind::Information, kRecipeDeleted);
            // The list dropped the row when the deletion committed; the editor follows it.
            host_.rptViewRecipesClick();
            if (!host_.CurrentRecipe()) ShowRecipe(-1);
        } else {
            p.Message(PromptKind::Information, kUnableToDelete);
        }
    }
    SetEditMode(false);
    EnableRecipeFields(false);
}

void TfmRecipes::btnHelpClick() {
    host_.ShowHelp(kHelpRecipes);
}

bool TfmRecipes::PaneCloseQuery() {
    host_.StopCloseTimer();
    if (!btnSave->isEnabled()) return true;
    switch (host_.UserPrompts().Message(PromptKind::Confirmation, kAskSaveChanges,
                                        PromptButtons::YesNoCancel)) {
    case PromptAnswer::Yes:
        btnSaveClick();
        return true;
    case PromptAnswer::No:
        return true;
    default:
        return false;
    }
}

} // namespace larderly
