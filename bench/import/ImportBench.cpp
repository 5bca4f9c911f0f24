// Importing a generated Meal-Master file of 100 000 recipes (about 20 lines each, 40
// categories) through the whole cascade: once into an empty store, then a second file of as
// many other recipes into the store that now holds the first. Reports recipes per second
// for both, and the ratio of the second time to the first, which should stay near 1: the
// title check and the label lookups must not walk the collection. The import into the empty
// store is also set against the sqlite3 shell inserting the same titles and texts into a
// plain table in one transaction (target: at most 1.5 times the shell's time).
// LARDERLY_BENCH_RECIPES changes the count, LARDERLY_BENCH_TMP the folder (default /tmp).
//
// The memory benchmark imports a generated Meal-Master file of 200 MB (LARDERLY_BENCH_MB
// changes it) into an empty store, and into one already holding another such file, in a
// fresh process, which reports its resident size once the store is open (its idle size, the
// reference) and its peak resident size after the import; the figure is the peak above the
// idle size, with a target of 64 MiB.
#include "import/ImportCommand.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include "BenchRatio.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace larderly;

namespace {

int RecipeCount() {
    const char* n = std::getenv("LARDERLY_BENCH_RECIPES");
    return n && std::atoi(n) > 0 ? std::atoi(n) : 100000;
}

// The ingredients and directions of every generated recipe.
constexpr const char* kRecipeBody =
    "      2 c  Flour                               1 ts Salt\r\n"
    "      1 c  Milk                                2    Eggs\r\n"
    "      3 tb Butter; melted                      1 tb Sugar\r\n"
    "    1/2 ts Baking powder                       1/4 c  Water\r\n"
    "\r\n"
    "  Heat the oven. Mix the dry ingredients in a large bowl and make a well\r\n"
    "  in the centre. Beat the eggs with the milk and the butter, pour them in\r\n"
    "  and stir just until combined; the batter should stay lumpy.\r\n"
    "\r\n"
    "  Pour into a greased pan and bake for 25 minutes, until a skewer comes\r\n"
    "  out clean. Cool for ten minutes before cutting.\r\n"
    "\r\n"
    "  Serves a family.\r\n";

// One Meal-Master export with `count` recipes whose titles carry `prefix`, or with as many
// recipes as make the file at least `minBytes` long. Gives the number of recipes.
int WriteMealMaster(const std::string& path, int count, const std::string& prefix,
                    std::size_t minBytes = 0) {
    static const char* kCategories[40] = {
        "Soups",     "Stews",      "Breads",   "Cakes",   "Cookies",   "Pies",    "Poultry",
        "Beef",      "Pork",       "Lamb",     "Fish",    "Seafood",   "Salads",  "Dressings",
        "Sauces",    "Vegetables", "Rice",     "Pasta",   "Beans",     "Eggs",    "Cheese",
        "Breakfast", "Brunch",     "Desserts", "Candy",   "Beverages", "Punches", "Appetizers",
        "Dips",      "Snacks",     "Grilling", "Holiday", "Italian",   "Mexican", "Chinese",
        "Indian",    "French",     "Low-fat",  "Quick",   "Vegetarian"};
    std::ofstream out(path, std::ios::binary);
    std::string r;
    std::size_t written = 0;
    int i = 0;
    for (; minBytes > 0 ? written < minBytes : i < count; ++i) {
        r.clear();
        r += "MMMMM----- Recipe via Meal-Master (tm) v8.05\r\n\r\n";
        r += "      Title: " + prefix + " recipe number " + std::to_string(i) + "\r\n";
        r += " Categories: ";
        r += kCategories[i % 40];
        r += ", ";
        r += kCategories[(i * 7 + 3) % 40];
        if (i % 3 == 0) {
            r += ", ";
            r += kCategories[(i * 13 + 5) % 40];
        }
        r += "\r\n      Yield: " + std::to_string(2 + i % 6) + " servings\r\n\r\n";
        r += kRecipeBody;
        r += "MMMMM\r\n\r\n";
        out << r;
        written += r.size();
    }
    return i;
}

double CpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Timing {
    double wall = 0, cpu = 0;
};

// Wall time and this process's CPU time: on a shared machine the CPU time shows the
// import's own cost when other work holds the cores.
Timing TimedImport(TfmTables& store, const std::string& file, int expected) {
    double c0 = CpuSeconds();
    auto t0 = std::chrono::steady_clock::now();
    import::TFileImport r = import::ImportFile(store, file);
    auto t1 = std::chrono::steady_clock::now();
    double c1 = CpuSeconds();
    if (!r.Accepted || r.Added != expected)
        throw std::runtime_error("import stored " + std::to_string(r.Added) + " of " +
                                 std::to_string(expected));
    return {std::chrono::duration<double>(t1 - t0).count(), c1 - c0};
}

// The two generated files and the folder that holds them, made once for both benchmarks.
struct Files {
    Files() {
        const char* env = std::getenv("LARDERLY_BENCH_TMP");
        std::string tmpl = std::string(env ? env : "/tmp") + "/larderly-importbench-XXXXXX";
        folder = ::mkdtemp(tmpl.data());
        first = folder + "/first.mmf";
        second = folder + "/second.mmf";
        WriteMealMaster(first, n, "First");
        WriteMealMaster(second, n, "Second");
    }
    ~Files() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    const int n = RecipeCount();
    std::string folder, first, second;
};

Files& TheFiles() {
    static Files files;
    return files;
}

// CPU seconds of the import into the empty store and of the shell, for the CPU ratio: on a
// shared machine the wall times carry the waits for the cores.
double g_importCpu = -1, g_shellCpu = -1;

double ChildrenCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return s(u.ru_utime) + s(u.ru_stime);
}

void Report(benchmark::State& state, int n, const Timing& t) {
    state.SetIterationTime(t.wall);
    state.counters["cpu_s"] = t.cpu;
    state.counters["recipes"] = n;
    state.counters["recipes_per_s"] = n / t.wall;
    state.counters["cpu_recipes_per_s"] = n / t.cpu;
}

// The reference: the first file into an empty store.
void BM_ImportIntoEmptyStore(benchmark::State& state) {
    Files& f = TheFiles();
    for (auto _ : state) {
        std::filesystem::remove_all(f.folder + "/data");
        TfmTables store;
        store.OpenDatabase(f.folder + "/");
        store.SetTablesOpen(true);
        const Timing t = TimedImport(store, f.first, f.n);
        g_importCpu = t.cpu;
        Report(state, f.n, t);
    }
}

// The second file into the store that holds the first (filled before the clock starts).
void BM_ImportIntoFullStore(benchmark::State& state) {
    Files& f = TheFiles();
    for (auto _ : state) {
        std::filesystem::remove_all(f.folder + "/data");
        TfmTables store;
        store.OpenDatabase(f.folder + "/");
        store.SetTablesOpen(true);
        TimedImport(store, f.first, f.n);
        Report(state, f.n, TimedImport(store, f.second, f.n));
    }
}

// The reference: the sqlite3 shell inserting the same titles and texts into an empty
// database file in one transaction (the script is written before the clock starts).
void BM_Sqlite3ShellInsert(benchmark::State& state) {
    Files& f = TheFiles();
    const std::string script = f.folder + "/insert.sql", db = f.folder + "/shell.db";
    {
        std::ofstream out(script, std::ios::binary);
        out << "CREATE TABLE recipes(id INTEGER PRIMARY KEY, title TEXT, text BLOB);\nBEGIN;\n";
        std::string body = kRecipeBody;
        for (std::size_t at = 0; (at = body.find('\'', at)) != std::string::npos; at += 2)
            body.insert(at, 1, '\'');
        for (int i = 0; i < f.n; ++i)
            out << "INSERT INTO recipes(title, text) VALUES('First recipe number " << i << "', '"
                << body << "');\n";
        out << "COMMIT;\n";
    }
    const std::string cmd = "sqlite3 " + db + " < " + script;
    for (auto _ : state) {
        std::filesystem::remove(db);
        const double c0 = ChildrenCpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("sqlite3 failed");
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        g_shellCpu = ChildrenCpuSeconds() - c0;
        state.counters["cpu_s"] = g_shellCpu;
    }
    std::filesystem::remove(db);
    std::filesystem::remove(script);
}

// A figure from /proc/self/status ("VmRSS", "VmHWM"), in KiB.
long StatusKib(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    long kib = 0;
    char line[256];
    const std::string prefix = std::string(field) + ":";
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, prefix.c_str(), prefix.size()) == 0) {
            kib = std::atol(line + prefix.size());
            break;
        }
    if (f) std::fclose(f);
    return kib;
}

// The child of the memory benchmark: opens an empty store in FOLDER as the command line
// does, notes its resident size, imports FILE and writes "idle peak recipes seconds" to OUT.
int MemoryChild(const char* file, const char* folder, const char* out) {
    TfmTables store;
    store.OpenDatabase(std::string(folder) + "/");
    store.SetTablesOpen(true);
    store.BuildSummaries();
    const long idle = StatusKib("VmRSS");
    auto t0 = std::chrono::steady_clock::now();
    import::TFileImport r = import::ImportFile(store, file);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const long peak = StatusKib("VmHWM");
    std::FILE* f = std::fopen(out, "w");
    if (!f) return 1;
    std::fprintf(f, "%ld %ld %d %f\n", idle, peak, r.Added, seconds);
    std::fclose(f);
    return r.Accepted ? 0 : 1;
}

std::string g_self;
double g_aboveIdleMib[2] = {-1, -1}; // into an empty store, into a full one

struct MemoryRun {
    bool ok = false;
    long idle = 0, peak = 0; // KiB
    int added = 0;
    double seconds = 0;
};

// Imports `file` into the store in `home` in a fresh process of this program.
MemoryRun RunMemoryChild(const std::string& file, const std::string& home, const std::string& out) {
    MemoryRun run;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(g_self.c_str(), g_self.c_str(), "--memory-child", file.c_str(), home.c_str(),
                out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::FILE* in = std::fopen(out.c_str(), "r");
    const bool read = in && std::fscanf(in, "%ld %ld %d %lf", &run.idle, &run.peak, &run.added,
                                        &run.seconds) == 4;
    if (in) std::fclose(in);
    run.ok = read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// A 200 MB file into an empty store (argument 0), or into a store that already holds another
// file as large (argument 1: its summaries are part of the idle size, and its index pages are
// what the import's merges rewrite).
void BM_ImportMemory(benchmark::State& state) {
    Files& f = TheFiles();
    const bool full = state.range(0) == 1;
    const char* mb = std::getenv("LARDERLY_BENCH_MB");
    const std::size_t bytes =
        static_cast<std::size_t>(mb && std::atoi(mb) > 0 ? std::atoi(mb) : 200) * 1000000;
    const std::string big = f.folder + "/big.mmf", other = f.folder + "/other.mmf",
                      out = f.folder + "/memory.txt", home = f.folder + "/memory";
    static int bigRecipes = 0, otherRecipes = 0;
    if (bigRecipes == 0) bigRecipes = WriteMealMaster(big, 0, "Big", bytes);
    if (full && otherRecipes == 0) otherRecipes = WriteMealMaster(other, 0, "Other", bytes);
    for (auto _ : state) {
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        if (full && RunMemoryChild(other, home, out).added != otherRecipes) {
            state.SkipWithError("filling the store failed");
            return;
        }
        const MemoryRun run = RunMemoryChild(big, home, out);
        if (!run.ok || run.added != bigRecipes) {
            state.SkipWithError("the import child failed");
            return;
        }
        state.SetIterationTime(run.seconds);
        const double above = static_cast<double>(run.peak - run.idle) / 1024.0;
        g_aboveIdleMib[full ? 1 : 0] = above;
        state.counters["file_mb"] = static_cast<double>(bytes) / 1e6;
        state.counters["recipes"] = run.added;
        state.counters["recipes_per_s"] = run.added / run.seconds;
        state.counters["idle_mib"] = static_cast<double>(run.idle) / 1024.0;
        state.counters["peak_mib"] = static_cast<double>(run.peak) / 1024.0;
        state.counters["above_idle_mib"] = above;
    }
    std::filesystem::remove_all(home);
}

} // namespace

BENCHMARK(BM_ImportIntoEmptyStore)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportIntoFullStore)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sqlite3ShellInsert)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ImportMemory)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--memory-child") == 0)
        return MemoryChild(argv[2], argv[3], argv[4]);
    g_self = std::filesystem::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    // Time per recipe with 100 000 recipes already stored, against an empty store.
    // The import into an empty store against the sqlite3 shell's insert of the same rows.
    bench::RunWithRatios({{"BM_ImportIntoFullStore", "BM_ImportIntoEmptyStore", 1.5},
                          {"BM_ImportIntoEmptyStore", "BM_Sqlite3ShellInsert", 1.5}});
    if (g_importCpu >= 0 && g_shellCpu > 0)
        std::printf("cpu ratio BM_ImportIntoEmptyStore / BM_Sqlite3ShellInsert = %.2f (target <= "
                    "1.50) %s\n",
                    g_importCpu / g_shellCpu, g_importCpu / g_shellCpu <= 1.5 ? "MET" : "MISSED");
    // Peak memory of the large import, against the same process's idle size.
    for (int full = 0; full < 2; ++full)
        if (g_aboveIdleMib[full] >= 0)
            std::printf("peak above idle BM_ImportMemory/%d = %.1f MiB (target <= 64.0) %s\n", full,
                        g_aboveIdleMib[full], g_aboveIdleMib[full] <= 64.0 ? "MET" : "MISSED");
    return 0;
}
