// The MasterCook column text export (*.mxp). Each recipe starts at a line holding
// "Exported from  MasterCook" and ends at the rule of 18 spaced hyphens; title, servings and
// categories stand on fixed lines after the marker, and ingredient lines are rebuilt from
// their columns. "Read Me" recipes are skipped.
//
// Files from other programs and versions are read too: a marker line with other spacing
// ("* Exported from MasterCook *", "*Exported from MasterCook*", "... MasterCook Mac") is
// found once runs of blanks are collapsed, when a recipe header follows it, except in XML
// files, whose text form belongs to the XML reader. A recipe whose categories take three or more
// lines keeps its first four, and its body starts after the category block and the ingredient
// heading, not inside them.
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
    void Begin() override { sawContent_ = xml_ = false; }
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;

private:
    static bool RecipeFollows(TLineReader& in);

    bool sawContent_ = false; // a line that is not blank has been read
    bool xml_ = false;        // the first such line begins with "<"
};

} // namespace larderly::import
