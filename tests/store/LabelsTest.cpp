// Category labels: kinds, lookup, creation, slot filling.
#include "store/Labels.h"
#include "TestHome.h"

#include <gtest/gtest.h>

using namespace larderly;

namespace {
int32_t AddLabelRow(TfmTables& s, const std::string& name, int32_t stored) {
    TTable& t = s.tblListLabel();
    t.Append();
    t.SetFieldString(fld::LabelName, name);
    t.SetFieldInteger(fld::LabelKind, stored);
    t.Post();
    return t.FieldAsInteger(fld::InternalID);
}
} // namespace

TEST(Labels, KindConversions) {
    EXPECT_EQ(LabelKindFromStored(0), 0);
    EXPECT_EQ(LabelKindFromStored(1), 1);
    EXPECT_EQ(LabelKindFromStored(7), 2);
    EXPECT_EQ(LabelKindFromStored(-1), 2);
    EXPECT_EQ(StoredNumberOfKind(0), 0);
    EXPECT_EQ(StoredNumberOfKind(1), 1);
    EXPECT_EQ(StoredNumberOfKind(2), -1);
}

TEST(Labels, LookupCreationAndSlots) {
    larderly::testing::TestHome h;
    TfmTables s;
    s.OpenDatabase(h.home());
    s.SetTablesOpen(true);

    int32_t other = AddLabelRow(s, "Other kind", 1);
    int32_t odd = AddLabelRow(s, "Odd", 5);
    int32_t undefined = AddLabelRow(s, "Undefined", -1);
    int32_t soups = CreateLabel(s, "Soups", 0);
    int32_t apps = CreateLabel(s, "appetizers", 0);
    EXPECT_EQ(CreateLabel(s, "", 0), -1);

    auto entries = LabelEntriesOfKind(s, 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].id, soups);
    EXPECT_EQ(entries[1].id, apps);
    EXPECT_EQ(LabelEntriesOfKind(s, 1).size(), 1u);
    auto kind2 = LabelEntriesOfKind(s, 2);
    ASSERT_EQ(kind2.size(), 1u) << "kind 2 selects the rows stored as -1 only";
    EXPECT_EQ(kind2[0].id, undefined);
    (void)odd;

    EXPECT_EQ(FindLabelByName(s, "Other kind"), other) << "any kind is found";
    EXPECT_EQ(FindLabelByName(s, "SOUPS"), soups) << "names compare without regard to case";
    EXPECT_EQ(FindLabelByName(s, " Soups"), -1) << "the name is not trimmed";
    EXPECT_EQ(FindLabelByName(s, ""), -1);
    EXPECT_EQ(s.tblListLabel().IndexName(), "InternalID");

    s.ClearBuffers();
    int before = s.tblListLabel().RecordCount();
    SetCategorySlot(s, 2, "Desserts");
    int32_t desserts = s.RecipeRec.Category[1];
    EXPECT_GT(desserts, 0);
    EXPECT_EQ(s.tblListLabel().RecordCount(), before + 1);
    ASSERT_TRUE(s.FindLabel(desserts));
    EXPECT_EQ(s.LabelRec.Kind, 0);
    SetCategorySlot(s, 3, "desserts");
    EXPECT_EQ(s.RecipeRec.Category[2], desserts) << "found again, nothing appended";
    EXPECT_EQ(s.tblListLabel().RecordCount(), before + 1);
    SetCategorySlot(s, 4, "");
    EXPECT_EQ(s.RecipeRec.Category[3], -1);
    SetCategorySlot(s, 5, "Ignored");
    SetCategorySlot(s, 0, "Ignored");
    EXPECT_EQ(FindLabelByName(s, "Ignored"), -1);
}
