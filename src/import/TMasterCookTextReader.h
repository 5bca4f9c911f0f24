// The MasterCook column text export (*.mxp). Each recipe starts at a line holding
// "Exported from  MasterCook" and ends at the rule of 18 spaced hyphens; title, servings and
// categories stand on fixed lines after the marker, and ingredient lines are rebuilt from
// their columns. "Read Me" recipes are skipped.
//
// Files from other programs and versions are read too, wherever the fixed reading would lose
// or mix up recipes, and only there:
// - a marker line with other spacing ("* Exported from MasterCook *", "*Exported from
//   MasterCook*", "... MasterCook Mac") is found once runs of blanks are collapsed, when a
//   recipe header follows it; never in XML files, whose text form belongs to the XML reader,
//   and never in a file that holds another layout's start marks but no MasterCook text marker
//   (a Meal-Master file whose recipes mention MasterCook stays a Meal-Master file);
// - a start marker inside a recipe's text begins the next recipe (the first one lacked its
//   closing rule); a shorter or other rule standing just before it is dropped;
// - a header with blank lines between its servings and categories lines is read from them;
// - a category block of three or more full lines keeps its first four names, and its body
//   starts after the block and the ingredient heading, not inside them; a fourth name on the
//   second category line is kept when the line after it is blank;
// - lines are read with tabs expanded to 8-column stops, and a second category that starts
//   one column early is read whole.
#pragma once

#include "import/TImportReader.h"

namespace larderly::import {

class TMasterCookTextReader : public TImportReader {
public:
    using TImportReader::TImportReader;
    const char* Name() const override { return "MasterCook text"; }

    static constexpr const char* kStartMarker = "Exported from  MasterCook";
    static constexpr const char* kReadMe = "Read Me";
    static constexpr const char* kEndMarker = "- - - - - - - - - - - - - - - - - -";

    // A marker line in other spacing: "Exported from MasterCook" once runs of blanks are one.
    static bool IsLooseMarker(const std::string& line);

protected:
    void Begin() override { sawContent_ = xml_ = marksRead_ = otherLayout_ = false; }
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;

private:
    static bool RecipeFollows(TLineReader& in);
    // Whether the line starts a recipe (the lines looked at ahead stay to be read).
    bool IsStart(const std::string& line, TLineReader& in) const;

    bool sawContent_ = false; // a line that is not blank has been read
    bool xml_ = false;        // the first such line begins with "<"
    bool marksRead_ = false;
    // The file holds another layout's start marks and no MasterCook text marker.
    bool otherLayout_ = false;
};

} // namespace larderly::import
