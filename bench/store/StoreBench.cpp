// Reading every recipe's identifier, four slots and title through the store's table
// operations, against the sqlite3 shell selecting the same columns from the same file.
#include "BenchRatio.h"
#include "store/Tables.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace larderly;

namespace {

constexpr int kRecipes = 100000;

const std::string& Home() {
    static std::string home = [] {
        char tmpl[] = "/tmp/larderly-bench-XXXXXX";
        std::string dir = mkdtemp(tmpl);
        TfmTables s;
        s.OpenDatabase(dir + "/");
        s.SetTablesOpen(true);
        Transaction tx(s);
        std::vector<std::string> text(12, "1 cup of something, chopped and measured with care");
        for (int i = 0; i < kRecipes; ++i) {
            s.ClearBuffers();
            s.RecipeRec.Title = "Recipe number " + std::to_string(i * 7919 % kRecipes);
            s.RecipeRec.Category = {i % 40 + 1, (i + 3) % 40 + 1, -1, -1};
            s.RecipeText = text;
            s.SaveRecord(rkRecipe);
        }
        tx.Commit();
        s.SetTablesOpen(false);
        std::atexit([] { std::filesystem::remove_all(Home()); });
        return dir;
    }();
    return home;
}

void BM_StoreReadSummaries(benchmark::State& state) {
    TfmTables s;
    s.OpenDatabase(Home() + "/");
    s.SetTablesOpen(true);
    for (auto _ : state) {
        long long sum = 0;
        TTable& t = s.tblRecipes();
        for (t.First(); !t.Eof(); t.Next()) {
            sum += t.FieldAsInteger(fld::InternalID) + t.FieldAsInteger(fld::Category1) +
                   t.FieldAsInteger(fld::Category2) + t.FieldAsInteger(fld::Category3) +
                   t.FieldAsInteger(fld::Category4) +
                   static_cast<long long>(t.FieldAsString(fld::Title).size());
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kRecipes);
}

void BM_Sqlite3ShellSelect(benchmark::State& state) {
    std::string cmd = "sqlite3 " + Home() +
                      "/data/tbl102.nx1 'SELECT InternalID, Category1, Category2, Category3, "
                      "Category4, Title FROM "
                      "tblRecipes' > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("sqlite3 failed");
    }
    state.SetItemsProcessed(state.iterations() * kRecipes);
}

BENCHMARK(BM_StoreReadSummaries)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Sqlite3ShellSelect)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Home();
    return bench::RunWithRatios({{"BM_StoreReadSummaries", "BM_Sqlite3ShellSelect", 3.0}});
}
