// The MasterCook column text export (*.mxp). Each recipe starts at a line holding
// "Exported from  MasterCook" and ends at the rule of 18 spaced hyphens; title, servings and
// categories stand on fixed lines after the marker, and ingredient lines are rebuilt from
// their columns. "Read Me" recipes are skipped.
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

protected:
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;
};

} // namespace larderly::import
