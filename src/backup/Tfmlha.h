// The archive job window: a small tool window that runs one backup or restore job, shows
// which file is being processed and how far it is, asks for diskettes when the folder is on
// drive A, and offers Cancel (also the Escape key). The caller creates a fresh window for
// each job and destroys it afterwards; the window is shown only while the job runs.
#pragma once

#include "backup/ArchiveJob.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace larderly {

class TfmTables;
class Prompts;

class Tfmlha : public QDialog, public ArchiveJobView {
    Q_OBJECT
public:
    // `programFolder` holds data/ and temp/ and ends in "/".
    Tfmlha(TfmTables& store, Prompts& prompts, const std::string& programFolder,
           QWidget* owner = nullptr);
    ~Tfmlha() override;

    // The backup job: writes the table files as recipebackup.001 ... into `folder`.
    bool BackupTables(const std::string& folder);
    // The restore job: expands the set in `folder` over the table files; true when the
    // caller must rebuild its recipe list.
    bool RestoreTables(const std::string& folder);
    // Cancel: the running compress or expand stops at its next check.
    void BitBtn1Click();

    bool Running() const { return running_; }
    TArchiveJob& Job() { return job_; }
    TSegArchive& SegArchive1() { return job_.SegArchive1; }

    // ArchiveJobView.
    void SetCaption(const std::string& text) override;
    void SetLabel1(const std::string& text) override;
    void SetLabel2(const std::string& text) override;
    void SetPercent(int percent) override;
    void ShowJob() override;
    void HideJob() override;
    void ProcessMessages() override;
    void SetWaitCursor(bool on) override;
    void RequestProgramEnd() override;

    // What a request to end the program does. The program's own handler closes every
    // window and leaves the event loop once the current event is finished; tests put a
    // recorder in its place.
    static std::function<void()>& ProgramEndHandler();

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* mtrPercent = nullptr;
    QPushButton* BitBtn1 = nullptr;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    template <typename F> bool Run(F&& job);

    TArchiveJob job_;
    bool running_ = false;
    bool waitCursor_ = false;
};

} // namespace larderly
