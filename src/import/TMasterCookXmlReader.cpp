// The MasterCook XML export reader.
#include "import/TMasterCookXmlReader.h"

#include "import/ImportText.h"
#include "platform/Text.h"
#include "store/Tables.h"

namespace larderly::import {

namespace {

// Whether the first text of the file, past blank lines, is XML: a declaration, the <mx2>
// element or its document type. The lines read stay to be read again.
bool BeginsWithXml(const std::string& first, TLineReader& in) {
    std::vector<std::string> ahead;
    std::string line = first;
    for (int i = 0; i < 20 && Field(line).empty() && !in.Eof(); ++i) {
        line = in.ReadLine();
        ahead.push_back(line);
    }
    for (auto it = ahead.rbegin(); it != ahead.rend(); ++it)
        in.PushBack(std::move(*it));
    const std::string t = FoldAZ(Field(line));
    return t.rfind("<?xml", 0) == 0 || t.rfind("<mx2", 0) == 0 || t.rfind("<!doctype mx2", 0) == 0;
}

} // namespace

void TMasterCookXmlReader::Begin() {
    firstLineRead_ = refused_ = parserFinished_ = false;
    textRecipes_ = 0;
    parser_.reset();
}

void TMasterCookXmlReader::StartParser(TLineReader& in) {
    in.Rewind();
    ForgetPassedOver();
    parser_ = std::make_unique<TMx2Parser>();
    parserFinished_ = false;
}

bool TMasterCookXmlReader::NextParsed(TLineReader& in) {
    for (;;) {
        if (parser_->Recognised()) Accept();
        if (parser_->Next(parsed_)) return true;
        if (parserFinished_) return false;
        if (in.Eof()) {
            parser_->Finish();
            parserFinished_ = true;
            continue;
        }
        parser_->Feed(TolerantXmlLine(in.ReadLine()) + "\n");
    }
}

bool TMasterCookXmlReader::FindStart(TLineReader& in) {
    if (!firstLineRead_) {
        // The first line decides, and is never a start marker itself.
        firstLineRead_ = true;
        const std::string first = in.ReadLine();
        refused_ = !Contains(first, kXmlMarker);
        if (!refused_) {
            Accept();
        } else if (BeginsWithXml(first, in)) {
            // Without the declaration there, the file is still read when it begins with XML:
            // through its text form when it has one, else with the parser, and accepted once
            // the parser meets a MasterCook element.
            if (ScanMarks(in).MasterCookXmlText) {
                refused_ = false;
                Accept();
                in.ReadLine();
            } else {
                StartParser(in);
            }
        }
    }
    if (parser_) return NextParsed(in);
    if (refused_) return false;
    while (!in.Eof()) {
        const std::string line = in.ReadLine();
        if (Contains(line, kStartMarker)) return true;
        // The markup around the text form is not text left out.
        const std::string t = Field(line);
        if (!Contains(line, kEndMarker) && t.rfind('<', 0) != 0 && t.rfind("]]>", 0) != 0)
            PassOver(in, line);
    }
    // No recipe in the text form: the recipes may be there as XML elements only.
    if (textRecipes_ > 0) return false;
    StartParser(in);
    return NextParsed(in);
}

bool TMasterCookXmlReader::ParseRecipe(TLineReader& in, TImportedRecipe& out) {
    if (parser_) {
        out = std::move(parsed_);
        return true;
    }
    ++textRecipes_;
    in.ReadLine();
    out.Title = CutChars(Field(in.ReadLine()), kTitleWidth);
    in.ReadLine();
    in.ReadLine();
    out.Lines.push_back(Field(Columns(in.ReadLine(), 1, 20)));

    const std::string cats = ExpandTabs(in.ReadLine());
    out.Categories[0] = CategoryField(Columns(cats, 16, 45));
    out.Categories[1] = CategoryAt(cats, 49, 78);
    const std::string more = ExpandTabs(in.ReadLine());
    if (!Field(more).empty()) {
        out.Categories[2] = CategoryField(Columns(more, 16, 45));
        // The fourth name on the line after; when that line is blank, the second line's own.
        const std::string third = ExpandTabs(in.ReadLine());
        out.Categories[3] =
            Field(third).empty() ? CategoryAt(more, 49, 78) : CategoryAt(third, 49, 78);
    }
    in.ReadLine();
    in.ReadLine();

    // The line that ends the body, a "Source:" line or the file's last line (in an XML file,
    // markup), is not part of the recipe. The next recipe's marker ends it too (this one had
    // no "Source:" line) and stays to be read.
    std::string line = in.ReadLine();
    for (;;) {
        out.Lines.push_back(MasterCookBodyLine(line));
        line = in.ReadLine();
        if (Contains(line, kEndMarker) || in.Eof()) break;
        if (Contains(line, kStartMarker)) {
            in.PushBack(std::move(line));
            break;
        }
    }
    return true;
}

} // namespace larderly::import
