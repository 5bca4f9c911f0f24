// The backup to CD dialog.
#include "backup/TfmCDBurn.h"

#include "backup/BackupHost.h"
#include "backup/Tfmlha.h"
#include "gui/GuiSupport.h"
#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/Prompts.h"
#include "store/Tables.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <thread>

namespace larderly {

// Runs the end-of-burn event on the dialog's thread and waits there until it has run.
class TfmCDBurn::Dispatcher final : public UiDispatcher {
public:
    explicit Dispatcher(QObject* context) : context_(context) {}
    void Invoke(const std::function<void()>& fn) override {
        if (QThread::currentThread() == context_->thread())
            fn();
        else
            QMetaObject::invokeMethod(context_, fn, Qt::BlockingQueuedConnection);
    }

private:
    QObject* context_;
};

TfmCDBurn::TfmCDBurn(BackupHost& host, QWidget* parent)
    : TfmCDBurn(
          host.Store(), host.UserPrompts(), [&host](int context) { host.ShowHelp(context); },
          ProgramFolder(), parent) {}

TfmCDBurn::TfmCDBurn(TfmTables& store, Prompts& prompts, std::function<void(int)> help,
                     std::string programFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      store_(store), prompts_(prompts), help_(std::move(help)),
      programFolder_(fileutil::IncludeTrailingSeparator(programFolder)) {
    setObjectName("fmCDBurn");
    setWindowTitle(CDText::kCaption);
    setModal(true);
    Build();

    dispatcher_ = std::make_unique<Dispatcher>(this);
    backup_ = std::make_unique<TCDBackup>(programFolder_, static_cast<CDBackupView*>(this));
    backup_->SetDispatcher(dispatcher_.get());
    RunBackupJob = [this](const std::string& folder) { return DefaultBackupJob(folder); };
}

TfmCDBurn::~TfmCDBurn() {
    destroying_ = true;
    Timer1->stop();
    // The write thread hands its end to this thread and waits for it: keep serving events
    // until it is gone, or the burner's destructor would wait for it for ever.
    while (backup_->Burning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    backup_->WaitForBurn();
    backup_->SetView(nullptr);
    backup_->SetDispatcher(nullptr);
}

void TfmCDBurn::Build() {
    auto* grid = new QGridLayout(this);
    Label1 = new QLabel("Drive  : ", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cbDrives = new QComboBox(this);
    cbDrives->setObjectName("cbDrives");
    cbDrives->setEditable(false);
    cbDrives->setMinimumWidth(320);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setMinimumSize(460, 200);
    btnBackup = new QPushButton("Backup", this);
    btnBackup->setObjectName("btnBackup");
    btnClose = new QPushButton("&Close", this);
    btnClose->setObjectName("btnClose");
    Button1 = new QPushButton("&Help", this);
    Button1->setObjectName("Button1");
    Label6 = new QLabel(" CD Progress : ", this);
    Label6->setObjectName("Label6");
    CDProgress = new QProgressBar(this);
    CDProgress->setObjectName("CDProgress");
    CDProgress->setRange(0, 100);
    CDProgress->setValue(0);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(500);

    grid->addWidget(Label1, 0, 0);
    grid->addWidget(cbDrives, 0, 1, 1, 2);
    grid->addWidget(Memo1, 1, 0, 1, 3);
    grid->addWidget(Label6, 2, 0);
    grid->addWidget(CDProgress, 2, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnBackup);
    buttons->addWidget(btnClose);
    buttons->addWidget(Button1);
    grid->addLayout(buttons, 3, 0, 1, 3);

    for (QWidget* w : findChildren<QWidget*>())
        SetHelpContext(w, kHelpBackup);
    SetHelpContext(this, kHelpBackup);

    connect(cbDrives, &QComboBox::activated, this,
            [this] { RunGuarded(prompts_, [this] { cbDrivesChange(); }); });
    connect(btnBackup, &QPushButton::clicked, this,
            [this] { RunGuarded(prompts_, [this] { btnBackupClick(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TfmCDBurn::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) RunGuarded(prompts_, [this] { FormShow(); });
}

void TfmCDBurn::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void TfmCDBurn::reject() {
    if (FormCloseQuery()) QDialog::reject();
}

void TfmCDBurn::BurnStarting(uint32_t trackSectors) {
    CDProgress->setRange(0, static_cast<int>(trackSectors));
    CDProgress->setValue(0);
    Timer1->start();
}

void TfmCDBurn::Log(const std::string& line) {
    Memo1->appendPlainText(Q(line));
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TfmCDBurn::FormShow() {
    Memo1->clear();
    cbDrives->clear();
    if (!backup_->InitTransport()) {
        btnBackup->setEnabled(false);
        return;
    }
    for (const std::string& line : backup_->Drives())
        cbDrives->addItem(Q(line));
    if (cbDrives->count() > 0) {
        cbDrives->setCurrentIndex(0);
        cbDrivesChange();
    }
}

bool TfmCDBurn::FormCloseQuery() {
    // Only a running backup keeps the dialog open; a dialog whose Backup button is off for
    // want of a transport still closes.
    return !running_;
}

void TfmCDBurn::cbDrivesChange() {
    backup_->SelectDrive(S(cbDrives->currentText()));
}

void TfmCDBurn::SetIdle() {
    Timer1->stop();
    hourglass_.reset();
    btnBackup->setEnabled(true);
    btnClose->setEnabled(true);
    cbDrives->setEnabled(true);
    running_ = false;
}

bool TfmCDBurn::DefaultBackupJob(const std::string& folder) {
    Tfmlha window(store_, prompts_, programFolder_, this);
    return window.BackupTables(folder);
}

void TfmCDBurn::btnBackupClick() {
    if (running_) return;
    backup_->CheckDrive();
    hourglass_ = std::make_unique<THourglass>();
    btnBackup->setEnabled(false);
    btnClose->setEnabled(false);
    cbDrives->setEnabled(false);
    running_ = true;
    TCDBackup::Outcome outcome;
    try {
        outcome = backup_->Backup(RunBackupJob);
    } catch (...) {
        SetIdle();
        throw;
    }
    // A job that failed returns to idle at once; a burn that did not start has already
    // been reported (and the controls enabled) by the end-of-burn event.
    if (outcome == TCDBackup::Outcome::JobFailed) SetIdle();
}

void TfmCDBurn::btnCloseClick() {
    close();
}

void TfmCDBurn::Button1Click() {
    if (help_) help_(kHelpBackup);
}

void TfmCDBurn::Timer1Timer() {
    CDProgress->setMaximum(static_cast<int>(backup_->TrackSectors()));
    CDProgress->setValue(static_cast<int>(backup_->BytesWritten() / 2048));
}

void TfmCDBurn::discBurnerDebugMessage(const std::string& message, uint8_t) {
    if (QThread::currentThread() == thread()) {
        Log(message);
        return;
    }
    // From the write or cache thread: the line is queued for this thread and the burner
    // goes on at once. Lines still queued when the dialog goes are dropped with it.
    QMetaObject::invokeMethod(
        this, [this, message] { Log(message); }, Qt::QueuedConnection);
}

void TfmCDBurn::discBurnerWriteDone(const std::string& error) {
    Timer1->stop();
    if (running_ && error.empty()) Timer1Timer();
    Log(TCDBackup::DoneLine(error));
    if (error.empty() && !destroying_) {
        try {
            prompts_.Message(PromptKind::Information, CDText::kComplete);
        } catch (...) {
            // The burn is over whatever the message box does; the dialog must become idle.
        }
    }
    SetIdle();
}

} // namespace larderly
