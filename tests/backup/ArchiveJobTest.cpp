// The backup and restore jobs without windows: round trips through a folder and through a
// diskette set in a mapped A: folder, an old backup in the folder, Cancel, damaged and
// missing segments, a set without every table file, and the inner archive read by lhasa.
#include "backup/ArchiveJob.h"

#include "RunCommand.h"
#include "TestHome.h"
#include "platform/Prompts.h"
#include "store/Labels.h"
#include "store/Tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

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
        for (int32_t c : t.RecipeRec.Category) line += std::to_string(c) + ",";
        for (const auto& l : t.RecipeText) line += "|" + l;
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
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,";
    std::uniform_int_distribution<int> pick(0, sizeof kChars - 2);
    std::vector<std::string> out(lines);
    for (auto& l : out)
        for (int i = 0; i < 60; ++i) l += kChars[pick(rng)];
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
        for (int i = 0; i < 700; ++i) AddRecipe(store, "Noise " + std::to_string(i), NoisyText(rng, 45));
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

    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion).answer(PromptAnswer::Ok, JobText::kTablesRestored);
    {
        auto job = Job();
        EXPECT_TRUE(job.RestoreTables(backupDir + "/"));
        EXPECT_TRUE(job.LastError().empty()) << job.LastError();
    }
    EXPECT_TRUE(prompts.failures().empty());
    EXPECT_EQ(Dump(store), before);
    EXPECT_FALSE(view.endRequested);
    EXPECT_EQ(view.shown, 2);
    EXPECT_EQ(view.hidden, 2);
    // The table files keep their lower-case names and nothing else is left in data/.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(home.data())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"tbl101.nx1", "tbl102.nx1", "tbl103.nx1", "tbl104.nx1"}));
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
    EXPECT_FALSE(fs::exists(backupDir + "/recipebackup.002")) << "a segment of the old set stays behind";
}

TEST_F(ArchiveJobTest, CancelledBackupLeavesTheOldBackupAsItWas) {
    WriteFile(backupDir + "/recipebackup.001", "old backup");
    prompts.answer(PromptAnswer::Yes, JobText::kOverwrite).answer(PromptAnswer::Ok, JobText::kBackupFailed);
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
    for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] = static_cast<char>(~damaged[i]);
    const Case cases[] = {
        {"the user cancels the question", [] {}, false, {{PromptAnswer::Cancel, JobText::kRestoreQuestion}}, false},
        {"Cancel during the restore", [] {}, true,
         {{PromptAnswer::Yes, JobText::kRestoreQuestion}, {PromptAnswer::Ok, JobText::kRestoreFailed}}, true},
        {"a damaged segment", [&] { WriteFile(backupDir + "/recipebackup.001", damaged); }, false,
         {{PromptAnswer::Yes, JobText::kRestoreQuestion}, {PromptAnswer::Ok, JobText::kRestoreFailed}}, true},
        // A cut segment reads as a set that goes on: the next segment is asked for.
        {"a cut segment", [&] { WriteFile(backupDir + "/recipebackup.001", set.substr(0, set.size() - 100)); }, false,
         {{PromptAnswer::Yes, JobText::kRestoreQuestion},
          {PromptAnswer::Cancel, "Unable to locate selected segment file."},
          {PromptAnswer::Ok, JobText::kRestoreFailed}},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(backupDir + "/recipebackup.001", set);
        c.arrange();
        for (const auto& [a, text] : c.answers) prompts.answer(a, text);
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
    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion).answer(PromptAnswer::Ok, JobText::kDataFilesNotFound);
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
    prompts.setAutoAcknowledge(true);
    ASSERT_TRUE(Job().BackupTables("A:\\"));
    ASSERT_TRUE(fs::exists(floppy + "/recipebackup.002")) << "the set needs more than one diskette";
    EXPECT_LE(fs::file_size(floppy + "/recipebackup.001"), 1440000u);
    std::vector<std::string> inserts;
    for (const auto& m : prompts.messages())
        if (m.rfind(JobText::kInsertDisk, 0) == 0) inserts.push_back(m);
    ASSERT_GE(inserts.size(), 2u);
    EXPECT_EQ(inserts[0], "Insert disk 1");
    EXPECT_EQ(inserts[1], "Insert disk 2");
    EXPECT_NE(std::find(view.label2.begin(), view.label2.end(), JobText::kWritingToDisk), view.label2.end());

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
    prompts.setAutoAcknowledge(true);
    ASSERT_TRUE(Job().BackupTables("A:\\"));
    ASSERT_TRUE(fs::remove(floppy + "/recipebackup.002"));
    ChangeData();
    const auto changed = Dump(store);
    prompts.answer(PromptAnswer::Yes, JobText::kRestoreQuestion).answer(PromptAnswer::Cancel, "Unable to locate");
    EXPECT_TRUE(Job().RestoreTables("A:\\"));
    EXPECT_TRUE(prompts.failures().empty()) << prompts.failures().front();
    EXPECT_EQ(prompts.messages().back(), JobText::kRestoreFailed);
    EXPECT_EQ(Dump(store), changed);
}

} // namespace
} // namespace larderly
