// The progress window and its shared step counter.
#include "gui/TfmProgress.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

namespace larderly {

namespace {
int g_counter = 0;
}

TfmProgress::TfmProgress(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowStaysOnTopHint) {
    g_counter = 0;
    setObjectName("fmProgress");
    setFixedSize(368, 57);
    ProgBar = new QProgressBar(this);
    ProgBar->setObjectName("ProgBar");
    ProgBar->setGeometry(8, 8, 352, 18);
    ProgBar->setRange(0, 100);
    ProgBar->setValue(0);
    ProgBar->setTextVisible(false);
    Label1 = new QLabel("Please Wait.....", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 32, 352, 18);
    Label1->setAlignment(Qt::AlignCenter);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r = s->availableGeometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfmProgress::SetMax(int max) {
    ProgBar->setMaximum(max < 0 ? 0 : max);
}
void TfmProgress::SetPosition(int pos) {
    ProgBar->setValue(pos);
}
int TfmProgress::Position() const {
    return ProgBar->value();
}
int TfmProgress::Max() const {
    return ProgBar->maximum();
}

void TfmProgress::Step() {
    if (++g_counter >= 100) {
        ProgBar->setValue(ProgBar->value() + g_counter);
        g_counter = 0;
    }
}

int TfmProgress::SharedCounter() {
    return g_counter;
}

} // namespace larderly
