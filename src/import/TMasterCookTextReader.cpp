// The MasterCook column text export reader.
#include "import/TMasterCookTextReader.h"

#include "import/ImportText.h"
#include "platform/Text.h"
#include "store/Tables.h"

namespace larderly::import {

bool TMasterCookTextReader::FindStart(TLineReader& in) {
    while (!in.Eof())
        if (Contains(in.ReadLine(), kStartMarker)) return true;
    return false;
}

bool TMasterCookTextReader::ParseRecipe(TLineReader& in, TImportedRecipe& out) {
    in.ReadLine(); // the line after the marker
    out.Title = CutChars(Field(in.ReadLine()), kTitleWidth);
    if (Contains(out.Title, kReadMe)) return false;
    in.ReadLine(); // blank
    in.ReadLine(); // "Recipe By"
    out.Lines.push_back(Field(Columns(in.ReadLine(), 1, 20)));

    const std::string cats = in.ReadLine();
    out.Categories[0] = CategoryField(Columns(cats, 16, 45));
    out.Categories[1] = CategoryField(Columns(cats, 50, 79));
    // A second category line gives category 3; category 4 comes from the line after it.
    const std::string more = in.ReadLine();
    if (!Field(more).empty()) {
        out.Categories[2] = CategoryField(Columns(more, 16, 45));
        out.Categories[3] = CategoryField(Columns(in.ReadLine(), 50, 79));
    }
    in.ReadLine();
    in.ReadLine();

    // The first body line is always taken; the end marker is looked for after it. A file
    // that ends inside the body ends the recipe with its last line.
    std::string line = in.ReadLine();
    for (;;) {
        out.Lines.push_back(MasterCookBodyLine(line));
        if (in.Eof()) break;
        line = in.ReadLine();
        if (Contains(line, kEndMarker)) break;
    }
    return true;
}

} // namespace larderly::import
