// The ingredient model at scale: reading the ingredients of many recipes against a plain scan
// of the same lines; a shopping list of a 100-recipe book against reading those recipes
// alone; an ingredient search through the ingredient index against the full-text search of
// the same words, in a store of LARDERLY_BENCH_RECIPES recipes (25 000 unless set).
#include "BenchRatio.h"
#include "ingredients/IngredientLine.h"
#include "ingredients/ShoppingList.h"
#include "store/Tables.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace larderly;
namespace ing = larderly::ingredients;

namespace {

const char* const kItems[] = {"leeks",   "potatoes", "onion",  "carrots", "flour",  "butter",
                              "milk",    "eggs",     "sugar",  "salt",    "pepper", "garlic",
                              "chicken", "rice",     "cheese", "cream",   "basil",  "lemon"};
const char* const kUnits[] = {"c ", "tb", "ts", "lb", "oz", "g ", "  ", "ea", "md", "cn"};
const char* const kAmounts[] = {"1", "2", "1/2", "1 1/2", "3/4", "200", "12", "2-3"};
const char* const kPreps[] = {"", "; chopped", " -- sliced", ", diced", ""};

// A recipe as a Meal-Master import stores it: servings, ten ingredient lines (one with a
// continuation), then directions.
std::vector<std::string> RecipeText(std::mt19937& rng) {
    std::vector<std::string> t = {"Serving Size  : 4", ""};
    char line[128];
    for (int i = 0; i < 10; ++i) {
        std::string item = kItems[rng() % std::size(kItems)];
        if (rng() % 3 == 0) item += std::to_string(rng() % 500); // a tail of rarer items
        std::snprintf(line, sizeof line, "%7s %s %s%s", kAmounts[rng() % std::size(kAmounts)],
                      kUnits[rng() % std::size(kUnits)], item.c_str(),
                      kPreps[rng() % std::size(kPreps)]);
        t.push_back(line);
        if (i == 4) t.push_back("           -and a few more words");
    }
    t.push_back("");
    t.push_back("  Chop everything, put it in a pot and simmer for twenty minutes.");
    t.push_back("  Season, stir in the cream and serve hot with bread.");
    return t;
}

std::vector<std::vector<std::string>> Recipes(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::vector<std::string>> out;
    for (int i = 0; i < n; ++i)
        out.push_back(RecipeText(rng));
    return out;
}

const std::vector<std::vector<std::string>>& Many() {
    static const auto r = Recipes(20000, 1);
    return r;
}
const std::vector<std::vector<std::string>>& Book() {
    static const auto r = Recipes(100, 2);
    return r;
}

void BM_ReadIngredients(benchmark::State& state) {
    std::size_t n = 0;
    for (auto _ : state)
        for (const auto& text : Many())
            n += ing::ParseRecipeText(text).size();
    benchmark::DoNotOptimize(n);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Many().size()));
}

// The reference: every line of the same recipes trimmed and its words counted.
void BM_ScanLines(benchmark::State& state) {
    std::size_t words = 0;
    for (auto _ : state)
        for (const auto& text : Many())
            for (const std::string& line : text) {
                bool in = false;
                for (char c : line) {
                    if (c != ' ' && !in) ++words;
                    in = c != ' ';
                }
            }
    benchmark::DoNotOptimize(words);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(Many().size()));
}

void BM_ShoppingListOfABook(benchmark::State& state) {
    const ing::AisleTable aisles = ing::AisleTable::Default();
    std::size_t n = 0;
    for (auto _ : state) {
        ing::ShoppingList list;
        for (const auto& text : Book())
            list.AddRecipe(text);
        n += ing::ShoppingListText(list.Items(aisles)).size();
    }
    benchmark::DoNotOptimize(n);
}

void BM_ReadIngredientsOfABook(benchmark::State& state) {
    std::size_t n = 0;
    for (auto _ : state)
        for (const auto& text : Book())
            n += ing::ParseRecipeText(text, true).size();
    benchmark::DoNotOptimize(n);
}

int StoreRecipes() {
    const char* v = std::getenv("LARDERLY_BENCH_RECIPES");
    const int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : 25000;
}

const std::string& Home() {
    static std::string home = [] {
        char tmpl[] = "/tmp/larderly-ingredient-bench-XXXXXX";
        std::string dir = mkdtemp(tmpl);
        TfmTables s;
        s.OpenDatabase(dir + "/");
        s.SetTablesOpen(true);
        std::mt19937 rng(3);
        Transaction tx(s);
        for (int i = 0; i < StoreRecipes(); ++i) {
            s.ClearBuffers();
            s.RecipeRec.Title = "Recipe " + std::to_string(i);
            s.RecipeText = RecipeText(rng);
            s.SaveRecord(rkRecipe);
        }
        tx.Commit();
        s.SetTablesOpen(false);
        std::atexit([] { std::filesystem::remove_all(Home()); });
        return dir;
    }();
    return home;
}

template <typename Search> void TimedSearch(benchmark::State& state, Search search) {
    TfmTables s;
    s.OpenDatabase(Home() + "/");
    s.SetTablesOpen(true);
    std::size_t found = 0;
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        found = search(s).size();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    state.counters["recipes"] = StoreRecipes();
    state.counters["found"] = static_cast<double>(found);
    state.counters["median_ms"] = ms.empty() ? 0 : ms[ms.size() / 2];
}

void BM_IngredientSearch(benchmark::State& state) {
    TimedSearch(state, [](TfmTables& s) { return s.IngredientIndex().Search("leek potato"); });
}
void BM_TextSearch(benchmark::State& state) {
    TimedSearch(state, [](TfmTables& s) { return s.SearchIndex().Search("leek potato"); });
}

BENCHMARK(BM_ReadIngredients)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ScanLines)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ShoppingListOfABook)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadIngredientsOfABook)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_IngredientSearch)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_TextSearch)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Home();
    // The absolute targets: reading at least 100 000 recipes a second (10 us each), a
    // shopping list of 100 recipes and an ingredient search at 250 000 recipes under 50 ms.
    return bench::RunWithRatios({{"BM_ReadIngredients", "BM_ScanLines", 20.0},
                                 {"BM_ShoppingListOfABook", "BM_ReadIngredientsOfABook", 3.0},
                                 {"BM_IngredientSearch", "BM_TextSearch", 2.0}});
}
