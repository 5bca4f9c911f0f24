// Importing a generated Meal-Master file of 100 000 recipes (about 20 lines each, 40
// categories) through the whole cascade: once into an empty store, then a second file of as
// many other recipes into the store that now holds the first. Reports recipes per second
// for both and the ratio of the time per recipe (full store / empty store), which should
// stay near 1: the title check and the label lookups must not walk the collection.
// LARDERLY_BENCH_RECIPES changes the count, LARDERLY_BENCH_TMP the folder (default /tmp).
#include "import/ImportCommand.h"
#include "store/Tables.h"
#include "workspace/RecipeSummaries.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
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
        "Soups",    "Stews",     "Breads",   "Cakes",    "Cookies",  "Pies",     "Poultry",  "Beef",
        "Pork",     "Lamb",      "Fish",     "Seafood",  "Salads",   "Dressings", "Sauces",  "Vegetables",
        "Rice",     "Pasta",     "Beans",    "Eggs",     "Cheese",   "Breakfast", "Brunch",  "Desserts",
        "Candy",    "Beverages", "Punches",  "Appetizers", "Dips",   "Snacks",   "Grilling", "Holiday",
        "Italian",  "Mexican",   "Chinese",  "Indian",   "French",   "Low-fat",  "Quick",    "Vegetarian"};
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
Timing TimedImport(TfmTables& store, RecipeSummaries& summaries, const std::string& file, int expected) {
    double c0 = CpuSeconds();
    auto t0 = std::chrono::steady_clock::now();
    import::TFileImport r = import::ImportFile(store, summaries, file);
    auto t1 = std::chrono::steady_clock::now();
    double c1 = CpuSeconds();
    if (!r.Accepted || r.Added != expected)
        throw std::runtime_error("import stored " + std::to_string(r.Added) + " of " + std::to_string(expected));
    return {std::chrono::duration<double>(t1 - t0).count(), c1 - c0};
}

void BM_ImportMealMaster(benchmark::State& state) {
    const int n = RecipeCount();
    std::string base = std::getenv("LARDERLY_BENCH_TMP") ? std::getenv("LARDERLY_BENCH_TMP") : "/tmp";
    std::string tmpl = base + "/larderly-importbench-XXXXXX";
    const std::string folder = ::mkdtemp(tmpl.data());
    const std::string first = folder + "/first.mmf", second = folder + "/second.mmf";
    WriteMealMaster(first, n, "First");
    WriteMealMaster(second, n, "Second");
    for (auto _ : state) {
        std::filesystem::remove_all(folder + "/data");
        TfmTables store;
        store.OpenDatabase(folder + "/");
        store.SetTablesOpen(true);
        RecipeSummaries summaries;
        Timing empty = TimedImport(store, summaries, first, n);
        Timing full = TimedImport(store, summaries, second, n);
        state.SetIterationTime(empty.wall + full.wall);
        state.counters["recipes"] = n;
        state.counters["empty_per_s"] = n / empty.wall;
        state.counters["full_per_s"] = n / full.wall;
        state.counters["ratio"] = full.wall / empty.wall;
        state.counters["empty_cpu_per_s"] = n / empty.cpu;
        state.counters["full_cpu_per_s"] = n / full.cpu;
        state.counters["cpu_ratio"] = full.cpu / empty.cpu;
        store.SetTablesOpen(false);
    }
    std::filesystem::remove_all(folder);
}

} // namespace

BENCHMARK(BM_ImportMealMaster)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
