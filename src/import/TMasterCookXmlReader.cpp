// The MasterCook XML export reader.
#include "import/TMasterCookXmlReader.h"

#include "import/ImportText.h"
#include "platform/Text.h"
#include "store/Tables.h"

namespace larderly::import {

bool TMasterCookXmlReader::FindStart(TLineReader& in) {
    if (!firstLineRead_) {
        // The first line decides, and is never a start marker itself.
        firstLineRead_ = true;
        refused_ = !Contains(in.ReadLine(), kXmlMarker);
        if (!refused_) Accept();
    }
    if (refused_) return false;
    while (!in.Eof())
        if (Contains(in.ReadLine(), kStartMarker)) return true;
    return false;
}

bool TMasterCookXmlReader::ParseRecipe(TLineReader& in, TImportedRecipe& out) {
    in.ReadLine();
    out.Title = CutChars(Field(in.ReadLine()), kTitleWidth);
    in.ReadLine();
    in.ReadLine();
    out.Lines.push_back(Field(Columns(in.ReadLine(), 1, 20)));

    const std::string cats = in.ReadLine();
    out.Categories[0] = CategoryField(Columns(cats, 16, 45));
    out.Categories[1] = CategoryField(Columns(cats, 49, 78));
    const std::string more = in.ReadLine();
    if (!Field(more).empty()) {
        out.Categories[2] = CategoryField(Columns(more, 16, 45));
        out.Categories[3] = CategoryField(Columns(in.ReadLine(), 49, 78));
    }
    in.ReadLine();
    in.ReadLine();

    // The line that ends the body, a "Source:" line or the file's last line (in an XML file,
    // markup), is not part of the recipe.
    std::string line = in.ReadLine();
    for (;;) {
        out.Lines.push_back(MasterCookBodyLine(line));
        line = in.ReadLine();
        if (Contains(line, kEndMarker) || in.Eof()) break;
    }
    return true;
}

} // namespace larderly::import
