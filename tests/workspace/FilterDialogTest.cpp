// The filter dialog in the main window: created hidden, F5 runs it, OK filters the list,
// closing otherwise changes nothing, Disable Filter shows everything, the settings stay
// between uses, categories added later can be chosen at once, and Enter moves the focus.
#include "workspace/GuiFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gmock/gmock.h>

namespace larderly::test {
namespace {

using ::testing::ElementsAre;

class FilterDialogTest : public GuiTest {
protected:
    TfmFilter& Dlg() { return *main_->fmFilter; }
    template <typename T> T* In(const char* name) {
        T* w = Dlg().findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Runs F5 with the dialog answered by `fill`, which sets its controls and gives the
    // dialog's result.
    void RunF5(const std::function<int(TfmFilter&)>& fill) {
        Dlg().ShowModal = fill;
        QTest::keyClick(main_.get(), Qt::Key_F5);
    }
    static int Ok(TfmFilter& d) {
        ClickButton(d.findChild<QPushButton*>("btnEdit"));
        return d.result();
    }

    std::vector<SeedRecipe> Recipes() {
        return {{"Leek Soup", {"Soups"}, {}},
                {"Crème brûlée", {"Desserts", "French", "Baked", "Cold"}, {}},
                {"tomato SOUP", {"Soups", "Quick"}, {}},
                {"Bread", {}, {}}};
    }
};

TEST_F(FilterDialogTest, CreatedHiddenWithAClearFilter) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    EXPECT_FALSE(Dlg().isVisible());
    EXPECT_EQ(Dlg().windowTitle().toStdString(), "Filter Recipes");
    EXPECT_EQ(Dlg().State(), TFilterState{});
    EXPECT_TRUE(m.actFilter->isEnabled());
    EXPECT_EQ(In<QComboBox>("cbCategory1")->count(), 6);
    EXPECT_EQ(ListTitles().size(), 4u);
}

TEST_F(FilterDialogTest, TitleAndCategoryFilterTheListAndSettingsStay) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    RunF5([](TfmFilter& d) {
        EXPECT_FALSE(d.findChild<QLineEdit*>("edtTitle")->isEnabled())
            << "fields follow the check boxes";
        ClickButton(d.findChild<QCheckBox*>("cboxTitle"));
        EXPECT_TRUE(d.findChild<QLineEdit*>("edtTitle")->isEnabled());
        d.findChild<QLineEdit*>("edtTitle")->setText("  soup ");
        return Ok(d);
    });
    EXPECT_THAT(ListTitles(), ElementsAre("Leek Soup", "tomato SOUP"));
    EXPECT_EQ(CurrentTitle(), "Leek Soup");
    EXPECT_EQ(Dlg().State().TitleText, "soup");
    EXPECT_EQ(m.Summaries().Count(), 4u) << "the summaries keep every recipe";

    // Opened again it shows the last settings; add the category "quick" typed in lower case.
    RunF5([](TfmFilter& d) {
        EXPECT_EQ(d.findChild<QLineEdit*>("edtTitle")->text().toStdString(), "  soup ");
        EXPECT_TRUE(d.findChild<QCheckBox*>("cboxTitle")->isChecked());
        ClickButton(d.findChild<QCheckBox*>("cboxCategory"));
        d.findChild<QComboBox*>("cbCategory1")->setEditText("quick");
        return Ok(d);
    });
    EXPECT_THAT(ListTitles(), ElementsAre("tomato SOUP"));

    // Closed without OK: neither the state nor the list changes.
    const TFilterState before = Dlg().State();
    RunF5([](TfmFilter& d) {
        ClickButton(d.findChild<QCheckBox*>("cboxTitle"));
        return int(QDialog::Rejected);
    });
    EXPECT_EQ(Dlg().State(), before);
    EXPECT_THAT(ListTitles(), ElementsAre("tomato SOUP"));

    // Disable Filter shows everything whatever the boxes showed.
    RunF5([](TfmFilter& d) {
        ClickButton(d.findChild<QPushButton*>("btnDisable"));
        return d.result();
    });
    EXPECT_EQ(Dlg().State(), TFilterState{});
    EXPECT_EQ(ListTitles().size(), 4u);
    EXPECT_FALSE(In<QCheckBox>("cboxTitle")->isChecked());
    EXPECT_TRUE(In<QLineEdit>("edtTitle")->text().isEmpty());
}

TEST_F(FilterDialogTest, ByCategoryWithNoCategoryShowsRecipesWithAnEmptySlot) {
    Seed(home_.Home(), Recipes());
    Start();
    RunF5([](TfmFilter& d) {
        ClickButton(d.findChild<QCheckBox*>("cboxCategory"));
        d.findChild<QComboBox*>("cbCategory1")->setEditText("no such category");
        return Ok(d);
    });
    EXPECT_EQ(Dlg().State().CategoryId, -1);
    EXPECT_THAT(ListTitles(), ElementsAre("Bread", "Leek Soup", "tomato SOUP"));
    // Exact match: a-z fold, accented letters must match as written.
    RunF5([](TfmFilter& d) {
        ClickButton(d.findChild<QCheckBox*>("cboxCategory")); // off again
        ClickButton(d.findChild<QCheckBox*>("cboxTitle"));
        d.findChild<QLineEdit*>("edtTitle")->setText("crème BRÛLÉE");
        ClickButton(d.findChild<QRadioButton*>("rbMatch"));
        return Ok(d);
    });
    EXPECT_THAT(ListTitles(), ::testing::IsEmpty()) << "accented letters must match exactly";
    EXPECT_EQ(CurrentTitle(), "<none>");
}

TEST_F(FilterDialogTest, CategoriesAddedLaterCanBeChosenAtOnce) {
    Seed(home_.Home(), Recipes());
    TfmMain& m = Start();
    const int before = In<QComboBox>("cbCategory1")->count();
    m.Store().ClearBuffers();
    const int32_t id = CreateLabel(m.Store(), "Imported", 0);
    m.LabelsChanged();
    QComboBox* cb = In<QComboBox>("cbCategory1");
    EXPECT_EQ(cb->count(), before + 1);
    EXPECT_GE(cb->findData(id), 0);
}

TEST_F(FilterDialogTest, EnterMovesTheFocusInsteadOfClosing) {
    Seed(home_.Home(), Recipes());
    Start();
    TfmFilter& d = Dlg();
    d.show();
    QApplication::setActiveWindow(&d);
    QLineEdit* edt = In<QLineEdit>("edtTitle");
    ClickButton(In<QCheckBox>("cboxTitle"));
    edt->setEnabled(true);
    edt->setFocus();
    QApplication::processEvents();
    QTest::keyClick(edt, Qt::Key_Return);
    EXPECT_TRUE(d.isVisible()) << "Enter does not close the dialog";
    EXPECT_FALSE(edt->hasFocus());
    d.hide();
}

} // namespace
} // namespace larderly::test
