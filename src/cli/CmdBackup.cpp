// larderly-cli backup FOLDER / restore FOLDER: the backup and restore jobs without windows;
// backup --cd burns the backup onto the disc in a drive as a new session. Questions are
// answered yes; messages and the burn's log lines go to stderr.
#include "cli/CliCommand.h"

#include "backup/ArchiveJob.h"
#include "backup/CDBackup.h"
#include "platform/AppPaths.h"
#include "platform/DriveMap.h"
#include "platform/FileUtil.h"
#include "platform/InstanceLock.h"
#include "platform/Prompts.h"
#include "store/Tables.h"

#include <iostream>
#include <mutex>
#include <unistd.h>

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
    // The indexes built after a restore take a while at a large size: said on a terminal
    // even without -v, as every command says it (output read by a script stays as it was).
    void IndexRebuild(const std::string& t) override {
        if (verbose || isatty(STDERR_FILENO)) std::cerr << t << std::endl;
    }
};

struct Session {
    std::vector<std::string> messages;
    AutoPrompts prompts{[this](const std::string& m) { messages.push_back(m); }};
    ConsoleJobView view;
    TfmTables store;
};

int Fail(const Session& s, const TArchiveJob& job) {
    std::string msg = s.messages.empty() ? "failed" : s.messages.back();
    // The job's messages carry its cause below their first line; one that does not gets it.
    if (msg.find(job.LastError()) == std::string::npos) msg += "\n" + job.LastError();
    std::cerr << msg << "\n";
    return 1;
}

// The drive list line a --drive value names: the line itself or the first line that starts
// with it (so "0:0:0" is enough); empty when none does.
std::string MatchDrive(const std::vector<std::string>& drives, const std::string& wanted) {
    if (wanted.empty()) return {};
    for (const auto& d : drives)
        if (d == wanted) return d;
    for (const auto& d : drives)
        if (d.rfind(wanted, 0) == 0) return d;
    return {};
}

// The CD backup's log on stderr, whichever thread writes it. Without a dispatcher the end
// of the burn is reported on the write thread; the command only waits for it.
class ConsoleCDView : public CDBackupView {
public:
    void Log(const std::string& line) {
        std::lock_guard<std::mutex> lock(lock_);
        std::cerr << line << "\n";
    }
    void BackupLog(const std::string& line) override { Log(line); }
    void BurnerDebugMessage(const std::string& message, uint8_t) override { Log(message); }
    void BurnWriteDone(const std::string& e) override {
        error = e;
        ended = true;
        Log(TCDBackup::DoneLine(e));
    }
    std::string error;
    bool ended = false;

private:
    std::mutex lock_;
};

// backup --cd: the CD backup's steps in order, the log on stderr, waiting for the burn's end.
int RunCDBackup(Session& s, const std::string& drive, const std::string& library) {
    // Declared before the burner: its write thread may still report into it while the
    // burner waits for it on the way out.
    ConsoleCDView view;
    TCDBackup cd(ProgramFolder(), &view);
    if (!cd.InitTransport(library)) return 1;
    std::string line = MatchDrive(cd.Drives(), drive);
    if (!line.empty()) cd.SelectDrive(line);
    try {
        cd.CheckDrive();
        s.store.OpenDatabase(ProgramFolder());
        s.store.SetTablesOpen(true);
        TArchiveJob job(s.store, s.prompts, s.view, ProgramFolder());
        TCDBackup::Outcome outcome =
            cd.Backup([&job](const std::string& folder) { return job.BackupTables(folder); });
        if (outcome == TCDBackup::Outcome::JobFailed) return Fail(s, job);
    } catch (const std::exception& e) {
        view.Log(e.what());
        return 1;
    }
    cd.WaitForBurn();
    if (!view.ended || !view.error.empty()) return 1;
    view.Log(CDText::kComplete);
    return 0;
}

int RunBackupOrRestore(const CliArgs& a, bool backup) {
    Session s;
    s.view.verbose = a.Has("-v");
    const std::string drive = a.Value("--drive"), library = a.Value("--aspi");
    if (a.Has("--cd")) {
        if (!a.args.empty() || drive.empty()) return UsageError(a);
        return RunCDBackup(s, drive, library);
    }
    if (a.args.size() != 1) return UsageError(a);
    std::string folder = a.args[0];
    // An empty folder would name the file system's root: refused as the dialogs refuse it.
    if (folder.empty()) {
        std::cerr << (backup ? JobText::kPathDoesNotExist : JobText::kEnterPath) << "\n";
        return 1;
    }
    folder = fileutil::IncludeTrailingSeparator(folder);
    // A restore replaces the table files under the program's open tables, whose later saves
    // would go to the replaced files: refused while the program runs on the folder, and the
    // folder held meanwhile so that the program does not start half-way.
    const std::string data = DataFolderOf(ProgramFolder());
    InstanceLock lock(data);
    if (!backup && fileutil::DirectoryExists(data) && !lock.TryLock("larderly-cli restore")) {
        if (!lock.Problem().empty()) {
            std::cerr << lock.Problem() << "\n";
            return 1;
        }
        std::string holder = InstanceLock::Holder(data);
        if (holder.empty()) holder = "another program";
        std::cerr << "The data folder " << data << " is in use by " << holder
                  << ": close it, then restore again.\n";
        return 1;
    }
    s.store.OpenDatabase(ProgramFolder());
    try {
        s.store.SetTablesOpen(true);
    } catch (const std::exception&) {
        // A table file missing or damaged: a restore is how it is mended, so it goes on
        // with the tables closed (a backup of such a set is never made).
        if (backup) throw;
    }
    TArchiveJob job(s.store, s.prompts, s.view, ProgramFolder());
    // A restore waits for an import at work rather than refusing: both end whole.
    job.RestoreLockWaitMs = -1;
    job.OnWaiting = [](const std::string& text) { std::cerr << text << "\n"; };
    if (backup) {
        if (!job.BackupTables(folder)) return Fail(s, job);
        return 0;
    }
    // A backup stopped half-way may have moved the set aside: it is put back first.
    RecoverInterruptedBackup(folder);
    if (!FileExists(ResolveDrivePath(folder) + kBackupArchiveName)) {
        std::cerr << JobText::kNoBackupFile << "\n";
        return 1;
    }
    if (!job.RestoreTables(folder) || !job.LastError().empty() || s.view.endRequested)
        return Fail(s, job);
    return 0;
}

} // namespace

CliCommand BackupCommand() {
    CliCommand c;
    c.name = "backup";
    c.forms = {"[-v] FOLDER", "[-v] --cd --drive [--aspi]"};
    c.summary = "back the data up into FOLDER (recipebackup.001 ...), or onto a disc";
    c.notes = {"--cd burns the backup onto the disc in a drive as a new session"};
    c.options = {
        {"-v", "", "show each step on stderr"},
        {"--cd", "", "burn the backup onto a disc"},
        {"--drive", "LINE", "the drive: its line in `burn --list` or its start", CliValue::One},
        {"--aspi", "LIBRARY", "the drive library to load", CliValue::One}};
    c.maxArgs = 1;
    c.run = [](const CliArgs& a) { return RunBackupOrRestore(a, true); };
    return c;
}

CliCommand RestoreCommand() {
    CliCommand c;
    c.name = "restore";
    c.forms = {"[-v] FOLDER"};
    c.summary = "restore the data from the backup in FOLDER";
    c.options = {{"-v", "", "show each step on stderr"}};
    c.minArgs = 1;
    c.maxArgs = 1;
    c.run = [](const CliArgs& a) { return RunBackupOrRestore(a, false); };
    return c;
}

} // namespace larderly::cli
