// The progress window: a small always-on-top window with a bar that moves in batches of
// 100 steps. Whoever runs a long loop creates it, sets caption, maximum and position 0,
// shows it, steps it once per item and destroys it.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace larderly {

class TfmProgress : public QDialog {
public:
    // Creating a progress window resets the shared step counter.
    explicit TfmProgress(QWidget* owner = nullptr);

    void SetCaption(const QString& caption) { setWindowTitle(caption); }
    void SetMax(int max);
    void SetPosition(int pos);
    int Position() const;
    int Max() const;
    // Counts one item; every 100th call advances the bar by 100. A last batch of fewer than
    // 100 items does not show.
    void Step();

    // The counter shared by every progress window.
    static int SharedCounter();

    QProgressBar* ProgBar = nullptr;
    QLabel* Label1 = nullptr;
};

} // namespace larderly
