// The journalled swap of the table files and its recovery.
#include "store/TableSwap.h"

#include "platform/AppPaths.h"
#include "platform/FileUtil.h"
#include "platform/FolderLock.h"
#include "platform/StagingFolder.h"
#include "store/SearchIndex.h"
#include "store/Tables.h"

#include <vector>

namespace larderly {

namespace {

// The old files wait in the staging folder: in kOldPart while they move out, in kOld once
// they are all out, and kOld becomes kOldDrop once the new files are all in.
constexpr const char* kOldPart = "old-tables.part";
constexpr const char* kOld = "old-tables";
constexpr const char* kOldDrop = "old-tables.drop";

std::string In(const std::string& folder, const std::string& name) {
    return fileutil::IncludeTrailingSeparator(folder) + name;
}

// The files of the current set: the tables, each with the journal a crashed writer may have
// left (it belongs to its file and must never meet another).
std::vector<std::string> CurrentSet(const std::string& data) {
    std::vector<std::string> names;
    for (const auto& f : kTableFiles) {
        if (fileutil::PathExists(In(data, f))) names.push_back(f);
        if (fileutil::PathExists(In(data, f + "-journal"))) names.push_back(f + "-journal");
    }
    return names;
}

void DropDerivedFiles(const std::string& data) {
    RemoveFile(In(data, kSearchIndexFile));
    RemoveFile(In(data, std::string(kSearchIndexFile) + "-journal"));
    RemoveFile(In(data, kIngredientIndexFile));
    RemoveFile(In(data, std::string(kIngredientIndexFile) + "-journal"));
}

bool HasJournal(const std::string& staging) {
    for (const char* name : {kOldPart, kOld, kOldDrop})
        if (fileutil::DirectoryExists(In(staging, name))) return true;
    return false;
}

} // namespace

bool SwapInTableFiles(const std::string& staging, const std::string& data, bool* keep) {
    *keep = false;
    const std::string part = In(staging, kOldPart), old = In(staging, kOld);
    if (!MakeDirectories(part)) return false;
    std::vector<std::string> movedOut, movedIn;
    bool ok = true;
    for (const auto& name : CurrentSet(data)) {
        ok = fileutil::MoveFileStep(In(data, name), In(part, name));
        if (!ok) break;
        movedOut.push_back(name);
    }
    if (ok) ok = fileutil::MoveFileStep(part, old);
    const std::string& holder = ok ? old : part;
    for (const auto& f : kTableFiles) {
        if (!ok) break;
        ok = fileutil::MoveFileStep(In(staging, f), In(data, f));
        if (ok) movedIn.push_back(f);
    }
    if (ok) {
        // The old files go with the staging folder; the index of the old set goes now.
        fileutil::MoveFileStep(old, In(staging, kOldDrop));
        DropDerivedFiles(data);
        return true;
    }
    bool back = true;
    for (const auto& f : movedIn)
        back = MoveFile(In(data, f), In(staging, f)) && back;
    for (const auto& name : movedOut)
        back = MoveFile(In(holder, name), In(data, name)) && back;
    *keep = !back;
    return false;
}

bool RecoverTableSwap(const std::string& staging, const std::string& data) {
    const std::string part = In(staging, kOldPart), old = In(staging, kOld);
    bool ok = true;
    if (fileutil::DirectoryExists(In(staging, kOldDrop))) {
        DropDerivedFiles(data);
    } else if (fileutil::DirectoryExists(old)) {
        // The old set was all out and the new one complete: it comes in whole.
        for (const auto& f : kTableFiles)
            if (FileExists(In(staging, f))) ok = MoveFile(In(staging, f), In(data, f)) && ok;
        for (const auto& f : kTableFiles)
            ok = ok && FileExists(In(data, f));
        DropDerivedFiles(data);
    } else if (fileutil::DirectoryExists(part)) {
        // Part of the old set had left; the new one had not started to come in.
        for (const auto& e : fileutil::ListDirectory(part))
            if (e.isRegular) ok = MoveFile(In(part, e.name), In(data, e.name)) && ok;
    }
    return ok;
}

void CleanUpTempFolder(const std::string& programFolder, bool restoreLockHeld) {
    const std::string temp = In(programFolder, "temp"), data = DataFolderOf(programFolder);
    if (!fileutil::DirectoryExists(temp)) return;
    FolderLock lock(data, FolderLockKind::Restore);
    bool mayRecover = restoreLockHeld;
    if (!mayRecover) {
        try {
            mayRecover = lock.TryTake("the recovery of an interrupted restore");
        } catch (const EFolderLockError&) {
            // A folder nobody can write: nothing of ours can be put back there either.
        }
    }
    RemoveStaleStagingFolders(temp, [&](const std::string& staging) {
        if (!HasJournal(staging)) return true;
        return mayRecover && RecoverTableSwap(staging, data);
    });
    // Temporary archives that runs before the staging folders left in temp/ itself. A job
    // at work keeps its own in its staging folder.
    if (!mayRecover) return;
    for (const auto& e : fileutil::ListDirectory(temp)) {
        const auto dot = e.name.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : e.name.substr(dot);
        if (e.isRegular && (ext == ".$a$" || ext == ".$t$" || ext == ".$s$"))
            RemoveFile(In(temp, e.name));
    }
}

} // namespace larderly
