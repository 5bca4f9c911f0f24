// Backup and restore jobs over the segmented archive.
#include "backup/ArchiveJob.h"

#include "archive/LhaExceptions.h"
#include "platform/DayNumber.h"
#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/FolderLock.h"
#include "platform/Prompts.h"
#include "platform/Settings.h"
#include "platform/StagingFolder.h"
#include "platform/Text.h"
#include "store/DerivedFile.h"
#include "store/TableSwap.h"
#include "store/Tables.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

namespace larderly {

namespace {

std::string Slash(const std::string& p) {
    return fileutil::IncludeTrailingSeparator(p);
}

std::string SegmentFileName(uint16_t n) {
    std::string digits = std::to_string(n);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return std::string(kBackupBaseName) + "." + digits;
}

// The names of the segments in `folder`: recipebackup.001 and on while they exist.
std::vector<std::string> SegmentsIn(const std::string& folder) {
    std::vector<std::string> names;
    for (uint16_t n = 1; n != 0 && FileExists(Slash(folder) + SegmentFileName(n)); ++n)
        names.push_back(SegmentFileName(n));
    return names;
}

// Inside a backup's staging folder, the old set waits in kAsideFolder while the new set
// moves in; the folder's name says how far the swap got, so that the clean-up after an
// interrupted run knows what to put back: old.part while the old set moves out, old once
// it is all out, old.drop once the new set is all in.
constexpr const char* kAsidePart = "old.part";
constexpr const char* kAside = "old";
constexpr const char* kAsideDrop = "old.drop";

// A job refused with a message that already says what is wrong and what to do.
class EJobRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The cause of a failed compress or expand in words: the archive's own texts ("Stream write
// error", "Operation cancelled" after a refused prompt) name neither file nor remedy.
std::string BackupFailure(const std::exception& e, bool cancelled, const std::string& target,
                          const std::vector<std::string>& files) {
    if (dynamic_cast<const EJobRefused*>(&e)) return e.what();
    if (cancelled)
        return "The backup was cancelled. An earlier backup in " + target + " is left as it was.";
    std::string cause = e.what();
    const bool aborted = dynamic_cast<const ELhaOperationAborted*>(&e) != nullptr;
    const bool unwritten = dynamic_cast<const EWriteError*>(&e) != nullptr ||
                           dynamic_cast<const EFCreateError*>(&e) != nullptr;
    if (aborted || unwritten) {
        int64_t needed = 0;
        for (const auto& f : files) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(f, ec);
            if (!ec) needed += static_cast<int64_t>(size);
        }
        const int64_t free = fileutil::FreeSpace(target);
        // The archive stops with "Operation cancelled" when its question about too little
        // room was answered Cancel, and with a bare write error when the disk filled up.
        if (free >= 0 && free < needed)
            cause = "there is not enough free space for it";
        else if (unwritten)
            cause = "a file there could not be written; the disk may be full";
        else
            cause = "a question about the folder was cancelled";
    }
    return "The backup could not be written into " + target + " (" + cause +
           "): make sure the folder has room and can be written, then back up again. An "
           "earlier backup there is left as it was.";
}

std::string RestoreFailure(const std::exception& e, bool cancelled, const std::string& folder,
                           const std::string& staging) {
    if (cancelled) return "The restore was cancelled. Your data is left as it was.";
    if (dynamic_cast<const EWriteError*>(&e) || dynamic_cast<const EFCreateError*>(&e))
        return "The backup in " + folder + " could not be expanded into " + staging +
               " (a file there could not be written; the disk may be full): make room, then "
               "restore again. Your data is left as it was.";
    std::string cause = e.what();
    // A set that ends early makes the archive ask for a further segment; the question's
    // Cancel ends it with "Operation cancelled".
    if (dynamic_cast<const ELhaOperationAborted*>(&e))
        cause = "a part of the set is missing or cut short";
    else if (dynamic_cast<const ELhaBadCRC*>(&e))
        cause = "its data does not match its check values";
    else if (dynamic_cast<const EStreamError*>(&e))
        cause = "it ends before its data does";
    return "The backup in " + folder + " cannot be read (" + cause +
           "): it is damaged or incomplete. Your data is left as it was; restore from "
           "another backup.";
}

bool RenameFolder(const std::string& from, const std::string& to) {
    return fileutil::MoveFileStep(from, to);
}

} // namespace

bool RecoverBackupStaging(const std::string& staging, const std::string& target) {
    const std::string part = Slash(staging) + kAsidePart, aside = Slash(staging) + kAside;
    bool ok = true;
    if (DirectoryExists(aside)) {
        // The whole old set had moved out: whatever segments the folder holds are new ones.
        for (const auto& name : SegmentsIn(target))
            ok = RemoveFile(Slash(target) + name) && ok;
        for (const auto& name : SegmentsIn(aside))
            ok = MoveFile(Slash(aside) + name, Slash(target) + name) && ok;
    } else if (DirectoryExists(part)) {
        // Part of the old set had moved out; the rest is still in its place.
        for (const auto& e : fileutil::ListDirectory(part))
            if (e.isRegular) ok = MoveFile(Slash(part) + e.name, Slash(target) + e.name) && ok;
    }
    return ok;
}

void RecoverInterruptedBackup(const std::string& folder) {
    if (folder.empty() || IsDisketteDrive(folder)) return;
    try {
        const std::string target = ResolveDrivePath(folder);
        RemoveStaleStagingFolders(target, [&target](const std::string& staging) {
            return RecoverBackupStaging(staging, target);
        });
    } catch (const std::exception&) {
        // A drive letter without a mapping: there is nothing of ours there to clean.
    }
}

void CleanUpInterruptedJobs(const std::string& programFolder, const std::string& backupFolder) {
    // Best effort: nothing here may keep the program from starting.
    try {
        CleanUpTempFolder(Slash(programFolder));
        RecoverInterruptedBackup(backupFolder);
    } catch (const std::exception&) {
        // A drive letter without a mapping: there is nothing of ours there to clean.
    }
}

TArchiveJob::TArchiveJob(TfmTables& store, Prompts& prompts, ArchiveJobView& view,
                         std::string programFolder)
    : store_(store), prompts_(prompts), view_(view),
      programFolder_(Slash(std::move(programFolder))) {
    SegArchive1.CompressionMethod = colh5;
    SegArchive1.ArchiveType = caLHARC;
    SegArchive1.StorePath = false;
    SegArchive1.AllowDuplicates = false;
    SegArchive1.MakeDirectories = false;
    SegArchive1.SafeMode = false;
    SegArchive1.VerifyMode = false;
    SegArchive1.ForceUpperCase = false;
    SegArchive1.ExceptionOnFileError = false;
    SegArchive1.Confirm = false;
    SegArchive1.CheckSpaceBeforeExpand = false;
    SegArchive1.SetSegBaseName(kBackupBaseName);
    SegArchive1.SetSegSize(1440000);
    SegArchive1.SegMessages = {"Insert Blank Formatted Diskette # ",
                               "Incorrect Diskette Inserted!",
                               "Segment directory:",
                               "Not enough Free space available",
                               "Operation cancelled",
                               "Unable to open selected segment.",
                               "Unable to open scan file.",
                               "Unable to open archive file.",
                               "Unable to locate selected segment file.",
                               "Correct and press OK or Cancel to Abort.",
                               "Segment ID Header invalid",
                               "Segment Set Header invalid",
                               "Segment Scan Header invalid",
                               "Segment Archive Header invalid"};
    SegArchive1.ConfirmMessages = {"Please confirm", "Compress %s as %s?", "Expand %s to %s?",
                                   "Delete %s from the archive?",
                                   "Verify archive integrity of %s?"};
    SegArchive1.SetPrompts(&prompts_);
    SegArchive1.DriveMap['A'] = DriveFolder('A');
    SegArchive1.OnShowProgress = [this](int32_t& percent) {
        int p = percent;
        ShowProgress(p);
    };
    SegArchive1.OnSegPrompt = [this](TSegArchive*, std::string& dir, const std::string& name,
                                     uint16_t n) { SegPrompt(dir, name, n); };
    SegArchive1.OnAfterProcessed = [this](TLhaArchive*, const std::string& original,
                                          const std::string& newPath, int32_t,
                                          TLhaProcessMode mode) {
        AfterProcessed(original, newPath, mode == cmLHACompress ? 0 : mode == cmLHAExpand ? 1 : 2);
    };
}

void TArchiveJob::Cancel() {
    cancelled_ = true;
    SegArchive1.AbortRequested = true;
    view_.ProcessMessages();
}

void TArchiveJob::ShowProgress(int& percent) {
    view_.SetPercent(percent);
    view_.ProcessMessages();
}

void TArchiveJob::SegPrompt(std::string&, const std::string&, uint16_t segNumber) {
    if (restoring_) {
        view_.SetLabel2(JobText::kRestoringFromDisk);
        if (diskette_)
            prompts_.Message(PromptKind::Information,
                             JobText::kInsertDisk + std::to_string(segNumber));
    } else {
        if (diskette_)
            prompts_.Message(PromptKind::Information,
                             JobText::kInsertDisk + std::to_string(segNumber));
        view_.SetLabel2(JobText::kWritingToDisk);
    }
}

void TArchiveJob::AfterProcessed(const std::string& original, const std::string& newPath,
                                 int mode) {
    if (mode == 0)
        view_.SetLabel2("Compressing " + original + " as " + fileutil::ExtractFileName(newPath));
    else if (mode == 1)
        view_.SetLabel2("Expanding " + original + " as " + fileutil::ExtractFileName(newPath));
    view_.ProcessMessages();
}

std::string TArchiveJob::FailedText(const char* fixed) const {
    return lastError_.empty() ? std::string(fixed) : fixed + ("\n" + lastError_);
}

bool TArchiveJob::WithStoreClosed(const std::function<bool()>& job,
                                  const std::function<void()>& finish) {
    store_.SetTablesOpen(false);
    bool result = false;
    std::exception_ptr error;
    try {
        result = job();
    } catch (...) {
        error = std::current_exception();
    }
    // The store opens again whatever the job did; the job's own error wins over one of the
    // reopening. After a restore that builds the indexes afresh, which the job's window says
    // while it runs.
    try {
        TRebuildNoticeScope notice({[this](const std::string& what, int64_t recipes) {
                                        view_.IndexRebuild(RebuildStartedText(what, recipes));
                                    },
                                    [this](const std::string& what, bool built) {
                                        if (built) view_.IndexRebuild(RebuildEndedText(what));
                                    }});
        // A restored set has its indexes built here, where the job's window says so, rather
        // than at the first search or save after it.
        struct AtOpen {
            TfmTables& store;
            const bool was = store.IndexesAtOpen;
            ~AtOpen() { store.IndexesAtOpen = was; }
        } atOpen{store_};
        if (restoring_) store_.IndexesAtOpen = true;
        store_.SetTablesOpen(true);
    } catch (...) {
        if (!error) error = std::current_exception();
    }
    finish();
    if (error) std::rethrow_exception(error);
    return result;
}

bool TArchiveJob::BackupTables(const std::string& folder) {
    restoring_ = false;
    cancelled_ = false;
    lastError_.clear();
    view_.SetCaption(JobText::kBackupCaption);
    view_.ProcessMessages();
    view_.ShowJob();
    if (!MakeDirectories(TempFolder())) throw std::runtime_error(JobText::kNoTempFolder);

    return WithStoreClosed([&] { return RunBackup(folder); }, [&] { view_.HideJob(); });
}

bool TArchiveJob::RunBackup(const std::string& folder) {
    diskette_ = IsDisketteDrive(folder);
    const std::string target = Slash(ResolveDrivePath(folder));
    const std::string archive = target + kBackupArchiveName;
    // What an interrupted job left behind goes first, so that its room is free and an old
    // set it had moved aside is back in place before it is asked about; an interrupted
    // restore is finished, so that the set backed up is a whole one.
    CleanUpTempFolder(programFolder_);
    // No restore replaces the tables while they are copied.
    FolderLock tablesLock(DataFolder(), FolderLockKind::Tables);
    if (!tablesLock.TryTake()) {
        lastError_ = tablesLock.BusyText();
        prompts_.Message(PromptKind::Error, lastError_);
        return false;
    }
    RecoverInterruptedBackup(folder);

    if (PathExists(archive)) {
        if (prompts_.Message(PromptKind::Confirmation, JobText::kOverwrite, PromptButtons::YesNo) !=
            PromptAnswer::Yes)
            return false;
        // On diskettes the old set goes now, as the new one needs the room. In a folder it
        // stays until the new set is complete, so a failed backup leaves it as it was.
        if (diskette_ && !RemoveFile(archive)) return false;
    }

    SegArchive1.SetSegSize(diskette_ ? 1440000 : 100000000);
    SegArchive1.SetSegBaseName(kBackupBaseName);
    StagingFolder staging;
    if (diskette_) {
        SegArchive1.SetSegDir(target);
    } else {
        staging = StagingFolder::Create(target);
        if (staging.empty()) {
            lastError_ = "Unable to write to " + target;
            prompts_.Message(PromptKind::Error, FailedText(JobText::kBackupFailed));
            return false;
        }
        SegArchive1.SetSegDir(Slash(staging.path()));
    }
    // The tables are copied as one state first, so that another program (the command line,
    // or the program while the command line backs up) cannot commit half-way through the
    // archiving; the copies go into the archive under the tables' names.
    SegArchive1.FilesToProcess.clear();
    StagingFolder snapshot = StagingFolder::Create(TempFolder());
    try {
        if (snapshot.empty()) throw std::runtime_error(JobText::kNoTempFolder);
        SegArchive1.SetTempArchivePath(Slash(snapshot.path()));
        SegArchive1.FilesToProcess = SnapshotTableFiles(DataFolder(), snapshot.path());
        // A set that lacks a table cannot be restored: it never replaces a backup.
        if (SegArchive1.FilesToProcess.size() != kTableFiles.size()) {
            std::string missing;
            for (const auto& f : kTableFiles)
                if (!FileExists(Slash(DataFolder()) + f))
                    missing += (missing.empty() ? "" : ", ") + f;
            throw EJobRefused("The data folder " + DataFolder() + " lacks " + missing +
                              ", so no backup can be made of it; restore a backup "
                              "first. The backup in " +
                              target + " is left as it was.");
        }
        SegArchive1.Compress();
        // A Cancel that came too late for the component to act on still cancels the job.
        if (cancelled_) throw std::runtime_error("Operation cancelled");
    } catch (const std::exception& e) {
        std::vector<std::string> tables;
        for (const auto& f : kTableFiles)
            tables.push_back(Slash(DataFolder()) + f);
        lastError_ = BackupFailure(e, cancelled_, target, tables);
        prompts_.Message(PromptKind::Error, FailedText(JobText::kBackupFailed));
        return false;
    }
    if (!diskette_ && !SwapInNewSet(staging, target)) {
        prompts_.Message(PromptKind::Error, FailedText(JobText::kBackupFailed));
        return false;
    }
    return true;
}

bool TArchiveJob::SwapInNewSet(StagingFolder& staging, const std::string& target) {
    const std::string dir = Slash(staging.path());
    const std::string part = dir + kAsidePart, aside = dir + kAside;
    const std::vector<std::string> oldSet = SegmentsIn(target), newSet = SegmentsIn(dir);
    // 1. The old set moves aside into the staging folder, all of it.
    std::vector<std::string> movedOut, movedIn;
    bool ok = oldSet.empty() || MakeDirectories(part);
    for (const auto& name : oldSet) {
        if (!ok) break;
        ok = MoveSegment(Slash(target) + name, Slash(part) + name);
        if (ok) movedOut.push_back(name);
    }
    if (ok && !oldSet.empty()) ok = RenameFolder(part, aside);
    const std::string& holder = ok && !oldSet.empty() ? aside : part;
    // 2. The new set moves in.
    for (const auto& name : newSet) {
        if (!ok) break;
        ok = MoveSegment(dir + name, Slash(target) + name);
        if (ok) movedIn.push_back(name);
    }
    if (ok) {
        // 3. The old set goes last (with the staging folder; a failure to delete it does
        // not undo a backup that is complete).
        if (!oldSet.empty()) RenameFolder(aside, dir + kAsideDrop);
        return true;
    }
    // A step failed: the new segments go back to the staging folder and the old set to its
    // place, so the folder holds the old backup as it was.
    lastError_ = "Unable to write the new backup into " + target;
    bool restored = true;
    for (const auto& name : movedIn)
        restored = MoveSegment(Slash(target) + name, dir + name) && restored;
    for (const auto& name : movedOut)
        restored = MoveSegment(Slash(holder) + name, Slash(target) + name) && restored;
    if (!restored) {
        // The old set is not whole in its place: keep the staging folder, whose clean-up
        // in a later run puts back what is still in it.
        lastError_ += "; the earlier backup is kept in " + staging.path();
        staging.Keep();
    }
    return false;
}

bool TArchiveJob::RestoreTables(const std::string& folder) {
    cancelled_ = false;
    lastError_.clear();
    view_.SetLabel2(JobText::kRestoreProgress);
    diskette_ = IsDisketteDrive(folder);
    restoring_ = true;
    view_.ProcessMessages();
    view_.ShowJob();
    view_.SetCaption(JobText::kRestoreCaption);

    return WithStoreClosed([&] { return RunRestore(folder); },
                           [&] {
                               view_.SetWaitCursor(false);
                               view_.HideJob();
                           });
}

std::string RestoreQuestion(const std::string& folder) {
    std::string source;
    try {
        source = ResolveDrivePath(folder);
    } catch (const std::exception&) {
        source = folder;
    }
    std::string which = "the backup in " + source;
    struct stat st {};
    const std::string first = fileutil::IncludeTrailingSeparator(source) + kBackupArchiveName;
    if (::stat(first.c_str(), &st) == 0) {
        std::tm local{};
        const std::time_t when = st.st_mtime;
        if (localtime_r(&when, &local)) {
            char clock[8];
            std::snprintf(clock, sizeof clock, "%02d:%02d", local.tm_hour, local.tm_min);
            which =
                "the backup of " +
                BackupDateText(DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) +
                " " + clock + " in " + source;
        }
    }
    return "Restore " + which + "?\n\n" + JobText::kRestoreQuestion;
}

bool TArchiveJob::RunRestore(const std::string& folder) {
    const std::string data = DataFolder();
    if (!DirectoryExists(data)) {
        prompts_.Message(PromptKind::Error, JobText::kNoDataFolder);
        return false;
    }
    view_.SetWaitCursor(false);
    // The question says which backup replaces the data; Enter answers Cancel.
    if (prompts_.Message(PromptKind::Confirmation, RestoreQuestion(folder),
                         PromptButtons::YesCancelSafe) != PromptAnswer::Yes)
        return false;

    view_.SetWaitCursor(true);
    view_.SetLabel1(JobText::kReadingBackup);
    view_.ProcessMessages();
    // One restore at a time, and none while another process has the tables open: it would
    // go on working on the replaced files. What an interrupted restore left is finished first.
    FolderLock lock(data, FolderLockKind::Restore);
    if (!lock.Take("the restore", RestoreLockWaitMs, OnWaiting)) {
        std::string writer = FolderLock::Writer(data);
        lastError_ = "The data folder " + data + " is in use by " +
                     (writer.empty() ? std::string("another program") : writer) +
                     ": restore again when it has finished.";
        prompts_.Message(PromptKind::Error, lastError_);
        return false;
    }
    CleanUpTempFolder(programFolder_, true);
    RecoverInterruptedBackup(folder);
    // The set expands into a staging folder first; the table files are replaced only once
    // it has expanded completely and holds all four.
    StagingFolder staging;
    if (MakeDirectories(TempFolder())) staging = StagingFolder::Create(TempFolder());
    if (staging.empty()) throw std::runtime_error(JobText::kNoRestoreTempFolder);

    SegArchive1.FilesToProcess.clear();
    SegArchive1.SetSegDir(Slash(ResolveDrivePath(folder)));
    SegArchive1.SetSegBaseName(kBackupBaseName);
    SegArchive1.SetTargetPath(staging.path());
    SegArchive1.SetTempArchivePath(Slash(staging.path()));
    bool expanded = true;
    try {
        SegArchive1.Expand();
        // A Cancel that came too late for the component to act on still cancels the job:
        // the expanded files are not put in place.
        if (cancelled_) throw std::runtime_error("Operation cancelled");
    } catch (const std::exception& e) {
        lastError_ = RestoreFailure(e, cancelled_, ResolveDrivePath(folder), staging.path());
        expanded = false;
        prompts_.Message(PromptKind::Error, FailedText(JobText::kRestoreFailed));
    }

    // Level-0 archives carry upper-case names (TBL101.NX1); the table files are lower case.
    for (const auto& e : fileutil::ListDirectory(staging.path())) {
        if (!e.isRegular) continue;
        for (const auto& f : kTableFiles)
            if (e.name != f && SameTextAZ(e.name, f) && !FileExists(Slash(staging.path()) + f))
                MoveFile(Slash(staging.path()) + e.name, Slash(staging.path()) + f);
    }

    bool complete = true;
    for (const auto& f : kTableFiles)
        complete = complete && FileExists(Slash(staging.path()) + f);

    if (expanded && complete) {
        bool keep = false;
        if (!SwapInTableFiles(staging.path(), data, &keep)) {
            lastError_ = "Unable to replace the table files in " + data;
            if (keep) {
                lastError_ += "; the earlier files are kept in " + staging.path();
                staging.Keep();
            }
            prompts_.Message(PromptKind::Error, FailedText(JobText::kRestoreFailed));
            return true;
        }
    }

    bool dataComplete = expanded ? complete : true;
    for (const auto& f : kTableFiles)
        dataComplete = dataComplete && FileExists(Slash(data) + f);
    if (!dataComplete) {
        if (lastError_.empty()) lastError_ = JobText::kDataFilesNotFound;
        prompts_.Message(PromptKind::Error, JobText::kDataFilesNotFound);
        view_.RequestProgramEnd();
        return true;
    }
    if (expanded) prompts_.Message(PromptKind::Information, JobText::kTablesRestored);
    return true;
}

} // namespace larderly
