// The welcome window, shown modally at start-up until the user ticks "Don't show this
// again" (remembered in the settings file).
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace larderly {

class TfmAd : public QDialog {
public:
    explicit TfmAd(QWidget* parent = nullptr);

    QLabel* imgStrip = nullptr;
    QLabel* lblHeading = nullptr;
    QLabel* lblText = nullptr;
    QCheckBox* cboxDontShow = nullptr; // "Don't show this again"
    QPushButton* btnDelete = nullptr;  // "Close"
};

} // namespace larderly
