// TfmCDBurn: the backup to CD dialog. It lists the disc writers, writes the backup archive
// into the program's temp folder with the backup job, burns it as the only file of a new
// session and logs what the burner reports. It cannot be closed while a backup or a burn
// runs. Created and shown modally by the backup dialog:
//
//     TfmCDBurn dlg(host, parent);
//     dlg.exec();
#pragma once

#include "backup/CDBackup.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace larderly {

class Prompts;
class THourglass;
class TfmTables;
class BackupHost;

class TfmCDBurn : public QDialog, private CDBackupView {
    Q_OBJECT

public:
    // The store, questions and help of the main window; the program folder is ProgramFolder().
    explicit TfmCDBurn(BackupHost& host, QWidget* parent = nullptr);
    // `programFolder` holds temp/ and data/; `help` opens the help file at a context.
    TfmCDBurn(TfmTables& store, Prompts& prompts, std::function<void(int context)> help,
              std::string programFolder, QWidget* parent = nullptr);
    ~TfmCDBurn() override;

    QLabel* Label1 = nullptr;
    QComboBox* cbDrives = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* btnBackup = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* Label6 = nullptr;
    QProgressBar* CDProgress = nullptr;
    QTimer* Timer1 = nullptr;
    // The disc burner and the backup's steps around it.
    TCDBackup& Backup() { return *backup_; }
    TDiscBurner& discBurner() { return backup_->Burner(); }

    // Runs the backup job into a folder (ending in "/") and gives its result. By default a
    // fresh job window (Tfmlha) owned by this dialog runs it.
    std::function<bool(const std::string& folder)> RunBackupJob;

    // Whether a backup or a burn is running (closing is refused meanwhile).
    bool Running() const { return running_; }

    // Handlers.
    void FormShow();
    bool FormCloseQuery();
    void cbDrivesChange();
    void btnBackupClick();
    void btnCloseClick();
    void Button1Click();
    void Timer1Timer();
    void discBurnerDebugMessage(const std::string& message, uint8_t mType);
    void discBurnerWriteDone(const std::string& error);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    class Dispatcher;
    void Build();
    void Log(const std::string& line);
    // What the backup tells the dialog: its own lines go to the memo, the burner's lines
    // and the burn's end to the handlers.
    void BackupLog(const std::string& line) override { Log(line); }
    void BurnerDebugMessage(const std::string& message, uint8_t mType) override {
        discBurnerDebugMessage(message, mType);
    }
    void BurnStarting(uint32_t trackSectors) override;
    void BurnWriteDone(const std::string& error) override { discBurnerWriteDone(error); }
    void SetIdle();
    bool DefaultBackupJob(const std::string& folder);

    TfmTables& store_;
    Prompts& prompts_;
    std::function<void(int)> help_;
    std::string programFolder_;
    std::unique_ptr<Dispatcher> dispatcher_;
    std::unique_ptr<TCDBackup> backup_;
    std::unique_ptr<THourglass> hourglass_;
    bool running_ = false;
    bool destroying_ = false;
};

} // namespace larderly
