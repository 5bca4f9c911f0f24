// A backup of a store of 100 000 recipes (close the store, compress the four table files
// into a segment set, open the store again) against compressing the same four files with
// the archive component alone: as a segment set, and as a plain archive. The jlha tool
// compressing the same files is measured too when it is installed. The backup and the
// restore of that set are also set against `tar czf` / `tar xzf` of the same four files in
// the same run (wall time; target: no slower than tar).
#include "BenchRatio.h"
#include "archive/LhaArchive.h"
#include "archive/SegArchive.h"
#include "backup/ArchiveJob.h"
#include "platform/FileUtil.h"
#include "platform/Prompts.h"
#include "store/Tables.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace larderly;

namespace {

constexpr int kRecipes = 100000;

struct Bench {
    std::string root; // ends in "/"
    std::string home; // program folder: data/ and temp/
    std::vector<std::string> tables;
};

// The store, built once per run.
const Bench& Setup() {
    static Bench b = [] {
        char tmpl[] = "/tmp/larderly-backup-bench-XXXXXX";
        Bench s;
        s.root = std::string(mkdtemp(tmpl)) + "/";
        s.home = s.root + "home/";
        // Keep the settings file (drive map) out of the user's configuration.
        setenv("LARDERLY_WINDIR", (s.root + "win/").c_str(), 1);
        std::filesystem::create_directories(s.home);
        TfmTables t;
        t.OpenDatabase(s.home);
        t.SetTablesOpen(true);
        Transaction tx(t);
        static const char* words[] = {"chopped", "onion", "butter", "simmer", "flour", "salt",
                                      "pepper",  "stir",  "garlic", "oven",   "bake",  "minutes",
                                      "tomato",  "cream", "sugar",  "whisk"};
        for (int i = 0; i < kRecipes; ++i) {
            t.ClearBuffers();
            t.RecipeRec.Title = "Recipe number " + std::to_string(i * 7919 % kRecipes);
            t.RecipeRec.Category = {i % 40 + 1, (i + 3) % 40 + 1, -1, -1};
            std::vector<std::string> text;
            unsigned x = static_cast<unsigned>(i) * 2654435761u;
            for (int line = 0; line < 8; ++line) {
                std::string l = std::to_string(line + 1) + " ";
                for (int w = 0; w < 7; ++w) {
                    x = x * 1103515245u + 12345u;
                    l += words[(x >> 16) % 16];
                    l += ' ';
                }
                text.push_back(std::move(l));
            }
            t.RecipeText = std::move(text);
            t.SaveRecord(rkRecipe);
        }
        tx.Commit();
        t.SetTablesOpen(false);
        for (const auto& f : kTableFiles)
            s.tables.push_back(s.home + "data/" + f);
        std::atexit([] { std::filesystem::remove_all(Setup().root); });
        return s;
    }();
    return b;
}

// The job without a window.
class NoView : public ArchiveJobView {
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

std::string Folder(const std::string& name) {
    std::string f = Setup().root + name + "/";
    std::filesystem::create_directories(f);
    return f;
}

void BM_BackupTables(benchmark::State& state) {
    const Bench& b = Setup();
    TfmTables store;
    store.OpenDatabase(b.home);
    store.SetTablesOpen(true);
    AutoPrompts prompts; // the overwrite question from the second run on is answered yes
    NoView view;
    const std::string out = Folder("job");
    for (auto _ : state) {
        TArchiveJob job(store, prompts, view, b.home);
        if (!job.BackupTables(out))
            state.SkipWithError(("backup failed: " + job.LastError()).c_str());
    }
    state.counters["bytes"] =
        static_cast<double>(std::filesystem::file_size(out + kBackupArchiveName));
    double tables = 0;
    for (const auto& f : b.tables)
        tables += static_cast<double>(std::filesystem::file_size(f));
    state.counters["tables"] = tables;
}

void BM_SegArchiveCompress(benchmark::State& state) {
    const Bench& b = Setup();
    const std::string out = Folder("seg");
    const std::string temp = Folder("segtemp");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(out + kBackupArchiveName);
        state.ResumeTiming();
        TSegArchive seg;
        seg.CompressionMethod = colh5;
        seg.ArchiveType = caLHARC;
        seg.SetSegBaseName(kBackupBaseName);
        seg.SetSegSize(100000000);
        seg.SetSegDir(out);
        seg.SetTempArchivePath(temp);
        seg.FilesToProcess = b.tables;
        seg.Compress();
    }
    state.counters["bytes"] =
        static_cast<double>(std::filesystem::file_size(out + kBackupArchiveName));
}

void BM_LhaArchiveCompress(benchmark::State& state) {
    const Bench& b = Setup();
    const std::string out = Folder("lha");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(out + "tables.lzh");
        state.ResumeTiming();
        TLhaArchive a;
        a.CompressionMethod = colh5;
        a.ArchiveType = caLHARC;
        a.ArchiveName = out + "tables.lzh";
        a.SetTempArchivePath(out);
        a.FilesToProcess = b.tables;
        a.Compress();
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out + "tables.lzh"));
}

void BM_LhaTool(benchmark::State& state) {
    const Bench& b = Setup();
    if (std::system("command -v jlha > /dev/null 2>&1") != 0) {
        state.SkipWithError("jlha is not installed");
        for (auto _ : state) {
        }
        return;
    }
    const std::string out = Folder("tool");
    const std::string cmd = "cd " + b.home + "data && jlha aq " + out + "tables.lzh " +
                            "tbl101.nx1 tbl102.nx1 tbl103.nx1 tbl104.nx1 > /dev/null";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(out + "tables.lzh");
        state.ResumeTiming();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("jlha failed");
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out + "tables.lzh"));
}

// The set the restore benchmark reads, made once.
const std::string& RestoreSource() {
    static const std::string folder = [] {
        const Bench& b = Setup();
        const std::string f = Folder("restore-source");
        TfmTables store;
        store.OpenDatabase(b.home);
        AutoPrompts prompts;
        NoView view;
        TArchiveJob job(store, prompts, view, b.home);
        if (!job.BackupTables(f))
            std::fprintf(stderr, "backup failed: %s\n", job.LastError().c_str());
        return f;
    }();
    return folder;
}

// The restore's figure is the job up to the new tables in place (the store's reopening,
// which rebuilds the derived search and ingredient indexes of the restored recipes, is
// reported apart as with_reopen_s, the whole command's time).
void BM_RestoreTables(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const Bench& b = Setup();
    const std::string source = RestoreSource();
    TfmTables store;
    store.OpenDatabase(b.home);
    // The store is told to let messages run as it opens or closes: the last such call of a
    // restore is the reopening after the tables were replaced.
    Clock::time_point lastCall{};
    store.ProcessMessages = [&lastCall] { lastCall = Clock::now(); };
    AutoPrompts prompts;
    NoView view;
    double whole = 0;
    for (auto _ : state) {
        TArchiveJob job(store, prompts, view, b.home);
        const auto start = Clock::now();
        if (!job.RestoreTables(source) || !job.LastError().empty())
            state.SkipWithError(("restore failed: " + job.LastError()).c_str());
        const auto end = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(lastCall - start).count());
        whole += std::chrono::duration<double>(end - start).count();
    }
    state.counters["with_reopen_s"] = whole / static_cast<double>(state.iterations());
}

// CPU seconds of the child processes that have ended so far.
double ChildrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// `tar czf` of the four table files, and `tar xzf` of that archive into an empty folder
// (their CPU time, that of tar and gzip together, is the counter cpu_s).
void BM_TarCreate(benchmark::State& state) {
    const Bench& b = Setup();
    const std::string out = Folder("tar") + "tables.tgz";
    const std::string cmd =
        "tar czf " + out + " -C " + b.home + "data tbl101.nx1 tbl102.nx1 tbl103.nx1 tbl104.nx1";
    const double cpu = ChildrenCpu();
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("tar czf failed");
    state.counters["cpu_s"] = (ChildrenCpu() - cpu) / static_cast<double>(state.iterations());
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out));
}

void BM_TarExtract(benchmark::State& state) {
    const Bench& b = Setup();
    const std::string archive = Folder("tar") + "tables.tgz";
    if (!std::filesystem::exists(archive))
        std::system(("tar czf " + archive + " -C " + b.home +
                     "data tbl101.nx1 tbl102.nx1 tbl103.nx1 tbl104.nx1")
                        .c_str());
    const std::string into = Folder("untar");
    const std::string cmd = "tar xzf " + archive + " -C " + into;
    const double cpu = ChildrenCpu();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(into);
        std::filesystem::create_directories(into);
        state.ResumeTiming();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("tar xzf failed");
    }
    state.counters["cpu_s"] = (ChildrenCpu() - cpu) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_BackupTables)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SegArchiveCompress)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LhaArchiveCompress)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LhaTool)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TarCreate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RestoreTables)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TarExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Setup();
    return bench::RunWithRatios({{"BM_BackupTables", "BM_SegArchiveCompress", 1.5},
                                 {"BM_BackupTables", "BM_LhaArchiveCompress", 1.5},
                                 {"BM_BackupTables", "BM_LhaTool", 1.5},
                                 {"BM_BackupTables", "BM_TarCreate", 1.0},
                                 {"BM_RestoreTables", "BM_TarExtract", 1.0}});
}
