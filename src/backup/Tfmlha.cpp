// The archive job window.
#include "backup/Tfmlha.h"

#include "gui/GuiSupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace larderly {

namespace {

// Sets a flag for a scope.
struct RunningScope {
    bool& flag;
    explicit RunningScope(bool& f) : flag(f) { flag = true; }
    ~RunningScope() { flag = false; }
};

} // namespace

std::function<void()>& Tfmlha::ProgramEndHandler() {
    static std::function<void()> handler = [] {
        // Once the current event is finished: close the windows in order, then leave the
        // event loops even if one of them refused to close (exit, unlike quit, cannot be
        // refused).
        QMetaObject::invokeMethod(
            qApp,
            [] {
                QApplication::closeAllWindows();
                QCoreApplication::exit(0);
            },
            Qt::QueuedConnection);
    };
    return handler;
}

Tfmlha::Tfmlha(TfmTables& store, Prompts& prompts, const std::string& programFolder, QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      job_(store, prompts, *this, programFolder) {
    setObjectName("fmlha");
    setWindowTitle(QString());
    setSizeGripEnabled(true);
    resize(420, 150);

    auto* rows = new QVBoxLayout(this);
    Label1 = new QLabel(Q(JobText::kWait), this);
    Label1->setObjectName("Label1");
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label2 = new QLabel(Q(JobText::kCompressing), this);
    Label2->setObjectName("Label2");
    Label2->setTextFormat(Qt::PlainText);
    Label2->setMinimumWidth(360);
    mtrPercent = new QProgressBar(this);
    mtrPercent->setObjectName("mtrPercent");
    mtrPercent->setRange(0, 100);
    mtrPercent->setValue(0);
    mtrPercent->setTextVisible(true);
    mtrPercent->setFormat("%p%");
    BitBtn1 = new QPushButton(tr("&Cancel"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setAutoDefault(false);
    rows->addWidget(Label1);
    rows->addWidget(Label2);
    rows->addWidget(mtrPercent);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addStretch();
    rows->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

Tfmlha::~Tfmlha() {
    SetWaitCursor(false);
}

template <typename F> bool Tfmlha::Run(F&& job) {
    RunningScope running(running_);
    return job();
}

bool Tfmlha::BackupTables(const std::string& folder) {
    return Run([&] { return job_.BackupTables(folder); });
}

bool Tfmlha::RestoreTables(const std::string& folder) {
    return Run([&] { return job_.RestoreTables(folder); });
}

void Tfmlha::BitBtn1Click() {
    job_.Cancel();
}

void Tfmlha::SetCaption(const std::string& text) {
    setWindowTitle(Q(text));
}

void Tfmlha::SetLabel1(const std::string& text) {
    // The wait notice turns into a plain status text.
    QFont regular = Label1->font();
    regular.setBold(false);
    Label1->setFont(regular);
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(p);
    Label1->setText(Q(text));
}

void Tfmlha::SetLabel2(const std::string& text) {
    Label2->setText(Q(text));
    Label2->repaint();
}

void Tfmlha::SetPercent(int percent) {
    mtrPercent->setValue(std::clamp(percent, 0, 100));
}

void Tfmlha::ShowJob() {
    if (!isVisible()) show();
    raise();
}

void Tfmlha::HideJob() {
    hide();
}

void Tfmlha::ProcessMessages() {
    QCoreApplication::processEvents();
}

void Tfmlha::SetWaitCursor(bool on) {
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void Tfmlha::RequestProgramEnd() {
    if (const auto& end = ProgramEndHandler()) end();
}

void Tfmlha::reject() {
    // Escape and the window's close request mean Cancel while a job runs; the window
    // goes away only when the job has ended.
    if (running_)
        BitBtn1->click();
    else
        QDialog::reject();
}

void Tfmlha::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();
        BitBtn1->click();
        return;
    }
    QDialog::closeEvent(event);
}

void Tfmlha::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        BitBtn1->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace larderly
