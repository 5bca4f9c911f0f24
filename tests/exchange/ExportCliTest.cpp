// larderly-cli export: a collection imported from a file, exported and imported into an
// empty collection lists the same recipes; a book and identifiers choose what is written.
#include "RunCommand.h"
#include "TestHome.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using larderly::testing::TestHome;

namespace {
larderly::testing::CommandResult Cli(const TestHome& h, const std::string& args) {
    return larderly::testing::RunCommand(larderly::testing::BuiltProgram("larderly-cli") +
                                         " --home " + h.home() + " " + args);
}
std::string Fixture(const std::string& name) {
    return std::string(LARDERLY_SOURCE_DIR) + "/tests/data/import/" + name;
}
} // namespace

TEST(ExportCli, RoundTripThroughAnEmptyCollection) {
    TestHome a;
    ASSERT_EQ(Cli(a, "import " + Fixture("mealmaster-mmmmm.mmf") + " " +
                         Fixture("mealmaster-extract.txt"))
                  .status,
              0);
    const auto listed = Cli(a, "list");
    ASSERT_EQ(listed.status, 0);
    for (const char* format : {"mmf", "mxp"}) {
        SCOPED_TRACE(format);
        const std::string file = a.path(std::string("all.") + format);
        auto r = Cli(a, std::string("export --format ") + format + " --encoding cp437 " + file);
        EXPECT_EQ(r.status, 0) << r.out;
        TestHome b;
        r = Cli(b, "import --encoding cp437 " + file);
        EXPECT_EQ(r.status, 0) << r.out;
        // Same titles and categories (identifiers follow the export's order, so compare
        // without them).
        auto strip = [](std::string s) {
            std::string out;
            std::istringstream in(s);
            for (std::string line; std::getline(in, line);)
                out += line.substr(line.find('\t')) + "\n";
            return out;
        };
        EXPECT_EQ(strip(Cli(b, "list").out), strip(listed.out));
    }
}

TEST(ExportCli, ChoosesRecipesAndRefusesBadUse) {
    TestHome h;
    ASSERT_EQ(Cli(h, "import " + Fixture("mealmaster-mmmmm.mmf")).status, 0);
    auto r = Cli(h, "export --format mmf --id 1 " + h.path("one.mmf"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1 of 1 recipes written"), std::string::npos) << r.out;
    r = Cli(h, "export --format mmf --id 999 " + h.path("none.mmf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("999"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(h.path("none.mmf")));
    // Only the recipes search finds.
    r = Cli(h, "export --format mmf --search \"pla ric\" " + h.path("s.mmf"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1 of 1 recipes written"), std::string::npos) << r.out;
    {
        std::ifstream in(h.path("s.mmf"));
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_NE(text.str().find("Plain Rice"), std::string::npos);
        EXPECT_EQ(text.str().find("Cr\xc3\xa8me"), std::string::npos);
    }
    r = Cli(h, "export --format mmf --book Missing " + h.path("b.mmf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no book named"), std::string::npos) << r.out;
    for (const char* bad :
         {"export --format txt x", "export --format mmf --encoding koi8 x", "export --format mmf",
          "export --format mmf --id x", "export --format mmf --search x --id 1 y",
          "export --format mmf --search \" \" y"})
        EXPECT_EQ(Cli(h, bad).status, 2) << bad;
}

TEST(ExportCli, MissingCharactersAreWrittenNearestOrRefusedWhenStrict) {
    TestHome h;
    const std::string file = h.path("quote.mmf");
    std::ofstream(file) << "MMMMM----- Recipe via Meal-Master (tm) v8.05\n\n"
                           "      Title: Mom\xe2\x80\x99s toast\n Categories: Bread\n"
                           "   Servings: 1\n\n      1 sl Bread\n\n  Toast it.\nMMMMM\n";
    ASSERT_EQ(Cli(h, "import " + file).status, 0);
    auto r = Cli(h, "export --format mxp --encoding cp437 " + h.path("near.mxp"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1 of 1 recipes written to " + h.path("near.mxp") +
                         "; 1 of them reads back differently"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Mom\xe2\x80\x99s toast"), std::string::npos) << "the recipe is named";
    std::ifstream in(h.path("near.mxp"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(bytes.find("Mom's toast"), std::string::npos);
    r = Cli(h, "export --strict --format mxp --encoding cp437 " + h.path("strict.mxp"));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("0 of 1 recipes written; no file was made"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(h.path("strict.mxp")));
}
