// The backup dialog "Backup Data": the user picks a folder (or the diskette drive A:) and
// starts a backup of the recipe data, or ticks "Backup to CD" and goes on to the CD backup
// dialog. The backup itself runs in a job window (Tfmlha); after a successful one the
// folder, the date and the target are remembered in the settings file.
#pragma once

#include "backup/ArchiveJob.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace larderly {

class BackupHost;

// The folder field's text after leaving it: "\" becomes "/", ";" becomes ":", and a final
// "/" goes when the text is longer than three characters ("A:/" keeps it).
std::string NormaliseFolderField(std::string text);

// A folder name ending in a separator: "/" is appended unless it ends in "/" or "\".
std::string WithFinalSeparator(std::string folder);

// Whether a folder name (drive letters through the drive map) names an existing folder.
bool BackupFolderExists(const std::string& folder);

// The dialog's texts.
namespace BackupText {
inline constexpr const char* kPathDoesNotExist = JobText::kPathDoesNotExist;
inline constexpr const char* kBackupComplete = "Backup is complete";
} // namespace BackupText

class TfmBackup : public QDialog {
    Q_OBJECT
public:
    // `programFolder` holds data/ and temp/ and ends in "/".
    TfmBackup(BackupHost& host, std::string programFolder, QWidget* owner = nullptr);
    ~TfmBackup() override;

    void FormCreate();
    void edtFolderExit();
    void SpeedButton1Click();
    // Runs the backup. Errors raised on the way reach the caller after the buttons and the
    // cursor have been restored.
    void btnBackupClick();
    void btnHelpClick();
    void btnCloseClick();

    // With "Backup to CD" ticked the backup button runs this instead (the CD backup dialog).
    std::function<void()> OnBackupToCD;

    // Whether a backup is running (the dialog cannot be closed meanwhile).
    bool Busy() const { return busy_; }

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edtFolder = nullptr;
    QPushButton* SpeedButton1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblDate = nullptr;
    QCheckBox* cboxCD = nullptr;
    QPushButton* btnBackup = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* btnClose = nullptr;

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Tells that the folder does not exist, naming it (and the folder its drive letter maps
    // to), and offers to create it when it is an ordinary folder. True when it now exists.
    bool OfferToCreateFolder(const std::string& folder);

    BackupHost& host_;
    std::string programFolder_;
    bool busy_ = false;
};

} // namespace larderly
