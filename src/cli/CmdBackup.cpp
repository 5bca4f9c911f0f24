// larderly-cli backup FOLDER / restore FOLDER: the backup and restore jobs without windows.
// Questions are answered yes; messages go to stderr.
#include "cli/CliCommand.h"

#include "backup/ArchiveJob.h"
#include "platform/AppPaths.h"
#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/Prompts.h"
#include "store/Tables.h"

#include <iostream>

namespace larderly::cli {
namespace {

// The job's progress on a terminal: nothing but the status changes, and only with -v.
class ConsoleJobView : public ArchiveJobView {
public:
    bool verbose = false;
    bool endRequested = false;
    void SetCaption(const std::string&) override {}
    void SetLabel1(const std::string&) override {}
    void SetLabel2(const std::string& t) override {
        if (verbose) std::cerr << t << "\n";
    }
    void SetPercent(int) override {}
    void ShowJob() override {}
    void HideJob() override {}
    void ProcessMessages() override {}
    void SetWaitCursor(bool) override {}
    void RequestProgramEnd() override { endRequested = true; }
};

struct Session {
    std::vector<std::string> messages;
    AutoPrompts prompts{[this](const std::string& m) { messages.push_back(m); }};
    ConsoleJobView view;
    TfmTables store;
};

int Fail(const Session& s, const TArchiveJob& job) {
    std::string msg = s.messages.empty() ? "failed" : s.messages.back();
    if (!job.LastError().empty() && job.LastError() != msg) msg += " " + job.LastError();
    std::cerr << msg << "\n";
    return 1;
}

int RunBackupOrRestore(const CliArgs& a, bool backup) {
    std::vector<std::string> rest;
    Session s;
    for (const auto& arg : a.args) {
        if (arg == "-v") s.view.verbose = true;
        else rest.push_back(arg);
    }
    if (rest.size() != 1) {
        std::cerr << "usage: larderly-cli [--home DIR] " << (backup ? "backup" : "restore") << " [-v] FOLDER\n";
        return 2;
    }
    std::string folder = rest[0];
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    s.store.OpenDatabase(ProgramFolder());
    s.store.SetTablesOpen(true);
    TArchiveJob job(s.store, s.prompts, s.view, ProgramFolder());
    if (backup) {
        if (!job.BackupTables(folder)) return Fail(s, job);
        return 0;
    }
    if (!fileExists(ResolveDrivePath(folder) + kBackupArchiveName)) {
        std::cerr << "Backup file does not exist.\n";
        return 1;
    }
    if (!job.RestoreTables(folder) || !job.LastError().empty() || s.view.endRequested) return Fail(s, job);
    return 0;
}

CliRegistrar backupReg("backup", "backup [-v] FOLDER             back the data up into FOLDER (recipebackup.001 ...)",
                       [](const CliArgs& a) { return RunBackupOrRestore(a, true); });
CliRegistrar restoreReg("restore", "restore [-v] FOLDER            restore the data from the backup in FOLDER",
                        [](const CliArgs& a) { return RunBackupOrRestore(a, false); });

} // namespace
} // namespace larderly::cli
