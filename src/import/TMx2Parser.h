// The structured MasterCook XML export (<mx2> with <RcpE> recipes), read with Qt's XML stream
// reader made tolerant of what real files carry: the declaration is left out (real ones are
// often not well-formed, "standalone" before "encoding", and the character set is chosen by
// the line reader, not by what the declaration claims), a bare "&" or an entity XML does not
// know is taken as text, and an error ends the reading with the recipes already complete.
// Each recipe comes out in the shape the text form of the export gives: title, the first four
// categories, the servings line, the ingredient lines in the column layout of the text reader,
// a blank line, and the directions.
#pragma once

#include "import/TImportReader.h"

#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace larderly::import {

class TMx2Parser {
public:
    TMx2Parser();
    ~TMx2Parser();
    TMx2Parser(const TMx2Parser&) = delete;
    TMx2Parser& operator=(const TMx2Parser&) = delete;

    // The next piece of the file (UTF-8 lines with their line feeds).
    void Feed(std::string_view text);
    // No more pieces come.
    void Finish();
    // Takes the next complete recipe; false when none is ready yet.
    bool Next(TImportedRecipe& out);
    // Whether an <mx2> or <RcpE> element has been seen: the file is a MasterCook XML export.
    bool Recognised() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// A line made safe for the XML stream reader: the XML declaration left out, and every "&"
// that does not start one of XML's own entities or a character reference written as "&amp;".
std::string TolerantXmlLine(std::string_view line);

} // namespace larderly::import
