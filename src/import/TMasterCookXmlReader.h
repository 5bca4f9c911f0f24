// The MasterCook XML export (*.mx2), read as text: the first line must hold the XML
// declaration; each recipe starts at "* Exported from MasterCook *" and ends at a "Source:"
// line or the end of the file. Columns as in the text export, except that the second
// category on a line stands one column further left. Titles already present are stored
// again: this reader does not check them.
//
// Real files often hold the recipes only as XML elements (<RcpE> and its parts), sometimes
// after a blank first line or without a declaration. When the declaration is missing from the
// first line but the file begins with XML, or when a declared file has no recipe in the text
// form, the file is read again with an XML parser (TMx2Parser).
#pragma once

#include "import/TImportReader.h"
#include "import/TMx2Parser.h"

#include <memory>

namespace larderly::import {

class TMasterCookXmlReader : public TImportReader {
public:
    using TImportReader::TImportReader;
    const char* Name() const override { return "MasterCook XML"; }

    static constexpr const char* kXmlMarker = "<?xml version";
    static constexpr const char* kStartMarker = "* Exported from MasterCook *";
    static constexpr const char* kEndMarker = "Source:";

protected:
    void Begin() override;
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;
    bool ChecksTitles() const override { return false; }

private:
    // Reads the file again from the top with the XML parser.
    void StartParser(TLineReader& in);
    // The next recipe from the parser; false at the end of the file.
    bool NextParsed(TLineReader& in);

    bool firstLineRead_ = false;
    bool refused_ = false;
    int textRecipes_ = 0; // recipes read in the text form
    std::unique_ptr<TMx2Parser> parser_;
    bool parserFinished_ = false;
    TImportedRecipe parsed_; // the recipe NextParsed found, for ParseRecipe
};

} // namespace larderly::import
