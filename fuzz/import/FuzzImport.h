// Shared harness of the import fuzz targets: any bytes go through one reader into a store
// that holds one recipe beforehand. Whatever the reader makes of them, the file must end
// accepted or refused, with no transaction left open and the summaries naming exactly the
// rows of the recipe table. Between inputs the store is emptied again.
#pragma once

#include "../FuzzTempStore.h"
#include "import/TLineReader.h"
#include "store/RecipeSummaries.h"
#include "store/Tables.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace larderly::import::fuzz {

class FuzzStore {
public:
    FuzzStore() { Reset(); }

    // Empties the store and puts back the one recipe ("Soup", category "Soups").
    void Reset() {
        Transaction tx(store);
        for (TTable* t : {&store.tblRecipes(), &store.tblListLabel()}) {
            t->First();
            while (!t->Eof())
                t->Delete();
        }
        store.ClearSummaries();
        LabelValue soups{-1, 0, "Soups"};
        RecipeValue soup{
            -1, "Soup", {store.SaveLabelValue(soups), -1, -1, -1}, {"Serving Size  : 2", "Stir."}};
        store.SaveRecipeValue(soup);
        tx.Commit();
    }

    // Aborts unless the summaries and the recipe table agree row for row.
    void Check() {
        if (store.InTransaction()) Fail("a transaction is still open");
        std::size_t rows = 0;
        TTable& t = store.tblRecipes();
        for (t.First(); !t.Eof(); t.Next()) {
            ++rows;
            TRecipeSummary* s = summaries.Find(t.FieldAsInteger(fld::InternalID));
            if (!s) Fail("a stored recipe has no summary");
            if (s->Title != t.FieldAsString(fld::Title))
                Fail("a summary's title differs from its row");
        }
        if (rows != summaries.Count()) Fail("the summaries name rows that are not stored");
    }

    larderly::fuzz::TempStore temp{"larderly-fuzz"};
    TfmTables& store = temp.store;
    RecipeSummaries& summaries = store.Summaries();

private:
    [[noreturn]] static void Fail(const char* what) {
        std::fprintf(stderr, "import fuzz: %s\n", what);
        std::abort();
    }
};

template <typename Reader> int FuzzReader(const uint8_t* data, std::size_t size) {
    static FuzzStore env;
    TLineReader in =
        TLineReader::FromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    Reader reader(env.store);
    reader.Import(in);
    env.Check();
    if (env.store.tblRecipes().RecordCount() != 1 || env.store.tblListLabel().RecordCount() != 1)
        env.Reset();
    return 0;
}

} // namespace larderly::import::fuzz
