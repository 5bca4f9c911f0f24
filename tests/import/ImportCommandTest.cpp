// File > Import: the open dialog, the cascade over several files, the caption, the
// messages, the redisplay, and a read error ending the command.
#include "import/ImportCommand.h"
#include "ImportTestSupport.h"
#include "ScriptedPrompts.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <thread>

using namespace larderly;
using namespace larderly::import;
using namespace larderly::import::test;

namespace {

// Records how the open dialog was asked for, then answers from the script.
class RecordingPrompts : public ScriptedPrompts {
public:
    std::vector<std::string> OpenFiles(const std::string& title,
                                       const std::vector<std::string>& filters,
                                       const std::string& startFolder, bool multiple) override {
        filters_ = filters;
        startFolder_ = startFolder;
        multiple_ = multiple;
        return ScriptedPrompts::OpenFiles(title, filters, startFolder, multiple);
    }
    std::vector<std::string> filters_;
    std::string startFolder_;
    bool multiple_ = false;
};

// What the main window saw, in order.
struct Window {
    std::vector<std::string> events;
    TImportCallbacks Callbacks() {
        TImportCallbacks cb;
        cb.SetCaption = [this](const std::string& c) { events.push_back("caption " + c); };
        cb.RestoreCaption = [this] { events.push_back("caption restored"); };
        cb.ProcessMessages = [this] { events.push_back("messages"); };
        cb.SetHourglass = [this](bool on) { events.push_back(on ? "hourglass" : "arrow"); };
        cb.ShowRecipeList = [this] { events.push_back("show list"); };
        cb.LabelsChanged = [this] { events.push_back("labels changed"); };
        return cb;
    }
};

} // namespace

TEST(ImportCommand, CancelledDialogDoesNothing) {
    TempStore t;
    RecordingPrompts p;
    p.AnswerOpen({}, "Import Recipe File");
    Window w;
    TImportCommandResult r = RunImportCommand(p, t.store, w.Callbacks(), "/start/here/");
    EXPECT_TRUE(r.Cancelled);
    EXPECT_TRUE(w.events.empty());
    EXPECT_TRUE(p.failures().empty());
    EXPECT_EQ(p.startFolder_, "/start/here/");
    EXPECT_TRUE(p.multiple_);
    EXPECT_EQ(p.filters_, (std::vector<std::string>{"Any File (*)", "MXP File (*.mxp)",
                                                    "MMF File (*.mmf)", "MX2 File (*.mx2)",
                                                    "All recipe files (*.mxp *.mx2 *.mmf *.txt)",
                                                    "Web pages (*.html *.htm *.json)"}));
}

TEST(ImportCommand, SeveralFilesEachThroughTheCascade) {
    TempStore t;
    RecordingPrompts p;
    const std::vector<std::string> files = {
        Fixture("mealmaster-mmmmm.mmf"), Fixture("not-a-recipe.txt"),
        Fixture("mastercook.mxp"),       Fixture("empty.txt"),
        Fixture("mastercook.mx2"),       Fixture("mealmaster-extract.txt")};
    p.AnswerOpen(files);
    p.answer(PromptAnswer::Ok, "Improper Recipe File " + files[1]);
    p.answer(PromptAnswer::Ok, "Improper Recipe File " + files[3]);
    Window w;
    TImportCommandResult r = RunImportCommand(p, t.store, w.Callbacks(), "/");
    EXPECT_TRUE(p.failures().empty()) << p.failures().front();
    EXPECT_TRUE(p.done());

    ASSERT_EQ(r.Files.size(), files.size());
    struct Want {
        bool accepted;
        const char* reader;
        int added;
    } want[] = {{true, "Meal-Master export", 2}, {false, "", 0},
                {true, "MasterCook text", 2},    {false, "", 0},
                {true, "MasterCook XML", 2},     {true, "Meal-Master extract", 3}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(r.Files[i].FileName, files[i]);
        EXPECT_EQ(r.Files[i].Accepted, want[i].accepted) << files[i];
        EXPECT_EQ(r.Files[i].Reader, want[i].reader) << files[i];
        EXPECT_EQ(r.Files[i].Added, want[i].added) << files[i];
    }
    EXPECT_EQ(t.RecipeCount(), 9);
    t.ExpectSummariesMatchTable();

    std::vector<std::string> expected = {"hourglass"};
    for (const auto& f : files) {
        expected.push_back("caption Importing " + f);
        expected.push_back("messages");
    }
    expected.insert(expected.end(), {"arrow", "caption restored", "labels changed", "show list"});
    EXPECT_EQ(w.events, expected);
    EXPECT_TRUE(r.Redisplayed);
}

TEST(ImportCommand, NothingStoredMeansNoRedisplayAndNoMessage) {
    // An XML file without recipes and a second import of the same file: both accepted, no
    // message, the count unchanged, the list not redisplayed.
    TempStore t;
    ASSERT_TRUE(ImportMealMasterExport(t.store, Fixture("mealmaster-dashes.mmf")));
    RecordingPrompts p;
    p.AnswerOpen({Fixture("mastercook-norecipe.mx2"), Fixture("mealmaster-dashes.mmf")});
    // The second file is stopped by its first title, and the user is told (nothing was said
    // before: the file was dropped silently).
    const std::string stopped = "Recipe \"Caf\xE2\x80\x9A au lait\" is already in the collection; "
                                "nothing was imported from " +
                                Fixture("mealmaster-dashes.mmf") +
                                ". To import its other recipes, import it again with \"Skip "
                                "recipes whose title is already in the collection\" ticked in "
                                "the import dialog.";
    p.answer(PromptAnswer::Ok, stopped);
    Window w;
    TImportCommandResult r = RunImportCommand(p, t.store, w.Callbacks(), "/");
    EXPECT_TRUE(p.failures().empty());
    EXPECT_EQ(p.messages(), std::vector<std::string>{stopped});
    EXPECT_FALSE(r.Redisplayed);
    ASSERT_EQ(r.Files.size(), 2u);
    EXPECT_TRUE(r.Files[1].StoppedOnTitle);
    EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "show list"), 0);
    EXPECT_EQ(t.RecipeCount(), 2);
}

TEST(ImportCommand, UnreadableFileEndsTheCommand) {
    TempStore t;
    RecordingPrompts p;
    const std::string missing = t.Folder() + "/missing.mmf";
    p.AnswerOpen({Fixture("mealmaster-mmmmm.mmf"), missing, Fixture("mastercook.mxp")});
    Window w;
    EXPECT_THROW(RunImportCommand(p, t.store, w.Callbacks(), "/"), EInOutError);
    // The first file stays imported and is shown; the third is never read.
    EXPECT_EQ(t.RecipeCount(), 2);
    t.ExpectSummariesMatchTable();
    EXPECT_FALSE(t.store.InTransaction());
    EXPECT_EQ(std::count(w.events.begin(), w.events.end(),
                         "caption Importing " + Fixture("mastercook.mxp")),
              0);
    EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "show list"), 1);
    EXPECT_EQ(w.events.back(), "show list");
    EXPECT_NE(std::find(w.events.begin(), w.events.end(), "arrow"), w.events.end())
        << "the hourglass is lifted";
}

TEST(ImportCommand, CascadeOrderDecidesMixedFiles) {
    // A file with both a MasterCook text marker and a Meal-Master marker goes to the first
    // reader; an XML file holding a Meal-Master recipe goes to the Meal-Master reader.
    TempStore t;
    std::string both = t.WriteFile(
        "both.txt",
        "Exported from  MasterCook\n\nMC\n\n\nServes\nCat\n\n\n\nBody\n"
        "- - - - - - - - - - - - - - - - - -\n"
        "Recipe via Meal-Master\n\n      Title: MM\n Categories: x\n      Yield: 1\nMMMMM\n");
    TFileImport r = ImportFile(t.store, both);
    EXPECT_EQ(r.Reader, "MasterCook text");
    EXPECT_EQ(r.Added, 1);

    std::string xml = t.WriteFile(
        "mm.mx2", "<?xml version=\"1.0\"?>\nRecipe via Meal-Master\n\n      Title: X\n");
    r = ImportFile(t.store, xml);
    EXPECT_EQ(r.Reader, "Meal-Master export");

    r = ImportFile(t.store, Fixture("empty.txt"));
    EXPECT_FALSE(r.Accepted);
    EXPECT_EQ(ImproperFileMessage("f.mmf"), "Improper Recipe File f.mmf");
}

TEST(ImportCommand, SummaryAndDetailsOfSeveralFiles) {
    const std::string twiceText = "MMMMM----- Recipe via Meal-Master\n\n      Title: Tea\n "
                                  "Categories: \n      Yield: 1\nMMMMM\n"
                                  "MMMMM----- Recipe via Meal-Master\n\n      Title: Milk\n "
                                  "Categories: \n      Yield: 1\nMMMMM\n";
    for (bool skip : {false, true}) {
        TempStore s;
        ASSERT_TRUE(ImportMealMasterExport(s.store, Fixture("mealmaster-dashes.mmf")));
        const std::string twice = s.WriteFile("twice.mmf", twiceText);
        const std::vector<std::string> files = {Fixture("mealmaster-mmmmm.mmf"),
                                                Fixture("not-a-recipe.txt"), twice,
                                                Fixture("mealmaster-dashes.mmf")};
        ScriptedPrompts p;
        p.SetAutoAcknowledge(true);
        p.AnswerOpen(files);
        TImportOptions options;
        options.SkipExisting = skip;
        Window w;
        TImportCommandResult r = RunImportCommand(p, s.store, w.Callbacks(), "/", options);
        const std::string notRecipes =
            files[1] + ": refused, it is not a recipe file of a kind this program reads.\n";
        if (!skip) {
            EXPECT_EQ(ImportSummaryText(r), "2 recipes added from 4 files, 3 refused.");
            EXPECT_EQ(ImportDetailsText(r),
                      notRecipes + twice +
                          ": refused, recipe \"Tea\" is already in the collection; nothing was "
                          "imported.\n" +
                          files[3] +
                          ": refused, recipe \"Caf\xE2\x80\x9A au lait\" is already in the "
                          "collection; nothing was imported.\n");
        } else {
            EXPECT_EQ(ImportSummaryText(r), "3 recipes added from 4 files, 3 skipped, 1 refused.");
            EXPECT_EQ(
                ImportDetailsText(r),
                notRecipes + twice +
                    ": 1 recipe added, 1 recipe skipped (title already in the collection).\n" +
                    files[3] +
                    ": 0 recipes added, 2 recipes skipped (title already in the collection).\n" +
                    files[3] + ": line 1 stands outside any recipe and was not imported.\n");
        }
    }
    EXPECT_EQ(ImportDetailsText(TImportCommandResult{}), "");
}

// A FIFO can be read only once, yet each reader of the cascade reads the file from its start:
// what comes through it is kept aside, and gives the rows the file itself gives.
TEST(ImportCommand, FifoGivesTheRowsOfTheFile) {
    std::signal(SIGPIPE, SIG_IGN);
    for (const char* name :
         {"mealmaster-mmmmm.mmf", "mastercook.mx2", "mastercook.mxp", "mealmaster-extract.txt"}) {
        SCOPED_TRACE(name);
        TempStore fromFile, fromFifo;
        const TFileImport a = ImportFile(fromFile.store, Fixture(name));
        const std::string fifo = fromFifo.Folder() + "/in";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::thread writer([&] {
            std::ifstream in(Fixture(name), std::ios::binary);
            std::ofstream(fifo, std::ios::binary) << in.rdbuf();
        });
        TFileImport b;
        try {
            b = ImportFile(fromFifo.store, fifo);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        writer.join();
        EXPECT_GT(a.Added, 0);
        EXPECT_EQ(b.Reader, a.Reader);
        EXPECT_EQ(b.Added, a.Added);
        const auto want = fromFile.Recipes(), got = fromFifo.Recipes();
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].title, want[i].title);
            EXPECT_EQ(got[i].categories, want[i].categories);
            EXPECT_EQ(got[i].lines, want[i].lines);
        }
    }
}

// Both indexes take a file's recipes with its commit; a file stopped by a title already there
// leaves nothing behind in either, and later saves are indexed again one by one.
TEST(ImportCommand, ImportedRecipesAreSearchable) {
    TempStore t;
    ASSERT_EQ(ImportFile(t.store, Fixture("mealmaster-mmmmm.mmf")).Added, 2);
    TSearchIndex& index = t.store.SearchIndex();
    TIngredientIndex& items = t.store.IngredientIndex();
    EXPECT_EQ(index.Search("creme custard").size(), 1u);
    EXPECT_EQ(index.Search("rice boil").size(), 1u);
    EXPECT_EQ(items.Search("egg yolk vanilla").size(), 1u);
    EXPECT_EQ(items.Search("rice").size(), 1u);
    const std::string stopped = t.WriteFile(
        "stopped.mmf", "MMMMM----- Recipe via Meal-Master\n\n      Title: Zucchini loaf\n"
                       " Categories: \n      Yield: 1\n\n      2    Zucchini\nMMMMM\n"
                       "MMMMM----- Recipe via Meal-Master\n\n      Title: plain rice\n"
                       " Categories: \n      Yield: 1\nMMMMM\n");
    EXPECT_TRUE(ImportFile(t.store, stopped).StoppedOnTitle);
    EXPECT_TRUE(index.Search("zucchini").empty());
    EXPECT_TRUE(items.Search("zucchini").empty());
    RecipeValue v;
    v.Title = "Quince paste";
    v.Lines = {"      2    Quinces"};
    const int32_t quince = t.store.SaveRecipeValue(v);
    EXPECT_EQ(index.Search("quince"), std::vector<int32_t>{quince});
    EXPECT_EQ(items.Search("quince"), std::vector<int32_t>{quince});
}
