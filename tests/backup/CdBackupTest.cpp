// The backup to CD without windows, against the simulated CD-R writer: the archive job into
// the temp folder, the one-file session, the settings written once the burn has started,
// later sessions, drive faults and the failures before the burn; and `backup --cd` of the
// command line, whose disc restores into a fresh program folder with the same recipes.
#include "backup/CDBackup.h"
#include "ScriptedPrompts.h"
#include "backup/ArchiveJob.h"
#include "platform/DayNumber.h"
#include "platform/Settings.h"
#include "store/Labels.h"
#include "store/Tables.h"

#include "RunCommand.h"
#include "TestHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace larderly {
namespace {

namespace fs = std::filesystem;
using testing::BuiltProgram;
using testing::CommandResult;
using testing::ReadFile;
using testing::RunCommand;
using testing::TestHome;
using testing::WriteFile;

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool HaveTool(const char* tool) {
    return RunCommand(std::string("command -v ") + tool + " >/dev/null").status == 0;
}

class SilentJobView : public ArchiveJobView {
public:
    void SetCaption(const std::string&) override {}
    void SetLabel1(const std::string&) override {}
    void SetLabel2(const std::string&) override {}
    void SetPercent(int) override {}
    void ShowJob() override {}
    void HideJob() override {}
    void ProcessMessages() override {}
    void SetWaitCursor(bool) override {}
    void RequestProgramEnd() override {}
};

// Hands the end of the burn to the test's thread the way the dialog hands it to the
// user-interface thread: the write thread waits until the test thread has run it.
// What the backup tells its view, handed to the test's own functions (each may be empty).
class RecordingView : public CDBackupView {
public:
    std::function<void(const std::string&)> log, debug, done;
    std::function<void(uint32_t)> starting;
    void BackupLog(const std::string& line) override {
        if (log) log(line);
    }
    void BurnerDebugMessage(const std::string& message, uint8_t) override {
        if (debug) debug(message);
    }
    void BurnStarting(uint32_t trackSectors) override {
        if (starting) starting(trackSectors);
    }
    void BurnWriteDone(const std::string& error) override {
        if (done) done(error);
    }
};

class PumpedDispatcher : public UiDispatcher {
public:
    void Invoke(const std::function<void()>& fn) override {
        std::unique_lock<std::mutex> l(lock_);
        pending_ = fn;
        ran_ = false;
        cv_.notify_all();
        cv_.wait(l, [this] { return ran_; });
    }
    // Runs what is handed over on the calling thread until `until` holds (at most 60 s).
    void PumpUntil(const std::function<bool()>& until) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::unique_lock<std::mutex> l(lock_);
        while (!until() && std::chrono::steady_clock::now() < deadline) {
            cv_.wait_for(l, std::chrono::milliseconds(10), [this] { return bool(pending_); });
            if (!pending_) continue;
            auto fn = std::move(pending_);
            pending_ = nullptr;
            l.unlock();
            fn();
            l.lock();
            ran_ = true;
            cv_.notify_all();
        }
    }

private:
    std::mutex lock_;
    std::condition_variable cv_;
    std::function<void()> pending_;
    bool ran_ = false;
};

void SeedRecipes(const std::string& home,
                 const std::vector<std::pair<std::string, std::string>>& recipes) {
    TfmTables t;
    t.OpenDatabase(home);
    t.SetTablesOpen(true);
    Transaction tr(t);
    for (const auto& [title, category] : recipes) {
        t.ClearBuffers();
        t.RecipeRec.Title = title;
        SetCategorySlot(t, 1, category);
        t.RecipeText = {"1 cup of " + title, "Stir well."};
        t.SaveRecipe();
    }
    tr.Commit();
    t.SetTablesOpen(false);
}

// The start sectors of the disc's tracks, from the simulated drive's state file.
std::vector<uint32_t> TrackStarts(const std::string& image) {
    std::vector<uint32_t> out;
    std::ifstream in(image + ".state");
    std::string line;
    while (std::getline(in, line)) {
        // track <number> <session> <start> <recorded> <size> <complete> <reserved>
        std::istringstream fields(line);
        std::string key;
        uint32_t number = 0, session = 0, start = 0;
        if (fields >> key >> number >> session >> start && key == "track") out.push_back(start);
    }
    return out;
}

class CdBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = BuiltProgram("libvirtualdrive.so");
        if (!fs::exists(library)) GTEST_SKIP() << "the simulated writer is not built";
        setenv("LARDERLY_ASPI_LIBRARY", library.c_str(), 1);
        image = home.path("disc.img");
        setenv("LARDERLY_VDRIVE_IMAGE", image.c_str(), 1);
        setenv("LARDERLY_VDRIVE_MEDIA", "cdr", 1);
        unsetenv("LARDERLY_VDRIVE_FAULTS");
        SeedRecipes(
            home.home(),
            {{"Apple Pie", "Desserts"}, {"Bean Soup", "Soups"}, {"Carrot Cake", "Desserts"}});
    }
    void TearDown() override {
        unsetenv("LARDERLY_VDRIVE_IMAGE");
        unsetenv("LARDERLY_VDRIVE_FAULTS");
        unsetenv("LARDERLY_ASPI_LIBRARY");
    }

    // What one backup to CD did.
    struct Run {
        TCDBackup::Outcome outcome = TCDBackup::Outcome::JobFailed;
        uint32_t trackSectors = 0;
        std::vector<std::string> log;
        bool ended = false;
        std::string error;
        long long dateAtEnd = -2; // "BDate" as the end of the burn found it
        bool toCDAtEnd = false;
        std::string archive; // the archive in temp/ as the burn started
    };

    std::string FirstDrive() {
        TCDBackup probe(home.home(), nullptr);
        if (!probe.InitTransport() || probe.Drives().empty()) return {};
        return probe.Drives().front();
    }

    // The dialog's steps in order with the real backup job; waits for the end of the burn.
    Run Backup() {
        Run r;
        std::mutex lock;
        auto log = [&](const std::string& line) {
            std::lock_guard<std::mutex> g(lock);
            r.log.push_back(line);
        };
        RecordingView cdView;
        cdView.log = log;
        cdView.debug = log;
        cdView.done = [&](const std::string& e) {
            r.ended = true;
            r.error = e;
            r.dateAtEnd = ReadBackupDate();
            r.toCDAtEnd = ReadBackupToCD();
            log(TCDBackup::DoneLine(e));
        };
        TCDBackup cd(home.home(), &cdView);
        PumpedDispatcher dispatcher;
        cd.SetDispatcher(&dispatcher);
        cd.SetSleeper([](uint32_t) {});
        EXPECT_TRUE(cd.InitTransport());
        EXPECT_FALSE(cd.Drives().empty());
        if (!cd.Drives().empty()) cd.SelectDrive(cd.Drives().front());
        cd.CheckDrive();

        TfmTables store;
        store.OpenDatabase(home.home());
        store.SetTablesOpen(true);
        SilentJobView view;
        TArchiveJob job(store, prompts, view, home.home());
        cdView.starting = [&r, &cd](uint32_t sectors) {
            r.trackSectors = sectors;
            r.archive = ReadFile(cd.ArchivePath());
        };
        r.outcome =
            cd.Backup([&job](const std::string& folder) { return job.BackupTables(folder); });
        if (r.outcome == TCDBackup::Outcome::BurnStarted)
            dispatcher.PumpUntil([&r] { return r.ended; });
        cd.WaitForBurn();
        return r;
    }

    static bool Logged(const Run& r, const std::string& text) {
        for (const auto& l : r.log)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    TestHome home;
    ScriptedPrompts prompts; // nothing scripted: the job must not ask anything
    std::string library, image;
};

TEST_F(CdBackupTest, BackupBurnsTheArchiveAloneIntoANewSession) {
    // An archive left by an earlier backup goes without the overwrite question.
    fs::create_directories(home.path("temp"));
    WriteFile(home.path("temp/recipebackup.001"), "left over from last time");

    Run r = Backup();
    ASSERT_EQ(r.outcome, TCDBackup::Outcome::BurnStarted);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.error, "");
    EXPECT_TRUE(prompts.asked().empty()) << prompts.asked().front().text;
    EXPECT_GE(r.trackSectors, 300u);

    const std::string archive = home.path("temp/recipebackup.001");
    ASSERT_NE(r.archive, "left over from last time");
    EXPECT_FALSE(fs::exists(archive)) << "the archive in temp/ goes once it is on the disc";
    ASSERT_FALSE(r.log.empty());
    EXPECT_TRUE(Logged(r, CDText::kSelecting + std::string("0:0:0,?: LARDERLY")))
        << ::testing::PrintToString(r.log);
    EXPECT_TRUE(Logged(r, std::string(">>> INSERTING FILE \"") + archive + "\""))
        << ::testing::PrintToString(r.log);
    EXPECT_EQ(r.log.back(), ">>> Backup DONE, Successful!");

    // The settings were written when the burn started, before its end was reported.
    EXPECT_EQ(r.dateAtEnd, TodayDayNumber());
    EXPECT_TRUE(r.toCDAtEnd);

    if (!HaveTool("isoinfo")) GTEST_SKIP() << "isoinfo missing";
    CommandResult files = RunCommand("isoinfo -J -f -i " + Quote(image));
    ASSERT_EQ(files.status, 0) << files.out;
    EXPECT_EQ(files.out, "/recipebackup.001;1\n");
    std::string extracted = home.path("extracted.001");
    ASSERT_EQ(RunCommand("isoinfo -J -i " + Quote(image) + " -x '/recipebackup.001;1' > " +
                         Quote(extracted))
                  .status,
              0);
    EXPECT_EQ(ReadFile(extracted), r.archive);
}

TEST_F(CdBackupTest, SecondBackupAddsASessionAfterTheFirst) {
    if (!HaveTool("isoinfo")) GTEST_SKIP() << "isoinfo missing";
    Run first = Backup();
    ASSERT_EQ(first.error, "");
    std::string firstArchive = first.archive;

    SeedRecipes(home.home(), {{"Dumplings", "Mains"}});
    Run second = Backup();
    ASSERT_EQ(second.outcome, TCDBackup::Outcome::BurnStarted);
    ASSERT_EQ(second.error, "") << ::testing::PrintToString(second.log);
    std::string secondArchive = second.archive;
    ASSERT_NE(firstArchive, secondArchive);

    std::vector<uint32_t> starts = TrackStarts(image);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0], 0u);
    EXPECT_GT(starts[1], 300u);
    struct Case {
        uint32_t start;
        const std::string* content;
    } sessions[] = {{starts[0], &firstArchive}, {starts[1], &secondArchive}};
    for (const Case& c : sessions) {
        std::string at = " -T " + std::to_string(c.start) + " -J -i " + Quote(image);
        CommandResult files = RunCommand("isoinfo" + at + " -f");
        EXPECT_EQ(files.out, "/recipebackup.001;1\n") << "session at " << c.start;
        std::string out = home.path("session-" + std::to_string(c.start));
        ASSERT_EQ(RunCommand("isoinfo" + at + " -x '/recipebackup.001;1' > " + Quote(out)).status,
                  0);
        EXPECT_EQ(ReadFile(out), *c.content) << "session at " << c.start;
    }
}

TEST_F(CdBackupTest, SettingsThatCannotBeWrittenDoNotStopTheStartedBurn) {
    // The settings folder's place is taken by a file: the date cannot be stored. The burn
    // has started by then and must still run to its end and be reported.
    WriteFile(home.path("blocked"), "");
    setenv("LARDERLY_WINDIR", home.path("blocked/win").c_str(), 1);
    Run r = Backup();
    EXPECT_EQ(r.outcome, TCDBackup::Outcome::BurnStarted);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.error, "");
    EXPECT_TRUE(Logged(r, CDText::kSettingsNotWritten)) << ::testing::PrintToString(r.log);
    EXPECT_EQ(r.log.back(), ">>> Backup DONE, Successful!");
}

TEST_F(CdBackupTest, DriveFaultEndsTheBurnWithItsText) {
    struct Case {
        const char* faults;
        const char* text;
    } cases[] = {
        {"medium-error=200", "WRITER ERROR [MEDIUM ERROR (WRITE ERROR)]"},
        {"no-media", "MEDIUM NOT PRESENT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults);
        fs::remove(image);
        fs::remove(image + ".state");
        setenv("LARDERLY_VDRIVE_FAULTS", c.faults, 1);
        Run r = Backup();
        ASSERT_NE(r.outcome, TCDBackup::Outcome::JobFailed);
        ASSERT_TRUE(r.ended);
        EXPECT_NE(r.error.find(c.text), std::string::npos) << r.error;
        EXPECT_EQ(r.log.back(), std::string(">>> Backup Failed, ") + r.error);
        EXPECT_FALSE(Logged(r, CDText::kDone));
    }
}

TEST_F(CdBackupTest, NothingIsBurnedWhenThePreparationFails) {
    std::vector<std::string> log;
    bool burned = false;
    RecordingView view;
    view.log = [&log](const std::string& l) { log.push_back(l); };
    view.done = [&burned](const std::string&) { burned = true; };
    TCDBackup cd(home.home(), &view);
    ASSERT_TRUE(cd.InitTransport());
    ASSERT_FALSE(cd.Drives().empty());
    cd.SelectDrive(cd.Drives().front());
    int jobs = 0;

    // The job reports failure: no image, no settings.
    EXPECT_EQ(cd.Backup([&jobs](const std::string&) { return ++jobs, false; }),
              TCDBackup::Outcome::JobFailed);
    EXPECT_EQ(jobs, 1);

    // The job claims success but left no archive: an empty session must not be burned.
    try {
        cd.Backup([&jobs](const std::string&) { return ++jobs, true; });
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(CDText::kNotAdded), std::string::npos) << e.what();
    }

    // The temp folder cannot be made: the job does not run.
    fs::remove_all(home.path("temp"));
    WriteFile(home.path("temp"), "a file where the folder belongs");
    try {
        cd.Backup([&jobs](const std::string&) { return ++jobs, true; });
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to create temp folder for backup");
    }
    EXPECT_EQ(jobs, 2);

    EXPECT_FALSE(burned);
    EXPECT_FALSE(fs::exists(image) && fs::file_size(image) > 0);
    EXPECT_EQ(ReadBackupDate(), -1);
    EXPECT_FALSE(ReadBackupToCD());
}

TEST_F(CdBackupTest, WithoutADriveTheBackupRaisesNoCDWriterFound) {
    // The simulated library without a disc image has no adapter and no drive.
    unsetenv("LARDERLY_VDRIVE_IMAGE");
    std::vector<std::string> log;
    RecordingView view;
    view.log = [&log](const std::string& l) { log.push_back(l); };
    TCDBackup cd(home.home(), &view);
    ASSERT_TRUE(cd.InitTransport());
    EXPECT_TRUE(cd.Drives().empty());
    EXPECT_FALSE(cd.DriveSelected());
    struct Case {
        const char* line; // selected first, "" for none
    } cases[] = {{""}, {"0:5:0,?: NO SUCH DRIVE"}};
    for (const Case& c : cases) {
        if (*c.line) cd.SelectDrive(c.line);
        EXPECT_FALSE(cd.DriveSelected()) << c.line;
        try {
            cd.CheckDrive();
            ADD_FAILURE() << "no error raised for \"" << c.line << "\"";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "No CD Writer found");
        }
    }
}

TEST(CdBackupText, LinesOfTheLog) {
    EXPECT_EQ(TCDBackup::DoneLine(""), ">>> Backup DONE, Successful!");
    EXPECT_EQ(TCDBackup::DoneLine("WRITER ERROR [X]"), ">>> Backup Failed, WRITER ERROR [X]");
    std::string aspi = AspiErrorLine();
    EXPECT_EQ(aspi.rfind(">>> Error initializing ASPI Layer, Please visit support page, ", 0), 0u);
    EXPECT_EQ(aspi.substr(aspi.size() - 21), " for more information");
}

// The command line: a backup burned onto the disc comes back with `restore` from what
// isoinfo extracts, into a program folder of its own.
class CdBackupCliTest : public CdBackupTest {
protected:
    std::string Cli(const std::string& home, const std::string& args) {
        return "LARDERLY_VDRIVE_IMAGE=" + Quote(image) + " " + Quote(BuiltProgram("larderly-cli")) +
               " --home " + Quote(home) + " " + args;
    }
};

TEST_F(CdBackupCliTest, DiscRestoresIntoAFreshProgramFolder) {
    if (!HaveTool("isoinfo")) GTEST_SKIP() << "isoinfo missing";
    std::string drive = FirstDrive();
    ASSERT_FALSE(drive.empty());
    CommandResult burn = RunCommand(Cli(home.home(), "backup --cd --drive " + Quote(drive)));
    ASSERT_EQ(burn.status, 0) << burn.out;
    EXPECT_NE(burn.out.find(">>> SELECTING " + drive), std::string::npos) << burn.out;
    EXPECT_NE(burn.out.find(">>> Backup DONE, Successful!"), std::string::npos) << burn.out;
    EXPECT_EQ(ReadBackupDate(), TodayDayNumber());
    EXPECT_TRUE(ReadBackupToCD());

    std::string fromDisc = home.path("fromdisc");
    fs::create_directories(fromDisc);
    ASSERT_EQ(RunCommand("isoinfo -J -i " + Quote(image) + " -x '/recipebackup.001;1' > " +
                         Quote(fromDisc + "/recipebackup.001"))
                  .status,
              0);
    std::string fresh = home.path("fresh/");
    fs::create_directories(fresh);
    CommandResult restore = RunCommand(Cli(fresh, "restore " + Quote(fromDisc)));
    ASSERT_EQ(restore.status, 0) << restore.out;

    CommandResult before = RunCommand(Cli(home.home(), "list 2>/dev/null"));
    CommandResult after = RunCommand(Cli(fresh, "list 2>/dev/null"));
    ASSERT_EQ(before.status, 0);
    EXPECT_NE(before.out.find("Bean Soup\tSoups;;;"), std::string::npos) << before.out;
    EXPECT_EQ(after.out, before.out);
}

TEST_F(CdBackupCliTest, RefusalsBeforeTheBurn) {
    bool drives = RunCommand("ls /dev/sr* >/dev/null 2>&1").status == 0;
    struct Case {
        const char* env;
        const char* args;
        int status;
        const char* text;
    } cases[] = {
        {"", "backup --cd --drive '9:9:9'", 1, "No CD Writer found"},
        {"", "backup --cd", 2, "usage:"},
        {"LARDERLY_ASPI_LIBRARY=/nonexistent.so ", "backup --cd --drive 0:0:0", 1,
         ">>> Error initializing ASPI Layer, Please visit support page, "},
    };
    for (const Case& c : cases) {
        if (drives && std::string(c.env).find("nonexistent") != std::string::npos) continue;
        CommandResult r = RunCommand(c.env + Cli(home.home(), c.args));
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << c.args << "\n" << r.out;
    }
    EXPECT_FALSE(fs::exists(image) && fs::file_size(image) > 0);
    EXPECT_EQ(ReadBackupDate(), -1);
}

} // namespace
} // namespace larderly
