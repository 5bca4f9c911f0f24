// The MasterCook XML export (*.mx2), read as text: the first line must hold the XML
// declaration; each recipe starts at "* Exported from MasterCook *" and ends at a "Source:"
// line or the end of the file. Columns as in the text export, except that the second
// category on a line stands one column further left. Titles already present are stored
// again: this reader does not check them.
#pragma once

#include "import/TImportReader.h"

namespace larderly::import {

class TMasterCookXmlReader : public TImportReader {
public:
    using TImportReader::TImportReader;
    const char* Name() const override { return "MasterCook XML"; }

    static constexpr const char* kXmlMarker = "<?xml version";
    static constexpr const char* kStartMarker = "* Exported from MasterCook *";
    static constexpr const char* kEndMarker = "Source:";

protected:
    void Begin() override { firstLineRead_ = false; refused_ = false; }
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;
    bool ChecksTitles() const override { return false; }

private:
    bool firstLineRead_ = false;
    bool refused_ = false;
};

} // namespace larderly::import
