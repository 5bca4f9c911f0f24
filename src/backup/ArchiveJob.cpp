// Backup and restore jobs over the segmented archive.
#include "backup/ArchiveJob.h"

#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/Prompts.h"
#include "store/Tables.h"

#include <exception>
#include <functional>
#include <stdexcept>

namespace larderly {

namespace {

std::string Slash(std::string p) {
    if (p.empty() || p.back() != '/') p += '/';
    return p;
}

std::string BaseName(const std::string& p) {
    auto s = p.find_last_of('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

// Removes a staging folder when it goes out of scope.
struct StagingFolder {
    std::string path;
    ~StagingFolder() {
        if (!path.empty()) removeTree(path);
    }
};

} // namespace

TArchiveJob::TArchiveJob(TfmTables& store, Prompts& prompts, ArchiveJobView& view, std::string programFolder)
    : store_(store), prompts_(prompts), view_(view), programFolder_(Slash(std::move(programFolder))) {
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
                                   "Delete %s from the archive?", "Verify archive integrity of %s?"};
    SegArchive1.SetPrompts(&prompts_);
    SegArchive1.DriveMap['A'] = DriveFolder('A');
    SegArchive1.OnShowProgress = [this](int32_t& percent) {
        int p = percent;
        ShowProgress(p);
    };
    SegArchive1.OnSegPrompt = [this](TSegArchive*, std::string& dir, const std::string& name, uint16_t n) {
        SegPrompt(dir, name, n);
    };
    SegArchive1.OnAfterProcessed = [this](TLhaArchive*, const std::string& original, const std::string& newPath,
                                          int32_t, TLhaProcessMode mode) {
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
        if (diskette_) prompts_.message(PromptKind::Information, JobText::kInsertDisk + std::to_string(segNumber));
    } else {
        if (diskette_) prompts_.message(PromptKind::Information, JobText::kInsertDisk + std::to_string(segNumber));
        view_.SetLabel2(JobText::kWritingToDisk);
    }
}

void TArchiveJob::AfterProcessed(const std::string& original, const std::string& newPath, int mode) {
    if (mode == 0) view_.SetLabel2("Compressing " + original + " as " + BaseName(newPath));
    else if (mode == 1) view_.SetLabel2("Expanding " + original + " as " + BaseName(newPath));
    view_.ProcessMessages();
}

bool TArchiveJob::WithStoreClosed(const std::function<bool()>& job, const std::function<void()>& finish) {
    store_.SetTablesOpen(false);
    bool result = false;
    std::exception_ptr error;
    try {
        result = job();
    } catch (...) {
        error = std::current_exception();
    }
    // The store opens again whatever the job did; the job's own error wins over one of the
    // reopening.
    try {
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
    if (!makeDirectories(TempFolder())) throw std::runtime_error(JobText::kNoTempFolder);

    return WithStoreClosed([&] { return RunBackup(folder); }, [&] { view_.HideJob(); });
}

bool TArchiveJob::RunBackup(const std::string& folder) {
    diskette_ = IsDisketteDrive(folder);
    const std::string target = Slash(ResolveDrivePath(folder));
    const std::string archive = target + kBackupArchiveName;

    if (pathExists(archive)) {
        if (prompts_.message(PromptKind::Confirmation, JobText::kOverwrite, PromptButtons::YesNo) != PromptAnswer::Yes)
            return false;
        // On diskettes the old set goes now, as the new one needs the room. In a folder it
        // stays until the new set is complete, so a failed backup leaves it as it was.
        if (diskette_ && !removeFile(archive)) return false;
    }

    SegArchive1.SetSegSize(diskette_ ? 1440000 : 100000000);
    SegArchive1.SetSegBaseName(kBackupBaseName);
    SegArchive1.SetTempArchivePath(TempFolder());
    StagingFolder staging;
    if (diskette_) {
        SegArchive1.SetSegDir(target);
    } else {
        auto dir = makeTempDirectory(target);
        if (!dir) {
            lastError_ = "Unable to write to " + target;
            prompts_.message(PromptKind::Error, JobText::kBackupFailed);
            return false;
        }
        staging.path = *dir;
        SegArchive1.SetSegDir(Slash(staging.path));
    }
    SegArchive1.FilesToProcess.clear();
    for (const auto& f : kTableFiles) {
        std::string path = Slash(programFolder_ + "data") + f;
        if (fileExists(path)) SegArchive1.FilesToProcess.push_back(path);
    }
    try {
        SegArchive1.Compress();
        // A Cancel that came too late for the component to act on still cancels the job.
        if (cancelled_) throw std::runtime_error("Operation cancelled");
    } catch (const std::exception& e) {
        lastError_ = e.what();
        prompts_.message(PromptKind::Error, JobText::kBackupFailed);
        return false;
    }
    if (!diskette_) {
        // Move the new segments over the old set, then drop old segments the new set
        // does not have.
        uint16_t n = 1;
        for (;; ++n) {
            std::string name = SegArchive1.SegmentName(n);
            if (!fileExists(Slash(staging.path) + name)) break;
            if (!moveFile(Slash(staging.path) + name, target + name)) {
                lastError_ = "Unable to write " + target + name;
                prompts_.message(PromptKind::Error, JobText::kBackupFailed);
                return false;
            }
        }
        for (;; ++n) {
            std::string old = target + SegArchive1.SegmentName(n);
            if (!fileExists(old)) break;
            removeFile(old);
        }
    }
    return true;
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

bool TArchiveJob::RunRestore(const std::string& folder) {
    const std::string data = DataFolder();
    if (!directoryExists(data)) {
        prompts_.message(PromptKind::Error, JobText::kNoDataFolder);
        return false;
    }
    view_.SetWaitCursor(false);
    if (prompts_.message(PromptKind::Confirmation, JobText::kRestoreQuestion, PromptButtons::YesCancel) !=
        PromptAnswer::Yes)
        return false;

    view_.SetWaitCursor(true);
    view_.SetLabel1(JobText::kReadingBackup);
    view_.ProcessMessages();

    // The set expands into a staging folder first; the table files are replaced only once
    // it has expanded completely and holds all four.
    if (!makeDirectories(TempFolder())) throw std::runtime_error(JobText::kNoTempFolder);
    StagingFolder staging;
    auto dir = makeTempDirectory(TempFolder());
    if (!dir) throw std::runtime_error(JobText::kNoTempFolder);
    staging.path = *dir;

    SegArchive1.FilesToProcess.clear();
    SegArchive1.SetSegDir(Slash(ResolveDrivePath(folder)));
    SegArchive1.SetSegBaseName(kBackupBaseName);
    SegArchive1.SetTargetPath(staging.path);
    SegArchive1.SetTempArchivePath(TempFolder());
    bool expanded = true;
    try {
        SegArchive1.Expand();
        // A Cancel that came too late for the component to act on still cancels the job:
        // the expanded files are not put in place.
        if (cancelled_) throw std::runtime_error("Operation cancelled");
    } catch (const std::exception& e) {
        lastError_ = e.what();
        expanded = false;
        prompts_.message(PromptKind::Error, JobText::kRestoreFailed);
    }

    // Level-0 archives carry upper-case names (TBL101.NX1); the table files are lower case.
    for (const auto& e : fileutil::listDirectory(staging.path)) {
        if (!e.isRegular) continue;
        for (const auto& f : kTableFiles)
            if (e.name != f && fileutil::sameTextIgnoreCase(e.name, f) && !fileExists(Slash(staging.path) + f))
                moveFile(Slash(staging.path) + e.name, Slash(staging.path) + f);
    }

    bool complete = true;
    for (const auto& f : kTableFiles) complete = complete && fileExists(Slash(staging.path) + f);

    if (expanded && complete) {
        // Swap the files in: the old ones step aside first and come back if any move fails.
        std::vector<std::string> moved;
        bool ok = true;
        for (const auto& f : kTableFiles) {
            std::string cur = Slash(data) + f, old = cur + ".old";
            if (fileExists(cur) && !moveFile(cur, old)) {
                ok = false;
                break;
            }
            moved.push_back(f);
            if (!moveFile(Slash(staging.path) + f, cur)) {
                ok = false;
                break;
            }
        }
        if (!ok) {
            for (const auto& f : moved) {
                std::string cur = Slash(data) + f;
                if (fileExists(cur + ".old")) moveFile(cur + ".old", cur);
            }
            lastError_ = "Unable to replace the table files in " + data;
            prompts_.message(PromptKind::Error, JobText::kRestoreFailed);
            return true;
        }
        for (const auto& f : kTableFiles) removeFile(Slash(data) + f + ".old");
    }

    bool dataComplete = expanded ? complete : true;
    for (const auto& f : kTableFiles) dataComplete = dataComplete && fileExists(Slash(data) + f);
    if (!dataComplete) {
        if (lastError_.empty()) lastError_ = JobText::kDataFilesNotFound;
        prompts_.message(PromptKind::Error, JobText::kDataFilesNotFound);
        view_.RequestProgramEnd();
        return true;
    }
    if (expanded) prompts_.message(PromptKind::Information, JobText::kTablesRestored);
    return true;
}

} // namespace larderly
