// The welcome window, shown once, modally, at start-up.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace larderly {

class TfmAd : public QDialog {
public:
    explicit TfmAd(QWidget* parent = nullptr);

    QLabel* imgStrip = nullptr;
    QLabel* lblHeading = nullptr;
    QLabel* lblText = nullptr;
    QLabel* lblWeb = nullptr;
    QLabel* lblEmail = nullptr;
    QPushButton* btnDelete = nullptr; // "Close"
};

// Where the welcome window's links lead.
inline constexpr const char* kRecipesWebPage = "https://larderly.example.org/recipes";
inline constexpr const char* kRecipesMailAddress = "recipes@larderly.example.org";

} // namespace larderly
