// Importing a generated Meal-Master file of 100 000 recipes (about 20 lines each, 40
// categories) through the whole cascade: once into an empty store, then a second file of as
// many other recipes into the store that now holds the first. Reports recipes per second
// for both, and the ratio of the second time to the first, which should stay near 1: the
// title check and the label lookups must not walk the collection.
// LARDERLY_BENCH_RECIPES changes the count, LARDERLY_BENCH_TMP the folder (default /tmp).
#include "import/ImportCommand.h"
#include "store/Tables.h"

#include "BenchRatio.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

using namespace larderly;

namespace {

int RecipeCount() {
    const char* n = std::getenv("LARDERLY_BENCH_RECIPES");
    return n && std::atoi(n) > 0 ? std::atoi(n) : 100000;
}

// One Meal-Master export with `count` recipes whose titles carry `prefix`.
void WriteMealMaster(const std::string& path, int count, const std::string& prefix) {
    static const char* kCategories[40] = {
        "Soups",     "Stews",      "Breads",   "Cakes",   "Cookies",   "Pies",    "Poultry",
        "Beef",      "Pork",       "Lamb",     "Fish",    "Seafood",   "Salads",  "Dressings",
        "Sauces",    "Vegetables", "Rice",     "Pasta",   "Beans",     "Eggs",    "Cheese",
        "Breakfast", "Brunch",     "Desserts", "Candy",   "Beverages", "Punches", "Appetizers",
        "Dips",      "Snacks",     "Grilling", "Holiday", "Italian",   "Mexican", "Chinese",
        "Indian",    "French",     "Low-fat",  "Quick",   "Vegetarian"};
    std::ofstream out(path, std::ios::binary);
    std::string r;
    for (int i = 0; i < count; ++i) {
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
        r += "      2 c  Flour                               1 ts Salt\r\n";
        r += "      1 c  Milk                                2    Eggs\r\n";
        r += "      3 tb Butter; melted                      1 tb Sugar\r\n";
        r += "    1/2 ts Baking powder                       1/4 c  Water\r\n";
        r += "\r\n";
        r += "  Heat the oven. Mix the dry ingredients in a large bowl and make a well\r\n";
        r += "  in the centre. Beat the eggs with the milk and the butter, pour them in\r\n";
        r += "  and stir just until combined; the batter should stay lumpy.\r\n";
        r += "\r\n";
        r += "  Pour into a greased pan and bake for 25 minutes, until a skewer comes\r\n";
        r += "  out clean. Cool for ten minutes before cutting.\r\n";
        r += "\r\n";
        r += "  Serves a family.\r\n";
        r += "MMMMM\r\n\r\n";
        out << r;
    }
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

void Report(benchmark::State& state, int n, const Timing& t) {
    state.SetIterationTime(t.wall);
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
        Report(state, f.n, TimedImport(store, f.first, f.n));
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

} // namespace

BENCHMARK(BM_ImportIntoEmptyStore)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportIntoFullStore)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Time per recipe with 100 000 recipes already stored, against an empty store.
    return bench::RunWithRatios({{"BM_ImportIntoFullStore", "BM_ImportIntoEmptyStore", 1.5}});
}
