// Category pickers: drop-down lists in which the user may also type. Each entry is a label
// name carrying its label identifier; entries stay sorted by name without regard to case.
#pragma once

#include "store/Tables.h"

#include <cstdint>

class QComboBox;
class QWidget;

namespace larderly {

// A picker as the editor and the filter use it: editable, never adding typed text as an
// entry, entries sorted without regard to case.
QComboBox* NewCategoryPicker(QWidget* parent, const char* objectName);

// Empties the picker and adds one entry per label row of that kind.
void FillLabelPicker(QComboBox& picker, TfmTables& store, int kind);

// Shows a slot's label: no entry and an empty text for -1 or for an identifier that no
// entry carries.
void SelectLabelInPicker(QComboBox& picker, int32_t labelId);

// The label the picker names: -1 for an empty text; the selected entry's identifier; else
// the first entry whose name equals the typed text without regard to case (which then
// becomes selected); else -1. No label is created.
int32_t PickedLabelId(QComboBox& picker);

// Whether some entry carries that identifier.
bool PickerHasLabel(const QComboBox& picker, int32_t labelId);

} // namespace larderly
