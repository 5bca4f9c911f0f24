// The restore dialog.
#include "backup/TfmRestore.h"

#include "backup/ArchiveJob.h"
#include "backup/BackupHost.h"
#include "backup/TfmBackup.h"
#include "backup/Tfmlha.h"
#include "gui/GuiSupport.h"
#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include <memory>
#include <stdexcept>

namespace larderly {

namespace {

// Whether the first segment of a backup is in a folder (drive letters through the drive map).
bool FirstSegmentExists(const std::string& folder) {
    // A backup stopped half-way may have moved the set aside: it is put back first.
    RecoverInterruptedBackup(folder);
    try {
        return FileExists(WithFinalSeparator(ResolveDrivePath(folder)) + kBackupArchiveName);
    } catch (const std::exception&) {
        return false; // a drive letter that names no folder
    }
}

// "Backup file does not exist." with the file looked for (or why the folder has none).
std::string NoBackupFileText(const std::string& folder) {
    std::string where;
    try {
        where = " Looked for " + WithFinalSeparator(ResolveDrivePath(folder)) + kBackupArchiveName +
                ".";
    } catch (const std::exception& e) {
        where = std::string(" ") + e.what();
    }
    return std::string(RestoreText::kNoBackupFile) + where;
}

} // namespace

TfmRestore::TfmRestore(BackupHost& host, std::string programFolder, QWidget* owner)
    : QDialog(owner), host_(host), programFolder_(std::move(programFolder)) {
    setObjectName("fmRestore");
    setWindowTitle(tr("Restore Data"));
    setModal(true);
    resize(440, 160);

    auto* rows = new QVBoxLayout(this);
    Label7 = new QLabel(tr("Restore Larderly Data"), this);
    Label7->setObjectName("Label7");
    Label7->setAlignment(Qt::AlignCenter);
    QFont heading = Label7->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    Label7->setFont(heading);
    rows->addWidget(Label7);

    auto* grid = new QGridLayout;
    Label2 = new QLabel(tr("Restore From:"), this);
    Label2->setObjectName("Label2");
    edtFolder = new QLineEdit(this);
    edtFolder->setObjectName("edtFolder");
    edtFolder->setMaxLength(200);
    edtFolder->setToolTip(
        tr("Enter the Path where your backup file resides. Do not enter the file name."));
    Label2->setBuddy(edtFolder);
    SpeedButton1 = new QPushButton(tr("&Select Folder"), this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setToolTip(tr("Allows you to visually Select Path and File"));
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(edtFolder, 0, 1);
    grid->addWidget(SpeedButton1, 0, 2);
    Label3 = new QLabel(tr("Last Backup Date:"), this);
    Label3->setObjectName("Label3");
    lblDate = new QLabel(tr("None"), this);
    lblDate->setObjectName("lblDate");
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(lblDate, 1, 1);
    rows->addLayout(grid);
    rows->addStretch();

    auto* buttons = new QHBoxLayout;
    btnRestore = new QPushButton(tr("&Restore"), this);
    btnRestore->setObjectName("btnRestore");
    btnRestore->setToolTip(tr("Restore Backup"));
    btnClose = new QPushButton(tr("&Close"), this);
    btnClose->setObjectName("btnClose");
    btnClose->setToolTip(tr("Close Restoring Data"));
    btnHelp = new QPushButton(tr("&Help"), this);
    btnHelp->setObjectName("btnHelp");
    btnHelp->setToolTip(tr("Help"));
    for (QPushButton* b : {SpeedButton1, btnRestore, btnClose, btnHelp}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    buttons->addWidget(btnRestore);
    buttons->addWidget(btnHelp);
    buttons->addWidget(btnClose);
    rows->addLayout(buttons);

    for (QWidget* w :
         std::initializer_list<QWidget*>{this, Label7, Label2, edtFolder, SpeedButton1, Label3,
                                         lblDate, btnRestore, btnClose, btnHelp})
        SetHelpContext(w, kHelpRestore);

    edtFolder->installEventFilter(this);
    Prompts& prompts = host_.UserPrompts();
    connect(SpeedButton1, &QPushButton::clicked, this,
            [this, &prompts] { RunGuarded(prompts, [this] { SpeedButton1Click(); }); });
    connect(btnRestore, &QPushButton::clicked, this,
            [this, &prompts] { RunGuarded(prompts, [this] { btnRestoreClick(); }); });
    connect(btnHelp, &QPushButton::clicked, this,
            [this, &prompts] { RunGuarded(prompts, [this] { btnHelpClick(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { btnCloseClick(); });
    // F1 opens the help at the context of the control that has the focus.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this, &prompts] {
        RunGuarded(prompts, [this] { host_.ShowHelp(HelpContextOf(QApplication::focusWidget())); });
    });

    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    RunGuarded(prompts, [this] { FormCreate(); });
}

TfmRestore::~TfmRestore() = default;

void TfmRestore::FormCreate() {
    const long long date = ReadBackupDate();
    if (date > 0) lblDate->setText(Q(BackupDateText(date)));
    edtFolder->setText(Q(ReadBackupPath()));
}

void TfmRestore::SpeedButton1Click() {
    const std::string text = S(edtFolder->text());
    std::string start;
    if (BackupFolderExists(text)) start = ResolveDrivePath(text);
    if (auto folder = host_.UserPrompts().BrowseFolder("Select Folder", start))
        edtFolder->setText(Q(*folder));
}

void TfmRestore::btnRestoreClick() {
    if (busy_) return;
    const std::string text = S(edtFolder->text());
    // 1.
    if (text.empty()) {
        QApplication::beep();
        throw std::runtime_error(RestoreText::kEnterPath);
    }
    // 2-3.
    const std::string folder = WithFinalSeparator(text);
    if (!FirstSegmentExists(folder)) {
        host_.UserPrompts().Message(PromptKind::Warning, NoBackupFileText(folder));
        edtFolder->setFocus();
        return;
    }
    // 4. The buttons come back in every case, also when the job raised an error.
    bool restored = false;
    busy_ = true;
    btnRestore->setEnabled(false);
    btnClose->setEnabled(false);
    struct Enable {
        TfmRestore& d;
        ~Enable() {
            d.btnRestore->setEnabled(true);
            d.btnClose->setEnabled(true);
            d.busy_ = false;
        }
    } enable{*this};
    {
        auto job =
            std::make_unique<Tfmlha>(host_.Store(), host_.UserPrompts(), programFolder_, this);
        restored = job->RestoreTables(folder);
    }
    // 5.
    if (restored) {
        if (OnRestored) OnRestored();
        QCoreApplication::processEvents();
    }
}

void TfmRestore::btnHelpClick() {
    host_.ShowHelp(kHelpRestore);
}

void TfmRestore::btnCloseClick() {
    if (!busy_) accept();
}

void TfmRestore::reject() {
    if (!busy_) QDialog::reject();
}

void TfmRestore::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool TfmRestore::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtFolder && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace larderly
