// Category pickers over the label table.
#include "workspace/GuiFixture.h"

#include "workspace/CategoryPicker.h"

#include <QComboBox>

namespace larderly::test {
namespace {

class CategoryPickerTest : public ::testing::Test {
protected:
    CategoryPickerTest() {
        App();
        store_.OpenDatabase(home_.Home());
        store_.SetTablesOpen(true);
        for (const char* n : {"soup", "Bread", "apple", "Cakes"})
            ids_[n] = CreateLabel(store_, n, 0);
        ids_["Other kind"] = CreateLabel(store_, "Other kind", 1);
        picker_.reset(NewCategoryPicker(nullptr, "cbTest"));
        FillLabelPicker(*picker_, store_, 0);
    }

    TempHome home_;
    TfmTables store_;
    std::map<std::string, int32_t> ids_;
    std::unique_ptr<QComboBox> picker_;
};

TEST_F(CategoryPickerTest, FilledWithOneKindSortedWithoutRegardToCase) {
    QStringList names;
    for (int i = 0; i < picker_->count(); ++i)
        names << picker_->itemText(i);
    EXPECT_EQ(names, (QStringList{"apple", "Bread", "Cakes", "soup"}));
    EXPECT_EQ(picker_->itemData(1).toInt(), ids_["Bread"]);
    EXPECT_EQ(picker_->currentIndex(), -1);
    EXPECT_EQ(picker_->currentText(), "");
    QComboBox other;
    FillLabelPicker(other, store_, 1);
    ASSERT_EQ(other.count(), 1);
    EXPECT_EQ(other.itemText(0), "Other kind");
    // Refilling replaces the entries.
    FillLabelPicker(*picker_, store_, 0);
    EXPECT_EQ(picker_->count(), 4);
}

TEST_F(CategoryPickerTest, SelectAndPickRoundTrip) {
    SelectLabelInPicker(*picker_, ids_["Cakes"]);
    EXPECT_EQ(picker_->currentText(), "Cakes");
    EXPECT_EQ(PickedLabelId(*picker_), ids_["Cakes"]);
    SelectLabelInPicker(*picker_, -1);
    EXPECT_EQ(picker_->currentIndex(), -1);
    EXPECT_EQ(picker_->currentText(), "");
    EXPECT_EQ(PickedLabelId(*picker_), -1);
    SelectLabelInPicker(*picker_, ids_["Other kind"]); // carried by no entry
    EXPECT_EQ(picker_->currentIndex(), -1);
    EXPECT_EQ(picker_->currentText(), "");
}

TEST_F(CategoryPickerTest, TypedTextNamesAnEntryWithoutRegardToCase) {
    struct Case {
        const char* typed;
        const char* label; // nullptr: no label
    };
    for (const Case& c : {Case{"BREAD", "Bread"}, Case{"Apple", "apple"}, Case{"soup", "soup"},
                          Case{"Bre", nullptr}, Case{"Other kind", nullptr}, Case{"", nullptr}}) {
        SCOPED_TRACE(c.typed);
        SelectLabelInPicker(*picker_, ids_["Cakes"]);
        picker_->setEditText(c.typed);
        int32_t got = PickedLabelId(*picker_);
        if (c.label) {
            EXPECT_EQ(got, ids_[c.label]);
            EXPECT_EQ(picker_->currentText().toStdString(), c.label); // the entry is selected
        } else {
            EXPECT_EQ(got, -1);
        }
    }
    EXPECT_EQ(CountRows(home_.Data() + "tbl101.nx1", "tblListLabel"), 5); // nothing created
}

} // namespace
} // namespace larderly::test
