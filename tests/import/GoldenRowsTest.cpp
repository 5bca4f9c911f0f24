// The rows that every original fixture gives, pinned byte for byte: each file goes through the
// whole cascade into an empty store, and the dump of what it stored (reader, recipes with their
// category names and text lines, labels) must equal the dump kept in golden/fixtures.txt. The
// tolerant reading of real-world files must never change what these files give.
// LARDERLY_WRITE_GOLDEN=<path> writes the dump there instead of comparing.
#include "ImportTestSupport.h"
#include "import/ImportCommand.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace larderly;
using namespace larderly::import;
using namespace larderly::import::test;

namespace {

// Bytes outside printable ASCII shown as \xNN, so the dump is plain text and exact.
std::string Escaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string Dump(const std::string& name) {
    TempStore t;
    TFileImport r = ImportFile(t.store, Fixture(name));
    std::ostringstream out;
    out << "== " << name << " accepted=" << r.Accepted << " reader=" << r.Reader
        << " added=" << r.Added << " stopped=" << r.StoppedOnTitle << "\n";
    for (const StoredRecipe& rec : t.Recipes()) {
        out << "recipe " << rec.id << " [" << Escaped(rec.title) << "]";
        for (const auto& c : rec.categories)
            out << " {" << Escaped(c) << "}";
        out << "\n";
        for (const auto& l : rec.lines)
            out << "  |" << Escaped(l) << "|\n";
    }
    TTable& labels = t.store.tblListLabel();
    for (labels.First(); !labels.Eof(); labels.Next())
        out << "label " << labels.FieldAsInteger(fld::InternalID) << " kind "
            << labels.FieldAsInteger(fld::LabelKind) << " ["
            << Escaped(labels.FieldAsString(fld::LabelName)) << "]\n";
    return out.str();
}

} // namespace

TEST(GoldenRows, OriginalFixturesGiveTheSameRows) {
    // The fixtures as they stood before the tolerant reading existed; new fixtures live elsewhere.
    const char* fixtures[] = {"empty.txt",
                              "mastercook-norecipe.mx2",
                              "mastercook-truncated.mxp",
                              "mastercook.mx2",
                              "mastercook.mxp",
                              "mealmaster-dashes.mmf",
                              "mealmaster-extract.txt",
                              "mealmaster-fifth-duplicate.mmf",
                              "mealmaster-mmmmm.mmf",
                              "mealmaster-proexchange.mmf",
                              "mealmaster-unclosed.mmf",
                              "not-a-recipe.txt"};
    std::string dump;
    for (const char* f : fixtures)
        dump += Dump(f);

    const std::string golden =
        std::string(LARDERLY_SOURCE_DIR) + "/tests/import/golden/fixtures.txt";
    if (const char* to = std::getenv("LARDERLY_WRITE_GOLDEN")) {
        std::ofstream(to, std::ios::binary) << dump;
        GTEST_SKIP() << "dump written to " << to;
    }
    std::ifstream in(golden, std::ios::binary);
    ASSERT_TRUE(in) << "missing " << golden;
    const std::string want((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(dump, want);
}
