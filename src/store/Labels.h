// Category labels: the kinds and their stored numbers, lookup by name, creation, and filling
// a category slot of the recipe buffer from a name. The pickers of the editor and the filter
// are filled from LabelEntriesOfKind.
#pragma once

#include "store/Tables.h"

#include <cstdint>
#include <string>
#include <vector>

namespace larderly {

// 0 recipe category (the only kind the program creates and offers), 1 a second kind never
// created here, 2 undefined.
inline constexpr uint8_t kLabelKindCategory = 0;

// Kind from stored number: 0 -> 0, 1 -> 1, anything else -> 2.
uint8_t LabelKindFromStored(int32_t number);
// Stored number for selecting rows of a kind: 0 -> 0, 1 -> 1, anything else -> -1.
int32_t StoredNumberOfKind(int kind);

struct LabelEntry {
    std::string name;
    int32_t id = -1;
};

// Every label row whose stored kind number is that of `kind`, in identifier order.
std::vector<LabelEntry> LabelEntriesOfKind(TfmTables& store, int kind);

// The identifier of the label with that name (any kind), or -1. An empty name gives -1.
// Names compare without regard to the case of the letters a-z. The table returns to the
// index InternalID, also on failure.
int32_t FindLabelByName(TfmTables& store, const std::string& name);

// Appends a label of that kind with the first 40 characters of the name (a value saved by
// the store; the label buffer is left alone); -1 and nothing stored for an empty name. No
// check for an existing label is made.
int32_t CreateLabel(TfmTables& store, const std::string& name, int kind);

// Fills slot 1 to 4 of the recipe buffer with the label of that name, creating a kind-0
// label when there is none. Another slot number does nothing; an empty name leaves -1.
void SetCategorySlot(TfmTables& store, int slot, const std::string& name);

} // namespace larderly
