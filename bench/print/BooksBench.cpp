// Figures for the book pane and the filter on large collections, each as a ratio against a
// reference measured in the same run:
//  - BM_FilterAndRefill: applying a filter and refilling the recipe list's view, against
//    filling the view with no filter (100 000 recipes).
//  - BM_MainWindowFilter: the same through the main window (TfmMain::ShowRecipeList asking
//    the filter dialog for every summary), filtered against unfiltered.
//  - BM_LoadBook: loading a book of 1 000 recipes from a store of 100 000 recipes (and
//    100 000 book entries), against the same book in a store of 1 000 recipes.
#include "store/RecipeSummaries.h"
#include "store/Tables.h"
#include "workspace/RecipeListModel.h"
#include "workspace/core/RecipeFilter.h"
#include "workspace/core/TfmRecipeBookCore.h"

#include "ScriptedPrompts.h"
#include "app/TfmMain.h"
#include "workspace/TfmFilter.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <random>

namespace larderly {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

const char* const kWords[] = {"Apple", "Banana",  "Soup",   "Stew",  "Roast",  "Chicken",
                              "Leek",  "Bread",   "Cake",   "Pie",   "Salad",  "Curry",
                              "Tart",  "Grilled", "Spiced", "Lemon", "Garlic", "Herb"};

std::string RandomTitle(std::mt19937& rng, int n) {
    std::string t;
    for (int k = 0; k < 3; ++k) {
        if (k) t += ' ';
        t += kWords[rng() % (sizeof kWords / sizeof *kWords)];
    }
    return t + " " + std::to_string(n);
}

RecipeSummaries& BigSummaries() {
    static RecipeSummaries s = [] {
        TDetachedSummaries out;
        std::mt19937 rng(42);
        for (int i = 1; i <= 100000; ++i) {
            RecipeRecord r;
            r.InternalID = i;
            r.Title = RandomTitle(rng, i);
            r.Category = {int32_t(rng() % 40), rng() % 3 ? -1 : int32_t(rng() % 40), -1, -1};
            out.Append(r);
        }
        return out;
    }();
    return s;
}

void FilterAndRefill(benchmark::State& state, TFilterState filter) {
    RecipeSummaries& all = BigSummaries();
    RecipeListModel model;
    const TRecipeFilter none{TFilterState{}};
    const TRecipeFilter chosen{filter};
    double ref = 0, test = 0;
    std::size_t shown = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        model.SetRows(none.Select(all));
        auto t1 = Clock::now();
        model.Clear();
        auto t2 = Clock::now();
        model.SetRows(chosen.Select(all));
        auto t3 = Clock::now();
        shown = static_cast<std::size_t>(model.Count());
        model.Clear();
        ref += Seconds(t0, t1);
        test += Seconds(t2, t3);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["fill_ms"] = 1000 * ref / n;
    state.counters["filtered_ms"] = 1000 * test / n;
    state.counters["ratio"] = test / ref;
    state.counters["rows"] = static_cast<double>(shown);
}

TFilterState Title(std::string text, bool contains) {
    TFilterState f;
    f.ByTitle = true;
    f.TitleText = std::move(text);
    f.Contains = contains;
    return f;
}

void BM_FilterAndRefill_ContainsMostTitles(benchmark::State& s) {
    FilterAndRefill(s, Title(" ", true));
}
void BM_FilterAndRefill_ContainsWord(benchmark::State& s) {
    FilterAndRefill(s, Title("soup", true));
}
void BM_FilterAndRefill_ContainsNothing(benchmark::State& s) {
    FilterAndRefill(s, Title("zzzz", true));
}
void BM_FilterAndRefill_ExactMatch(benchmark::State& s) {
    FilterAndRefill(s, Title("leek soup pie 7", false));
}
void BM_FilterAndRefill_Category(benchmark::State& s) {
    TFilterState f;
    f.ByCategory = true;
    f.CategoryId = 7;
    FilterAndRefill(s, f);
}
void BM_FilterAndRefill_EmptySlot(benchmark::State& s) {
    TFilterState f;
    f.ByCategory = true; // no category chosen: every recipe with an empty slot
    FilterAndRefill(s, f);
}
BENCHMARK(BM_FilterAndRefill_ContainsMostTitles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAndRefill_ContainsWord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAndRefill_ContainsNothing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAndRefill_ExactMatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAndRefill_Category)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAndRefill_EmptySlot)->Unit(benchmark::kMillisecond);

// The main window on a store of 100 000 recipes.
void BM_MainWindowFilter(benchmark::State& state) {
    static std::string home = [] {
        char tmpl[] = "/tmp/larderly-bench-main-XXXXXX";
        std::string h = std::string(mkdtemp(tmpl)) + "/";
        std::filesystem::create_directories(h + "win");
        TfmTables t;
        t.OpenDatabase(h);
        t.SetTablesOpen(true);
        std::mt19937 rng(3);
        Transaction tx(t);
        for (int i = 0; i < 100000; ++i) {
            t.ClearBuffers();
            t.RecipeRec.Title = RandomTitle(rng, i);
            t.SaveRecord(rkRecipe);
        }
        tx.Commit();
        t.SetTablesOpen(false);
        setenv("LARDERLY_HOME", h.c_str(), 1);
        setenv("LARDERLY_WINDIR", (h + "win/").c_str(), 1);
        return h;
    }();
    ScriptedPrompts prompts;
    prompts.SetAutoAcknowledge(true);
    TfmMainOptions options;
    options.ShowWelcome = false;
    TfmMain main(prompts, options);
    TfmFilter& filter = *main.fmFilter;
    auto set = [&](bool byTitle, const char* text) {
        filter.findChild<QCheckBox*>("cboxTitle")->setChecked(byTitle);
        filter.findChild<QLineEdit*>("edtTitle")->setText(text);
        filter.TakeState();
    };
    double ref = 0, test = 0;
    for (auto _ : state) {
        set(false, "");
        auto t0 = Clock::now();
        main.ShowRecipeList();
        auto t1 = Clock::now();
        // Arg 0: a word some titles hold; arg 1: a letter nine titles in ten hold.
        set(true, state.range(0) ? "e" : "soup");
        auto t2 = Clock::now();
        main.ShowRecipeList();
        auto t3 = Clock::now();
        ref += Seconds(t0, t1);
        test += Seconds(t2, t3);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["fill_ms"] = 1000 * ref / n;
    state.counters["filtered_ms"] = 1000 * test / n;
    state.counters["ratio"] = test / ref;
    (void)home;
}
BENCHMARK(BM_MainWindowFilter)->Unit(benchmark::kMillisecond)->Iterations(5)->Arg(0)->Arg(1);

// A store with `recipes` recipes, `books` books of 1 000 recipes each; book 1 is measured.
struct BookStore {
    BookStore(int recipes, int books) {
        char tmpl[] = "/tmp/larderly-bench-books-XXXXXX";
        home = std::string(mkdtemp(tmpl)) + "/";
        store.OpenDatabase(home);
        store.SetTablesOpen(true);
        std::mt19937 rng(7);
        Transaction tx(store);
        for (int i = 0; i < recipes; ++i) {
            store.ClearBuffers();
            store.RecipeRec.Title = RandomTitle(rng, i);
            store.RecipeText = {"Mix well.", "Bake."};
            store.SaveRecord(rkRecipe);
        }
        for (int b = 0; b < books; ++b) {
            BookValue stored{-1, "Book " + std::to_string(b)};
            const int32_t book = store.SaveBookValue(stored);
            for (int k = 0; k < 1000; ++k)
                store.AddBookEntry(book, int32_t(1 + (b * 1000 + k * 97) % recipes));
        }
        // The store's summaries follow the saves; the book pane reads its titles there.
        tx.Commit();
    }
    ~BookStore() {
        store.SetTablesOpen(false);
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }
    std::string home;
    TfmTables store;
};

void BM_LoadBook(benchmark::State& state) {
    static BookStore small(1000, 1);
    static BookStore big(100000, 100);
    TRecipeBookCore smallCore(small.store), bigCore(big.store);
    double ref = 0, test = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        smallCore.LoadBookRecipes(1);
        auto t1 = Clock::now();
        bigCore.LoadBookRecipes(1);
        auto t2 = Clock::now();
        ref += Seconds(t0, t1);
        test += Seconds(t1, t2);
        if (smallCore.lboxBookRecipes.Count() != 1000 || bigCore.lboxBookRecipes.Count() != 1000)
            state.SkipWithError("book not loaded in full");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["small_store_ms"] = 1000 * ref / n;
    state.counters["big_store_ms"] = 1000 * test / n;
    state.counters["ratio"] = test / ref;
}
BENCHMARK(BM_LoadBook)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
} // namespace larderly

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
