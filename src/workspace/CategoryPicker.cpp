// Category pickers over the label table.
#include "workspace/CategoryPicker.h"

#include "store/Labels.h"

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>

namespace larderly {

QComboBox* NewCategoryPicker(QWidget* parent, const char* objectName) {
    auto* cb = new QComboBox(parent);
    cb->setObjectName(objectName);
    cb->setEditable(true);
    cb->setInsertPolicy(QComboBox::NoInsert);
    cb->setMaxVisibleItems(20);
    return cb;
}

void FillLabelPicker(QComboBox& picker, TfmTables& store, int kind) {
    std::vector<LabelEntry> entries = LabelEntriesOfKind(store, kind);
    std::vector<std::pair<QString, int32_t>> items;
    items.reserve(entries.size());
    for (const auto& e : entries)
        items.emplace_back(QString::fromStdString(e.name), e.id);
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    const bool blocked = picker.blockSignals(true);
    picker.clear();
    for (const auto& [name, id] : items)
        picker.addItem(name, QVariant(static_cast<int>(id)));
    picker.setCurrentIndex(-1);
    picker.setEditText(QString());
    picker.blockSignals(blocked);
}

void SelectLabelInPicker(QComboBox& picker, int32_t labelId) {
    int i = labelId == -1 ? -1 : picker.findData(QVariant(static_cast<int>(labelId)));
    picker.setCurrentIndex(i);
    picker.setEditText(i < 0 ? QString() : picker.itemText(i));
}

int32_t PickedLabelId(QComboBox& picker) {
    const QString text = picker.currentText();
    if (text.isEmpty()) return -1;
    int cur = picker.currentIndex();
    if (cur >= 0 && picker.itemText(cur) == text) return picker.itemData(cur).toInt();
    for (int i = 0; i < picker.count(); ++i) {
        if (QString::compare(picker.itemText(i), text, Qt::CaseInsensitive) == 0) {
            picker.setCurrentIndex(i);
            picker.setEditText(picker.itemText(i));
            return picker.itemData(i).toInt();
        }
    }
    return -1;
}

bool PickerHasLabel(const QComboBox& picker, int32_t labelId) {
    return labelId != -1 && picker.findData(QVariant(static_cast<int>(labelId))) >= 0;
}

} // namespace larderly
