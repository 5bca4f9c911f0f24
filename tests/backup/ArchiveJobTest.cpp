// The backup and restore jobs without windows: round trips through a folder and through a
// diskette set in a mapped A: folder, an old backup in the folder, Cancel, damaged and
// missing segments, a set without every table file, and the inner archive read by lhasa.
// The final swap of a folder backup under injected failures, and the staging folders that
// interrupted jobs (killed child processes) leave behind.
#include "backup/ArchiveJob.h"

#include "RunCommand.h"
#include "ScriptedPrompts.h"
#include "TestHome.h"
#include "platform/StagingFolder.h"
#include "store/Labels.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace larderly {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RunCommand;
using testing::TestHome;
using testing::WriteFile;

// What the job window would show, kept for the test.
class RecordingView : public ArchiveJobView {
public:
    std::vector<std::string> label2;
    std::string caption;
    int lastPercent = -1;
    int shown = 0, hidden = 0;
    bool endRequested = false;
    std::function<void()> onPercent;

    void SetCaption(const std::string& t) override { caption = t; }
    void SetLabel1(const std::string&) override {}
    void SetLabel2(const std::string& t) override { label2.push_back(t); }
    void SetPercent(int p) override {
        lastPercent = p;
        if (onPercent) onPercent();
    }
    void ShowJob() override { ++shown; }
    void HideJob() override { ++hidden; }
    void ProcessMessages() override {}
    void SetWaitCursor(bool) override {}
    void RequestProgramEnd() override { endRequested = true; }
};

// Every recipe as "title|categories|text" lines, in identifier order.
std::vector<std::string> Dump(TfmTables& t) {
    std::vector<std::string> out;
    TTable& r = t.tblRecipes();
    for (r.First(); !r.Eof(); r.Next()) {
        t.LoadRecipe();
        std::string line = t.RecipeRec.Title + "|";
        for (int32_t c : t.RecipeRec.Category)
            line += std::to_string(c) + ",";
        for (const auto& l : t.RecipeText)
            line += "|" + l;
        out.push_back(line);
    }
    return out;
}

void AddRecipe(TfmTables& t, const std::string& title, const std::vector<std::string>& text,
               const std::string& category = {}) {
    t.ClearBuffers();
    t.RecipeRec.Title = title;
    if (!category.empty()) SetCategorySlot(t, 1, category);
    t.RecipeText = text;
    t.SaveRecipe();
}

// Text that lh5 cannot squeeze much: random letters and digits.
std::vector<std::string> NoisyText(std::mt19937& rng, int lines) {
    static const char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,";
    std::uniform_int_distribution<int> pick(0, sizeof kChars - 2);
    std::vector<std::string> out(lines);
    for (auto& l : out)
        for (int i = 0; i < 60; ++i)
            l += kChars[pick(rng)];
    return out;
}

std::string SegmentName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "recipebackup.%03d", n);
    return name;
}

class ArchiveJobTest : public ::testing::Test {
protected:
    ArchiveJobTest() {
        store.OpenDatabase(home.home());
        store.SetTablesOpen(true);
        Transaction tr(store);
        AddRecipe(store, "Pancakes", {"Flour, eggs, milk.", "Fry."}, "Breakfast");
        AddRecipe(store, "Crème brûlée", {"Cream and sugar."}, "Desserts");
        tr.Commit();
        fs::create_directories(backupDir);
    }

    TArchiveJob Job() { return TArchiveJob(store, prompts, view, home.home()); }

    // Changes the data so that a restore has something to undo.
    void ChangeData() {
        Transaction tr(store);
        AddRecipe(store, "Added later", {"x"});
        tr.Commit();
    }

    void FillForDiskettes() {
        std::mt19937 rng(7);
        Transaction tr(store);
        for (int i = 0; i < 700; ++i)
            AddRecipe(store, "Noise " + std::to_string(i), NoisyText(rng, 45));
        tr.Commit();
    }

    void MapDiskette(const std::string& folder) {
        fs::create_directories(folder);
        WriteFile(home.ini(), "[Drives]\nA=" + folder + "\n");
    }

    TestHome home;
    TfmTables store;
    ScriptedPrompts prompts;
    RecordingView view;
    std::string backupDir = home.path("backup");
};

TEST_F(ArchiveJobTest, BackupAndRestoreThroughAFolder) {
    const auto before = Dump(store);
    {
        auto job = Job();
        ASSERT_TRUE(job.BackupTables(backupDir + "/"));
    }
    EXPECT_EQ(view.caption, JobText::kBackupCaption);
    EXPECT_EQ(view.lastPercent, 100);
    EXPECT_TRUE(fs::exists(backupDir + "/recipebackup.001"));
    EXPECT_FALSE(fs::exists(backupDir + "/recipebackup.002"));
    // Only the set is left in the folder: no staging folder, nothing in temp.
    EXPECT_EQ(std::distance(fs::directory_iterator(backupDir), fs::directory_iterator{}), 1);
    EXPECT_TRUE(fs::is_empty(home.path("temp")));
    // The store is open again after the job.
    ChangeData();
    ASSERT_NE(Dump(store), before);

    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
        .answer(PromptAnswer::Ok, JobText::kTablesRestored);
    // The reopening after a backup builds nothing; after a restore it builds both indexes
    // afresh, and the job's status line says so while it does.
    auto rebuildLines = [&] {
        std::vector<std::string> lines;
        for (const std::string& l : view.label2)
            if (l.find("index") != std::string::npos) lines.push_back(l);
        return lines;
    };
    EXPECT_EQ(rebuildLines(), std::vector<std::string>{});
    {
        auto job = Job();
        EXPECT_TRUE(job.RestoreTables(backupDir + "/"));
        EXPECT_TRUE(job.LastError().empty()) << job.LastError();
    }
    const std::string recipes = std::to_string(store.SearchIndex().Search("").size());
    EXPECT_EQ(rebuildLines(), (std::vector<std::string>{
                                  "Rebuilding the search index of " + recipes + " recipes...",
                                  "The search index is rebuilt.",
                                  "Rebuilding the ingredient index of " + recipes + " recipes...",
                                  "The ingredient index is rebuilt."}));
    EXPECT_TRUE(prompts.failures().empty());
    EXPECT_EQ(Dump(store), before);
    EXPECT_FALSE(view.endRequested);
    EXPECT_EQ(view.shown, 2);
    EXPECT_EQ(view.hidden, 2);
    // The table files keep their lower-case names and nothing else is left in data/ (but the
    // search and ingredient indexes and their journals, which are derived from the tables and
    // never part of a backup, and the folder's lock file).
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(home.data())) {
        const std::string name = e.path().filename();
        if (name.rfind(kSearchIndexFile, 0) != 0 && name.rfind("ingredients.idx", 0) != 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"larderly.lock", "tbl101.nx1", "tbl102.nx1",
                                               "tbl103.nx1", "tbl104.nx1"}));
}

TEST_F(ArchiveJobTest, OldBackupIsReplacedOnlyWhenTheUserAgrees) {
    WriteFile(backupDir + "/recipebackup.001", "old backup");
    WriteFile(backupDir + "/recipebackup.002", "old second segment");
    prompts.answer(PromptAnswer::No, JobText::kOverwrite);
    EXPECT_FALSE(Job().BackupTables(backupDir + "/"));
    EXPECT_EQ(ReadFile(backupDir + "/recipebackup.001"), "old backup");

    prompts.answer(PromptAnswer::Yes, JobText::kOverwrite);
    EXPECT_TRUE(Job().BackupTables(backupDir + "/"));
    EXPECT_TRUE(prompts.done());
    EXPECT_NE(ReadFile(backupDir + "/recipebackup.001"), "old backup");
    EXPECT_FALSE(fs::exists(backupDir + "/recipebackup.002"))
        << "a segment of the old set stays behind";
}

TEST_F(ArchiveJobTest, CancelledBackupLeavesTheOldBackupAsItWas) {
    WriteFile(backupDir + "/recipebackup.001", "old backup");
    prompts.answer(PromptAnswer::Yes, JobText::kOverwrite)
        .answer(PromptAnswer::Ok, JobText::kBackupFailed);
    auto job = Job();
    view.onPercent = [&job] { job.Cancel(); };
    EXPECT_FALSE(job.BackupTables(backupDir + "/"));
    EXPECT_TRUE(prompts.done());
    EXPECT_EQ(ReadFile(backupDir + "/recipebackup.001"), "old backup");
    EXPECT_EQ(std::distance(fs::directory_iterator(backupDir), fs::directory_iterator{}), 1);
    // The store is usable again.
    EXPECT_EQ(Dump(store).size(), 2u);
}

TEST_F(ArchiveJobTest, FailedOrRefusedRestoresKeepTheData) {
    ASSERT_TRUE(Job().BackupTables(backupDir + "/"));
    const std::string set = ReadFile(backupDir + "/recipebackup.001");
    ChangeData();
    const auto changed = Dump(store);

    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool cancelOnProgress;
        std::vector<std::pair<PromptAnswer, std::string>> answers;
        bool result;
    };
    std::string damaged = set;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i)
        damaged[i] = static_cast<char>(~damaged[i]);
    const Case cases[] = {
        {"the user cancels the question",
         [] {},
         false,
         {{PromptAnswer::Cancel, JobText::kRestoreQuestion}},
         false},
        {"Cancel during the restore",
         [] {},
         true,
         {{PromptAnswer::Yes, JobText::kRestoreQuestion},
          {PromptAnswer::Ok, std::string(JobText::kRestoreFailed) + "\nThe restore was cancelled"}},
         true},
        {"a damaged segment",
         [&] { WriteFile(backupDir + "/recipebackup.001", damaged); },
         false,
         {{PromptAnswer::Yes, JobText::kRestoreQuestion},
          {PromptAnswer::Ok, std::string(JobText::kRestoreFailed) + "\nThe backup in " + backupDir +
                                 "/ cannot be read (its data "
                                 "does not match its check values): it is damaged"}},
         true},
        // A cut segment reads as a set that goes on: the next segment is asked for.
        {"a cut segment",
         [&] { WriteFile(backupDir + "/recipebackup.001", set.substr(0, set.size() - 100)); },
         false,
         {{PromptAnswer::Yes, JobText::kRestoreQuestion},
          {PromptAnswer::Cancel, "Unable to locate selected segment file."},
          {PromptAnswer::Ok, std::string(JobText::kRestoreFailed) + "\nThe backup in " + backupDir +
                                 "/ cannot be read (a part of "
                                 "the set is missing or cut short)"}},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(backupDir + "/recipebackup.001", set);
        c.arrange();
        for (const auto& [a, text] : c.answers)
            prompts.answer(a, text);
        auto job = Job();
        if (c.cancelOnProgress) view.onPercent = [&job] { job.Cancel(); };
        try {
            EXPECT_EQ(job.RestoreTables(backupDir + "/"), c.result);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what() << " after " << ::testing::PrintToString(prompts.messages());
        }
        view.onPercent = nullptr;
        EXPECT_TRUE(prompts.done());
        EXPECT_FALSE(view.endRequested);
        EXPECT_EQ(Dump(store), changed);
        EXPECT_TRUE(fs::is_empty(home.path("temp"))) << "the staging folder is removed";
    }
    EXPECT_TRUE(prompts.failures().empty());
    // The archive's own texts name neither the backup nor what to do.
    for (const auto& m : prompts.messages())
        for (const char* raw : {"Operation cancelled", "Stream ", "CRC"})
            EXPECT_EQ(m.find(raw), std::string::npos) << m;
}

TEST_F(ArchiveJobTest, RestoreWithoutAStagingFolderSaysSoAndKeepsTheData) {
    ASSERT_TRUE(Job().BackupTables(backupDir + "/"));
    ChangeData();
    const auto changed = Dump(store);
    // temp/ cannot hold a folder: a file of that name is in the way.
    fs::remove_all(home.path("temp"));
    WriteFile(home.path("temp"), "in the way");
    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion);
    try {
        Job().RestoreTables(backupDir + "/");
        ADD_FAILURE() << "the restore went on without its staging folder";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to create temp folder for restore");
    }
    EXPECT_TRUE(prompts.done());
    EXPECT_EQ(Dump(store), changed) << "the store is open again and unchanged";
}

TEST_F(ArchiveJobTest, SetWithoutEveryTableFileEndsTheProgramAndKeepsTheData) {
    // A set of three table files, written by the archive engine itself.
    fs::create_directories(home.path("three"));
    for (const char* f : {"tbl101.nx1", "tbl102.nx1", "tbl103.nx1"})
        fs::copy_file(home.data() + "/" + f, home.path("three/") + f);
    store.SetTablesOpen(false);
    {
        TSegArchive seg;
        seg.ArchiveType = caLHARC;
        seg.CompressionMethod = colh5;
        seg.SetSegBaseName(kBackupBaseName);
        seg.SetSegDir(backupDir);
        seg.SetSegSize(100000000);
        seg.SetTempArchivePath(home.path("three"));
        seg.OnSegPrompt = [](TSegArchive*, std::string&, const std::string&, uint16_t) {};
        seg.FilesToProcess = {home.path("three/tbl101.nx1"), home.path("three/tbl102.nx1"),
                              home.path("three/tbl103.nx1")};
        seg.Compress();
    }
    store.SetTablesOpen(true);
    const auto before = Dump(store);
    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
        .answer(PromptAnswer::Ok, JobText::kDataFilesNotFound);
    EXPECT_TRUE(Job().RestoreTables(backupDir + "/"));
    EXPECT_TRUE(prompts.done());
    EXPECT_TRUE(view.endRequested);
    EXPECT_EQ(Dump(store), before);
}

TEST_F(ArchiveJobTest, DisketteSetAcrossSegmentsRoundTrips) {
    FillForDiskettes();
    const std::string floppy = home.path("floppy");
    MapDiskette(floppy);
    const auto before = Dump(store);
    prompts.SetAutoAcknowledge(true);
    ASSERT_TRUE(Job().BackupTables("A:\\"));
    ASSERT_TRUE(fs::exists(floppy + "/recipebackup.002")) << "the set needs more than one diskette";
    EXPECT_LE(fs::file_size(floppy + "/recipebackup.001"), 1440000u);
    std::vector<std::string> inserts;
    for (const auto& m : prompts.messages())
        if (m.rfind(JobText::kInsertDisk, 0) == 0) inserts.push_back(m);
    ASSERT_GE(inserts.size(), 2u);
    EXPECT_EQ(inserts[0], "Insert disk 1");
    EXPECT_EQ(inserts[1], "Insert disk 2");
    EXPECT_NE(std::find(view.label2.begin(), view.label2.end(), JobText::kWritingToDisk),
              view.label2.end());

    // The inner archive, cut out of the set stream, is a plain LHA archive.
    std::string stream;
    for (int n = 1; fs::exists(floppy + "/" + SegmentName(n)); ++n) {
        const std::string seg = ReadFile(floppy + "/" + SegmentName(n));
        ASSERT_EQ(seg.substr(0, 4), "SSID");
        stream += seg.substr(6);
    }
    const std::size_t arc = stream.find("SARC");
    ASSERT_NE(arc, std::string::npos);
    WriteFile(home.path("inner.lzh"), stream.substr(arc + 8));
    const auto t = RunCommand("lhasa t " + home.path("inner.lzh"));
    EXPECT_EQ(t.status, 0) << t.out;

    ChangeData();
    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion);
    EXPECT_TRUE(Job().RestoreTables("a:/"));
    EXPECT_TRUE(prompts.failures().empty());
    EXPECT_EQ(Dump(store), before);
    EXPECT_EQ(prompts.messages().back(), JobText::kTablesRestored);
}

TEST_F(ArchiveJobTest, MissingDisketteSegmentFailsTheRestoreAndKeepsTheData) {
    FillForDiskettes();
    const std::string floppy = home.path("floppy");
    MapDiskette(floppy);
    prompts.SetAutoAcknowledge(true);
    ASSERT_TRUE(Job().BackupTables("A:\\"));
    ASSERT_TRUE(fs::remove(floppy + "/recipebackup.002"));
    ChangeData();
    const auto changed = Dump(store);
    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion)
        .answer(PromptAnswer::Cancel, "Unable to locate");
    EXPECT_TRUE(Job().RestoreTables("A:\\"));
    EXPECT_TRUE(prompts.failures().empty()) << prompts.failures().front();
    EXPECT_EQ(prompts.messages().back(),
              std::string(JobText::kRestoreFailed) + "\nThe backup in " + floppy +
                  "/ cannot be read (a part of the set is missing or cut short): it is damaged "
                  "or incomplete. Your data is left as it was; restore from another backup.");
    EXPECT_EQ(Dump(store), changed);
}

// The names of the folders in `folder` that have the staging folders' form.
std::vector<std::string> StagingFoldersIn(const std::string& folder) {
    std::vector<std::string> out;
    if (!fs::is_directory(folder)) return out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_directory() && IsStagingFolderName(e.path().filename())) out.push_back(e.path());
    return out;
}

// A staging folder as a process that has ended left it (no such process id, no lock).
std::string LeftOverStaging(const std::string& parent, const std::string& suffix = "AbC123") {
    const std::string dir = parent + "/" + kStagingPrefix + "999999999-" + suffix;
    fs::create_directories(dir);
    return dir;
}

TEST_F(ArchiveJobTest, FailedSwapStepLeavesTheOldSetAsItWas) {
    // Every move of the swap in turn fails: the two old segments going aside, the new one
    // coming in. Whatever step fails, the folder holds the old set alone afterwards.
    for (int failAt = 1; failAt <= 3; ++failAt) {
        SCOPED_TRACE("move " + std::to_string(failAt) + " fails");
        WriteFile(backupDir + "/recipebackup.001", "old 1");
        WriteFile(backupDir + "/recipebackup.002", "old 2");
        prompts.answer(PromptAnswer::Yes, JobText::kOverwrite)
            .answer(PromptAnswer::Ok, JobText::kBackupFailed);
        auto job = Job();
        int moves = 0;
        job.MoveSegment = [&](const std::string& from, const std::string& to) {
            return ++moves != failAt && fileutil::MoveFile(from, to);
        };
        EXPECT_FALSE(job.BackupTables(backupDir + "/"));
        EXPECT_TRUE(prompts.done());
        EXPECT_FALSE(job.LastError().empty());
        EXPECT_EQ(ReadFile(backupDir + "/recipebackup.001"), "old 1");
        EXPECT_EQ(ReadFile(backupDir + "/recipebackup.002"), "old 2");
        EXPECT_EQ(std::distance(fs::directory_iterator(backupDir), fs::directory_iterator{}), 2)
            << "only the old set, no staging folder";
    }
    // Without failures the new set replaces both old segments.
    prompts.answer(PromptAnswer::Yes, JobText::kOverwrite);
    ASSERT_TRUE(Job().BackupTables(backupDir + "/"));
    EXPECT_NE(ReadFile(backupDir + "/recipebackup.001"), "old 1");
    EXPECT_FALSE(fs::exists(backupDir + "/recipebackup.002"));
    EXPECT_TRUE(prompts.failures().empty());
}

TEST_F(ArchiveJobTest, SwapThatCannotMoveBackKeepsTheOldSetForTheNextRun) {
    WriteFile(backupDir + "/recipebackup.001", "old 1");
    prompts.answer(PromptAnswer::Yes, JobText::kOverwrite)
        .answer(PromptAnswer::Ok, JobText::kBackupFailed);
    auto job = Job();
    // The new segment cannot come in, and the old one cannot go back either.
    int moves = 0;
    job.MoveSegment = [&](const std::string& from, const std::string& to) {
        ++moves;
        return moves == 1 && fileutil::MoveFile(from, to);
    };
    EXPECT_FALSE(job.BackupTables(backupDir + "/"));
    const auto kept = StagingFoldersIn(backupDir);
    ASSERT_EQ(kept.size(), 1u) << "the staging folder holding the old set stays";
    EXPECT_FALSE(fs::exists(backupDir + "/recipebackup.001"));
    EXPECT_TRUE(RecoverBackupStaging(kept[0], backupDir));
    EXPECT_EQ(ReadFile(backupDir + "/recipebackup.001"), "old 1");
}

TEST_F(ArchiveJobTest, StartUpCleanUpPutsBackWhatAnInterruptedBackupMovedAside) {
    // Staging folders as a backup leaves them when it is killed at each point of its run.
    struct Case {
        const char* what;
        std::function<void(const std::string& staging)> arrange;
        std::vector<std::pair<std::string, std::string>> expected; // segment, text
    } cases[] = {
        {"during the compression",
         [&](const std::string& st) {
             WriteFile(backupDir + "/recipebackup.001", "old 1");
             WriteFile(st + "/recipebackup.001", "half a new segment");
         },
         {{"recipebackup.001", "old 1"}}},
        {"while the old set moves aside",
         [&](const std::string& st) {
             fs::create_directories(st + "/old.part");
             WriteFile(st + "/old.part/recipebackup.001", "old 1");
             WriteFile(backupDir + "/recipebackup.002", "old 2");
             WriteFile(st + "/recipebackup.001", "new 1");
         },
         {{"recipebackup.001", "old 1"}, {"recipebackup.002", "old 2"}}},
        {"while the new set moves in",
         [&](const std::string& st) {
             fs::create_directories(st + "/old");
             WriteFile(st + "/old/recipebackup.001", "old 1");
             WriteFile(st + "/old/recipebackup.002", "old 2");
             WriteFile(backupDir + "/recipebackup.001", "new 1");
             WriteFile(st + "/recipebackup.002", "new 2");
         },
         {{"recipebackup.001", "old 1"}, {"recipebackup.002", "old 2"}}},
        {"while the old set is deleted",
         [&](const std::string& st) {
             fs::create_directories(st + "/old.drop");
             WriteFile(st + "/old.drop/recipebackup.002", "old 2");
             WriteFile(backupDir + "/recipebackup.001", "new 1");
         },
         {{"recipebackup.001", "new 1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(backupDir);
        fs::remove_all(home.path("temp"));
        fs::create_directories(backupDir);
        c.arrange(LeftOverStaging(backupDir));
        LeftOverStaging(home.path("temp"), "rEsToR");
        // Neither a folder of a running job nor someone else's folder is touched.
        StagingFolder live = StagingFolder::Create(backupDir);
        ASSERT_FALSE(live.empty());
        fs::create_directories(backupDir + "/larderly-photos");

        CleanUpInterruptedJobs(home.home(), backupDir);

        EXPECT_TRUE(StagingFoldersIn(home.path("temp")).empty());
        EXPECT_EQ(StagingFoldersIn(backupDir), std::vector<std::string>{live.path()});
        EXPECT_TRUE(fs::is_directory(backupDir + "/larderly-photos"));
        std::vector<std::pair<std::string, std::string>> segments;
        for (const auto& e : fs::directory_iterator(backupDir))
            if (e.is_regular_file()) segments.emplace_back(e.path().filename(), ReadFile(e.path()));
        std::sort(segments.begin(), segments.end());
        EXPECT_EQ(segments, c.expected);
    }
}

// Runs larderly-cli with `args` as a child process and kills it with SIGKILL as soon as a
// staging folder shows up in `watched`. False when the child ended before that.
bool KillWhenStaging(const std::string& home, const std::vector<std::string>& args,
                     const std::string& watched) {
    std::vector<std::string> argv = {"larderly-cli", "--home", home};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const std::string program = testing::BuiltProgram("larderly-cli");
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    bool seen = false;
    for (;;) {
        if (!StagingFoldersIn(watched).empty()) {
            seen = true;
            ::kill(pid, SIGKILL);
            break;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return seen && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST_F(ArchiveJobTest, KilledBackupAndRestoreLeaveStagingThatTheNextRunRemoves) {
    FillForDiskettes(); // enough data for the jobs to take a while
    ASSERT_TRUE(Job().BackupTables(backupDir + "/"));
    const std::string set = ReadFile(backupDir + "/recipebackup.001");
    const auto data = Dump(store);
    store.SetTablesOpen(false);
    const std::string cli = testing::BuiltProgram("larderly-cli") + " --home " + home.home();

    // A backup killed while it writes the new set: the old set and the data stay, and the
    // staging folder stays behind until the next backup.
    ASSERT_TRUE(KillWhenStaging(home.home(), {"backup", backupDir}, backupDir));
    EXPECT_EQ(StagingFoldersIn(backupDir).size(), 1u);
    EXPECT_EQ(ReadFile(backupDir + "/recipebackup.001"), set);
    const auto next = RunCommand(cli + " backup " + backupDir);
    EXPECT_EQ(next.status, 0) << next.out;
    EXPECT_TRUE(StagingFoldersIn(backupDir).empty());
    EXPECT_TRUE(fs::exists(backupDir + "/recipebackup.001"));

    // A restore killed while it expands into temp/: the data stays, and the next restore
    // removes the staging folder.
    ASSERT_TRUE(KillWhenStaging(home.home(), {"restore", backupDir}, home.path("temp")));
    EXPECT_EQ(StagingFoldersIn(home.path("temp")).size(), 1u);
    store.SetTablesOpen(true);
    EXPECT_EQ(Dump(store), data);
    store.SetTablesOpen(false);
    const auto again = RunCommand(cli + " restore " + backupDir);
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_TRUE(StagingFoldersIn(home.path("temp")).empty());

    // A left-over restore staging folder also goes at start-up.
    ASSERT_TRUE(KillWhenStaging(home.home(), {"restore", backupDir}, home.path("temp")));
    ASSERT_EQ(StagingFoldersIn(home.path("temp")).size(), 1u);
    CleanUpInterruptedJobs(home.home(), backupDir);
    EXPECT_TRUE(StagingFoldersIn(home.path("temp")).empty());
    store.SetTablesOpen(true);
    EXPECT_EQ(Dump(store), data);
}

} // namespace
} // namespace larderly
