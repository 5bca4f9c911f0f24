// Shared set-up of the GUI tests: a QApplication on the offscreen platform, the store fixture
// (StoreFixture.h), the mouse and key helpers every GUI test clicks with, and the main window
// started on a fresh folder with scripted answers to its questions.
#pragma once

#include "ScriptedPrompts.h"
#include "app/TfmMain.h"
#include "workspace/RecipeListModel.h"
#include "workspace/TfmFilter.h"
#include "workspace/TfmRecipeBook.h"
#include "workspace/TfmRecipeList.h"
#include "workspace/TfmRecipes.h"

#include "workspace/StoreFixture.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace larderly::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "larderly-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // The offscreen platform's remark about size hints is noise in test logs.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
            if (msg.startsWith("This plugin does not support")) return;
            if (type != QtDebugMsg) fprintf(stderr, "%s\n", qPrintable(msg));
        });
        return new QApplication(argc, argv);
    }();
    return *app;
}

// What a user does with the mouse and the keyboard. A test clicks where a user would click:
// a disabled button or command is a failure here, not a silent no-op.

// Clicks a button (or any widget) with the left mouse button: in its middle, or on the box of
// a check box or radio button (a wide one's middle may lie beyond its caption).
inline void ClickButton(QWidget* button) {
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    QPoint at = button->rect().center();
    if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button))
        at.setX(std::min(8, at.x()));
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
}

// Clicks a row of an item view in the middle of its rectangle, scrolled into view first.
inline void ClickRow(QAbstractItemView* view, const QModelIndex& index,
                     Qt::KeyboardModifiers modifiers = {}) {
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(index.isValid()) << "no such row in " << view->objectName().toStdString();
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                      view->visualRect(index).center());
}

// Clicks the row of a list box or tree list that shows `text` in its first column.
inline void ClickRow(QAbstractItemView* view, const QString& text) {
    ASSERT_NE(view, nullptr);
    const QModelIndexList found = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole,
                                                       text, 2, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << text.toStdString();
    ClickRow(view, found.front());
}

// Runs a command as its menu entry, button or shortcut would: only an enabled one can be chosen.
inline void TriggerEnabledAction(QAction* action) {
    ASSERT_NE(action, nullptr);
    ASSERT_TRUE(action->isEnabled()) << action->objectName().toStdString() << " is disabled";
    action->trigger();
}

// The base of the GUI tests: a fresh home, scripted prompts, and a main window started on
// demand.
class GuiTest : public ::testing::Test {
protected:
    GuiTest() { App(); }
    ~GuiTest() override {
        main_.reset();
        EXPECT_TRUE(prompts_.failures().empty())
            << "unexpected question: " << prompts_.failures().front();
        EXPECT_TRUE(prompts_.done()) << prompts_.pending() << " scripted answers left";
    }

    TfmMain& Start(bool welcome = false) {
        TfmMainOptions o;
        o.ShowWelcome = welcome;
        main_ = std::make_unique<TfmMain>(prompts_, o);
        main_->show();
        QApplication::processEvents();
        return *main_;
    }

    // The book pane and the filter dialog reuse some of the editor's names (btnNew,
    // btnDelete, btnHelp, edtTitle, cbCategory1): the editor pane is searched first.
    template <typename T> T* Find(const char* name) {
        T* w = main_->fmRecipes ? main_->fmRecipes->findChild<T*>(name) : nullptr;
        if (!w) w = main_->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << "no " << name;
        return w;
    }

    // The titles the list shows, top to bottom.
    std::vector<std::string> ListTitles() {
        std::vector<std::string> out;
        auto& m = main_->ListModel();
        for (int i = 0; i < m.Count(); ++i)
            out.push_back(m.SummaryAt(i)->Title);
        return out;
    }

    // The recipe list's row of a title (the first of equal titles); an invalid index when none.
    QModelIndex ListRow(const std::string& title) {
        auto& m = main_->ListModel();
        for (int i = 0; i < m.Count(); ++i)
            if (m.SummaryAt(i)->Title == title) return m.index(i);
        return {};
    }
    // Clicks a row of the recipe list, by its title or its place from the top.
    void ClickListRow(const std::string& title) {
        const QModelIndex row = ListRow(title);
        ASSERT_TRUE(row.isValid()) << "no row " << title;
        ClickRow(main_->rptViewRecipes, row);
    }
    void ClickListRow(int row) { ClickRow(main_->rptViewRecipes, main_->ListModel().index(row)); }

    std::string CurrentTitle() {
        TRecipeSummary* s = main_->CurrentRecipe();
        return s ? s->Title : std::string("<none>");
    }

    TempHome home_;
    ScriptedPrompts prompts_;
    std::unique_ptr<TfmMain> main_;
};

} // namespace larderly::test
