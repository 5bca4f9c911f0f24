// The restore dialog "Restore Data": the user names the folder (or the diskette drive A:)
// that holds a backup and restores it over the recipe data. The restore runs in a job
// window (Tfmlha); afterwards the owner rebuilds its recipe list. The dialog stays open
// until the user closes it.
#pragma once

#include "backup/ArchiveJob.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace larderly {

class BackupHost;

namespace RestoreText {
inline constexpr const char* kEnterPath = JobText::kEnterPath;
inline constexpr const char* kNoBackupFile = JobText::kNoBackupFile;
} // namespace RestoreText

class TfmRestore : public QDialog {
    Q_OBJECT
public:
    // `programFolder` holds data/ and temp/ and ends in "/".
    TfmRestore(BackupHost& host, std::string programFolder, QWidget* owner = nullptr);
    ~TfmRestore() override;

    void FormCreate();
    void SpeedButton1Click();
    // Runs the restore. Errors raised on the way reach the caller with the buttons enabled
    // again.
    void btnRestoreClick();
    void btnHelpClick();
    void btnCloseClick();

    // Run after a restore that changed (or may have changed) the tables: the owner rebuilds
    // its recipe list from the recipe table and shows it.
    std::function<void()> OnRestored;

    bool Busy() const { return busy_; }

    QLabel* Label7 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edtFolder = nullptr;
    QPushButton* SpeedButton1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* lblDate = nullptr;
    QPushButton* btnRestore = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* btnHelp = nullptr;

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    BackupHost& host_;
    std::string programFolder_;
    bool busy_ = false;
};

} // namespace larderly
