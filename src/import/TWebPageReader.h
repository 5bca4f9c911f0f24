// Saved web pages (*.html, *.htm) and JSON files that describe recipes the way recipe sites
// publish them for search engines: schema.org Recipe objects in JSON-LD script blocks
// (also inside @graph, or with several types such as ["Recipe", "NewsArticle"]) and in
// microdata (itemscope/itemtype/itemprop). Each recipe becomes one stored recipe: its name
// as the title, recipeCategory, recipeCuisine and keywords as up to four categories,
// recipeYield as the servings line, recipeIngredient as a Meal-Master ingredient block,
// recipeInstructions (texts, steps, sections under their names) as the directions, and the
// description, times, author and page address at the end. A page without a recipe is
// refused. The page is read with an HTML parser and the JSON with a JSON parser.
#pragma once

#include "import/TImportReader.h"

#include <deque>
#include <string>
#include <vector>

namespace larderly::import {

// Every recipe a page (HTML, or a JSON document) describes, in page order. `isPage` tells
// whether the text was an HTML page or a JSON document at all.
std::vector<TImportedRecipe> ReadWebPage(const std::string& text, bool* isPage = nullptr);

// An ISO 8601 duration in words ("PT1H30M" -> "1 hour 30 minutes"); the text itself when it
// is no duration, and empty for a duration of nothing.
std::string DurationWords(const std::string& iso);

class TWebPageReader : public TImportReader {
public:
    using TImportReader::TImportReader;
    const char* Name() const override { return "Web page"; }

    // Whether the last file read was an HTML page or JSON document (with or without recipe).
    bool SawPage() const { return sawPage_; }

protected:
    void Begin() override;
    bool FindStart(TLineReader& in) override;
    bool ParseRecipe(TLineReader& in, TImportedRecipe& out) override;

private:
    bool read_ = false;
    bool sawPage_ = false;
    std::deque<TImportedRecipe> recipes_;
};

} // namespace larderly::import
