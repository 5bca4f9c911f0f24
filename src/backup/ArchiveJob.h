// The archive jobs behind the backup, restore and CD backup commands: close the recipe
// store, write the four table files into a segment set (backup) or expand a segment set
// over them (restore), and open the store again whatever happened. The job window
// (Tfmlha) and the CLI show the job through an ArchiveJobView.
#pragma once

#include "archive/SegArchive.h"
#include "platform/AppPaths.h"
#include "platform/FileUtil.h"

#include <functional>
#include <string>

namespace larderly {

class Prompts;
class StagingFolder;
class TfmTables;

// What a job shows while it runs.
class ArchiveJobView {
public:
    virtual ~ArchiveJobView() = default;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetLabel1(const std::string& text) = 0; // wait notice
    virtual void SetLabel2(const std::string& text) = 0; // status line
    virtual void SetPercent(int percent) = 0;
    virtual void ShowJob() = 0;
    virtual void HideJob() = 0;
    // Lets pending window messages run (a Cancel click is handled here).
    virtual void ProcessMessages() = 0;
    virtual void SetWaitCursor(bool on) = 0;
    // Asks the program to end once the current event is finished.
    virtual void RequestProgramEnd() = 0;
    // An index is being built as the store opens again after the job ("Rebuilding the
    // search index of 250000 recipes...") or has been built: shown on the status line.
    virtual void IndexRebuild(const std::string& text) {
        SetLabel2(text);
        ProcessMessages();
    }
};

// Texts the jobs show.
namespace JobText {
inline constexpr const char* kWait = "Please Wait ...............................";
inline constexpr const char* kCompressing = "Compressing Tables";
inline constexpr const char* kBackupCaption = "Backup Progress";
inline constexpr const char* kRestoreCaption = "Larderly Restore Progress";
inline constexpr const char* kRestoreProgress = "Restore Progress";
inline constexpr const char* kReadingBackup = "Reading Backup File";
inline constexpr const char* kNoTempFolder = "Unable to create temp folder for backup";
inline constexpr const char* kNoRestoreTempFolder = "Unable to create temp folder for restore";
inline constexpr const char* kOverwrite =
    "Backup file already exists.  Do you want to overwrite it?";
inline constexpr const char* kBackupFailed = "Backup Failed!";
inline constexpr const char* kNoDataFolder = "Alias Path for data files not found";
inline constexpr const char* kRestoreQuestion =
    "All existing data will be overwritten.  Do you want to continue?";
inline constexpr const char* kRestoreFailed = "Restore Failed!";
inline constexpr const char* kDataFilesNotFound = "Data Files not found.";
inline constexpr const char* kTablesRestored = "Tables Restored!";
inline constexpr const char* kInsertDisk = "Insert disk ";
// What the backup and restore commands answer before a job starts.
inline constexpr const char* kPathDoesNotExist = "Path does not exist";
inline constexpr const char* kEnterPath = "You must enter the path where the backup file resides";
inline constexpr const char* kNoBackupFile = "Backup file does not exist.";
inline constexpr const char* kRestoringFromDisk = "Restoring from disk";
inline constexpr const char* kWritingToDisk = "Writing to disk";
} // namespace JobText

// The file name of the first segment of a backup.
inline constexpr const char* kBackupArchiveName = "recipebackup.001";
inline constexpr const char* kBackupBaseName = "recipebackup";

// The restore's question: which backup (the date and time of its first segment, and the
// folder it is read from) will overwrite the data.
std::string RestoreQuestion(const std::string& folder);

// Puts back what an interrupted backup had moved into `staging`, a staging folder of the
// backup folder `target`: the old set, when it had been moved aside, returns to its place
// and replaces whatever part of the new set had come in. False when something could not be
// moved back (the folder must then stay).
bool RecoverBackupStaging(const std::string& staging, const std::string& target);

// Puts back the backup set that an interrupted backup into `folder` (as the user entered it;
// diskettes are left alone) had moved aside, and removes the run's staging folder.
void RecoverInterruptedBackup(const std::string& folder);

// At start-up: removes the staging folders that interrupted jobs left in the program's temp
// folder and in the last backup folder (as the user entered it; drive letters go through the
// drive map, diskettes are left alone), putting an old backup set back first.
void CleanUpInterruptedJobs(const std::string& programFolder, const std::string& backupFolder);

class TArchiveJob {
public:
    // `programFolder` ends in "/": data/ and temp/ live there.
    TArchiveJob(TfmTables& store, Prompts& prompts, ArchiveJobView& view,
                std::string programFolder);

    // Writes the four table files as a segment set into `folder` (drive letters go through
    // the drive map; A: is the diskette drive). True when the archive was written. On a
    // folder, a failed or cancelled backup leaves an earlier backup there as it was.
    bool BackupTables(const std::string& folder);

    // Expands the segment set in `folder` over the table files. True when the caller must
    // rebuild its recipe list. The table files are replaced only once the whole set has
    // expanded and all four files are there; otherwise the data stays as it was.
    bool RestoreTables(const std::string& folder);

    // The Cancel button: the running compress or expand stops at its next check.
    void Cancel();

    // The reason of the last failed compress or expand ("" when none).
    const std::string& LastError() const { return lastError_; }

    TSegArchive SegArchive1;

    // How long a restore waits for the data folder while another process has its tables
    // open (an import at work), in milliseconds (negative: as long as it takes), and what it
    // tells meanwhile ("Waiting for the import in process 1234 to finish...").
    int RestoreLockWaitMs = 3000;
    std::function<void(const std::string&)> OnWaiting;

    // Moves one segment file during the final swap of a folder backup; tests replace it to
    // make a chosen step fail.
    std::function<bool(const std::string& from, const std::string& to)> MoveSegment =
        fileutil::MoveFileStep;

private:
    // Closes the store, runs the job, opens the store again and runs `finish`, also when
    // the job raised (the error is raised again afterwards).
    bool WithStoreClosed(const std::function<bool()>& job, const std::function<void()>& finish);
    bool RunBackup(const std::string& folder);
    bool RunRestore(const std::string& folder);
    // Puts the new set from the staging folder in place of the old one in `target`: the old
    // set moves aside first, the new one moves in, the old one is deleted last; when a step
    // fails everything moves back and the folder holds the old set as it was.
    bool SwapInNewSet(StagingFolder& staging, const std::string& target);
    // A failure's fixed first line with its cause, when known, below it.
    std::string FailedText(const char* fixed) const;
    void ShowProgress(int& percent);
    void SegPrompt(std::string& segDir, const std::string& segName, uint16_t segNumber);
    void AfterProcessed(const std::string& original, const std::string& newPath, int mode);
    std::string DataFolder() const { return DataFolderOf(programFolder_); }
    std::string TempFolder() const { return programFolder_ + "temp"; }

    TfmTables& store_;
    Prompts& prompts_;
    ArchiveJobView& view_;
    std::string programFolder_;
    bool diskette_ = false;
    bool restoring_ = false;
    // Cancel was pressed during the running job. The archive component forgets a request
    // that comes while it copies segments, so the job keeps its own record.
    bool cancelled_ = false;
    std::string lastError_;
};

} // namespace larderly
