// Category label registry.
#include "store/Labels.h"

#include "platform/Text.h"

namespace larderly {

uint8_t LabelKindFromStored(int32_t number) {
    return number == 0 ? 0 : number == 1 ? 1 : 2;
}

int32_t StoredNumberOfKind(int kind) {
    return kind == 0 ? 0 : kind == 1 ? 1 : -1;
}

std::vector<LabelEntry> LabelEntriesOfKind(TfmTables& store, int kind) {
    std::vector<LabelEntry> out;
    int32_t number = StoredNumberOfKind(kind);
    TTable& t = store.tblListLabel();
    t.First();
    while (!t.Eof()) {
        if (t.FieldAsInteger(fld::LabelKind) == number)
            out.push_back({CutChars(t.FieldAsString(fld::LabelName), kLabelNameWidth),
                           t.FieldAsInteger(fld::InternalID)});
        t.Next();
    }
    return out;
}

int32_t FindLabelByName(TfmTables& store, const std::string& name) {
    if (name.empty()) return -1;
    TTable& t = store.tblListLabel();
    IndexRestorer back(t);
    t.SetIndexName("LabelIndex");
    if (!t.FindKey({name})) return -1;
    return t.FieldAsInteger(fld::InternalID);
}

int32_t CreateLabel(TfmTables& store, const std::string& name, int kind) {
    if (name.empty()) return -1;
    LabelValue label{-1, static_cast<uint8_t>(kind == 0 ? 0 : kind == 1 ? 1 : 2), name};
    return store.SaveLabelValue(label);
}

void SetCategorySlot(TfmTables& store, int slot, const std::string& name) {
    if (slot < 1 || slot > 4) return;
    int32_t& s = store.RecipeRec.Category[static_cast<size_t>(slot - 1)];
    s = FindLabelByName(store, name);
    if (s == -1) s = CreateLabel(store, name, 0);
}

} // namespace larderly
