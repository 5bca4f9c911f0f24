// The backup dialog.
#include "backup/TfmBackup.h"

#include "backup/BackupHost.h"
#include "backup/Tfmlha.h"
#include "gui/GuiSupport.h"
#include "platform/DayNumber.h"
#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QCheckBox>
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

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>

namespace larderly {

std::string NormaliseFolderField(std::string text) {
    text = fileutil::ToForwardSlashes(std::move(text));
    std::replace(text.begin(), text.end(), ';', ':');
    if (text.size() > 3 && text.back() == '/') text.pop_back();
    return text;
}

std::string WithFinalSeparator(std::string folder) {
    return folder.empty() ? std::string("/") : fileutil::IncludeTrailingSeparator(folder);
}

bool BackupFolderExists(const std::string& folder) {
    if (folder.empty()) return false;
    try {
        return DirectoryExists(ResolveDrivePath(folder));
    } catch (const std::exception&) {
        return false; // a drive letter that names no folder
    }
}

namespace {

// Disables buttons for a scope and marks the dialog busy; both come back in every case.
class BusyScope {
public:
    BusyScope(bool& busy, std::initializer_list<QPushButton*> buttons)
        : busy_(busy), buttons_(buttons) {
        busy_ = true;
        for (QPushButton* b : buttons_)
            b->setEnabled(false);
    }
    ~BusyScope() {
        for (QPushButton* b : buttons_)
            b->setEnabled(true);
        busy_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
    std::vector<QPushButton*> buttons_;
};

} // namespace

TfmBackup::TfmBackup(BackupHost& host, std::string programFolder, QWidget* owner)
    : QDialog(owner), host_(host), programFolder_(std::move(programFolder)) {
    setObjectName("fmBackup");
    setWindowTitle(tr("Backup Data"));
    setModal(true);
    resize(440, 170);

    auto* rows = new QVBoxLayout(this);
    Label1 = new QLabel(tr("Backup Larderly"), this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    QFont heading = Label1->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.4);
    Label1->setFont(heading);
    rows->addWidget(Label1);

    auto* grid = new QGridLayout;
    Label2 = new QLabel(tr("Backup to:"), this);
    Label2->setObjectName("Label2");
    edtFolder = new QLineEdit(this);
    edtFolder->setObjectName("edtFolder");
    edtFolder->setMaxLength(200);
    edtFolder->setToolTip(tr("Do not enter File Name. Enter the Path Name only."));
    Label2->setBuddy(edtFolder);
    SpeedButton1 = new QPushButton(tr("&Select Folder"), this);
    SpeedButton1->setObjectName("SpeedButton1");
    SpeedButton1->setToolTip(tr("Allows you to visually Select Path"));
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(edtFolder, 0, 1);
    grid->addWidget(SpeedButton1, 0, 2);
    Label3 = new QLabel(tr("Last Backup Date:"), this);
    Label3->setObjectName("Label3");
    lblDate = new QLabel(tr("None"), this);
    lblDate->setObjectName("lblDate");
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(lblDate, 1, 1);
    cboxCD = new QCheckBox(tr("Backup to CD"), this);
    cboxCD->setObjectName("cboxCD");
    cboxCD->setToolTip(tr("Click to backup to a CD"));
    grid->addWidget(cboxCD, 2, 1);
    rows->addLayout(grid);
    rows->addStretch();

    auto* buttons = new QHBoxLayout;
    btnBackup = new QPushButton(tr("&Backup"), this);
    btnBackup->setObjectName("btnBackup");
    btnBackup->setToolTip(tr("Backup Data"));
    btnHelp = new QPushButton(tr("&Help"), this);
    btnHelp->setObjectName("btnHelp");
    btnHelp->setToolTip(tr("Help"));
    btnClose = new QPushButton(tr("&Close"), this);
    btnClose->setObjectName("btnClose");
    btnClose->setToolTip(tr("Close Backing Up Data"));
    // Enter in the field moves on; it never presses a button by itself.
    for (QPushButton* b : {SpeedButton1, btnBackup, btnHelp, btnClose}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    buttons->addWidget(btnBackup);
    buttons->addWidget(btnHelp);
    buttons->addWidget(btnClose);
    rows->addLayout(buttons);

    for (QWidget* w :
         std::initializer_list<QWidget*>{this, Label1, Label2, edtFolder, Label3, lblDate, cboxCD,
                                         btnBackup, btnHelp, btnClose})
        SetHelpContext(w, kHelpBackup);
    SetHelpContext(SpeedButton1, kHelpCDBackup);

    edtFolder->installEventFilter(this);
    Prompts& prompts = host_.UserPrompts();
    connect(SpeedButton1, &QPushButton::clicked, this,
            [this, &prompts] { RunGuarded(prompts, [this] { SpeedButton1Click(); }); });
    connect(btnBackup, &QPushButton::clicked, this,
            [this, &prompts] { RunGuarded(prompts, [this] { btnBackupClick(); }); });
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

TfmBackup::~TfmBackup() = default;

void TfmBackup::FormCreate() {
    edtFolder->setText(Q(ReadBackupPath()));
    const long long date = ReadBackupDate();
    if (date > 0) lblDate->setText(Q(BackupDateText(date)));
    cboxCD->setChecked(ReadBackupToCD());
}

void TfmBackup::edtFolderExit() {
    const QString normalised = Q(NormaliseFolderField(S(edtFolder->text())));
    if (normalised != edtFolder->text()) edtFolder->setText(normalised);
}

void TfmBackup::SpeedButton1Click() {
    const std::string text = S(edtFolder->text());
    std::string start;
    if (BackupFolderExists(text)) start = ResolveDrivePath(text);
    if (auto folder = host_.UserPrompts().BrowseFolder("Select Folder", start))
        edtFolder->setText(Q(*folder));
}

void TfmBackup::btnBackupClick() {
    if (busy_) return;
    // 1. A CD backup goes to its own dialog; the folder field plays no part.
    if (cboxCD->isChecked()) {
        if (OnBackupToCD) OnBackupToCD();
        return;
    }
    // The field is normalised as on leaving it, whichever way the button was reached.
    edtFolderExit();
    const std::string folder = S(edtFolder->text());
    // 2. The message names the folder; a missing folder of the user's own (not a drive's
    // mount point) can be made from it.
    if (!BackupFolderExists(folder) && !OfferToCreateFolder(folder)) {
        edtFolder->setFocus();
        return;
    }
    // 3-6. Buttons and cursor come back in every case, before any message.
    bool written = false;
    {
        BusyScope busy(busy_, {btnBackup, btnClose});
        THourglass hourglass;
        {
            auto job =
                std::make_unique<Tfmlha>(host_.Store(), host_.UserPrompts(), programFolder_, this);
            written = job->BackupTables(WithFinalSeparator(folder));
        }
        if (written) {
            WriteBackupPath(folder);
            const long long today = TodayDayNumber();
            WriteBackupDate(today);
            WriteBackupToCD(cboxCD->isChecked());
            lblDate->setText(Q(BackupDateText(today)));
        }
    }
    if (written) host_.UserPrompts().Message(PromptKind::Information, BackupText::kBackupComplete);
}

bool TfmBackup::OfferToCreateFolder(const std::string& folder) {
    Prompts& prompts = host_.UserPrompts();
    if (folder.empty()) {
        prompts.Message(PromptKind::Warning, std::string(BackupText::kPathDoesNotExist) +
                                                 ": enter the folder to back up to.");
        return false;
    }
    std::string local;
    try {
        local = ResolveDrivePath(folder);
        if (local.size() > 1) local = fileutil::ExcludeTrailingSeparator(local);
    } catch (const std::exception& e) {
        // A drive letter that names no folder.
        prompts.Message(PromptKind::Warning, std::string(BackupText::kPathDoesNotExist) + ": " +
                                                 folder + "\n\n" + e.what());
        return false;
    }
    const std::string named = std::string(BackupText::kPathDoesNotExist) + ": " + local +
                              (local == folder ? std::string() : " (" + folder + ")");
    if (DriveLetterOf(folder) != 0) {
        // A drive's folder is where its medium is mounted: it is not made here.
        prompts.Message(PromptKind::Warning,
                        named + "\n\nInsert the medium, or pick another folder.");
        return false;
    }
    if (prompts.Message(PromptKind::Confirmation, named + "\n\nCreate this folder?",
                        PromptButtons::YesNo) != PromptAnswer::Yes)
        return false;
    std::error_code ec;
    std::filesystem::create_directories(local, ec);
    if (ec || !DirectoryExists(local)) {
        prompts.Message(PromptKind::Error, "Unable to create the folder " + local + ": " +
                                               (ec ? ec.message() : "it is not a folder"));
        return false;
    }
    return true;
}

void TfmBackup::btnHelpClick() {
    host_.ShowHelp(kHelpBackup);
}

void TfmBackup::btnCloseClick() {
    if (!busy_) accept();
}

void TfmBackup::reject() {
    if (!busy_) QDialog::reject();
}

void TfmBackup::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool TfmBackup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtFolder) {
        if (event->type() == QEvent::FocusOut) {
            edtFolderExit();
        } else if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                focusNextChild();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace larderly
