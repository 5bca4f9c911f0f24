// Field handling shared by the readers: columns of a line, trimmed fields, padding and the
// category-name clean-up. Lines are UTF-8 (see TLineReader); columns count characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace larderly::import {

// A field is at most this many characters; a longer one is cut before it is trimmed.
inline constexpr std::size_t kFieldWidth = 255;

// The characters at 1-based positions p to q of the line; a line that ends sooner gives the
// part that exists, possibly nothing.
std::string Columns(std::string_view line, std::size_t p, std::size_t q);

// The text cut to 255 characters, then stripped of codes 0 to 32 at both ends.
std::string Field(std::string_view text);

// Blanks appended until the text has n characters; a longer text is left as it is.
std::string PadTo(std::string text, std::size_t n);

// Whether `part` occurs in the line, letter case counting.
inline bool Contains(std::string_view line, std::string_view part) {
    return line.find(part) != std::string_view::npos;
}

// A category name as the MasterCook readers take it: the trimmed field without its first
// asterisk (the name is not trimmed again afterwards).
std::string CategoryField(std::string_view text);

// The first word of a trimmed text: everything up to and including its first blank,
// trimmed. A text without a blank gives nothing.
std::string FirstWord(std::string_view trimmed);

} // namespace larderly::import

namespace larderly::import {

// A MasterCook line with its tab characters turned into blanks up to the next 8-column stop,
// so that its columns are those the program that wrote it lined up.
std::string ExpandTabs(std::string_view line);

// A MasterCook body line: a line that begins with a blank is an ingredient line and is
// rebuilt from its amount (columns 1-8, padded to 8), measure (columns 11-24, padded to 15)
// and ingredient (columns 25-104), each trimmed, its tabs expanded first. A line that does not
// fit those columns (a character in columns 9-10 or past column 104: a direction line that
// begins with a blank, a long ingredient) would lose characters that way, and is kept as it
// stands instead, without its trailing blanks. Any other line stays as it is.
std::string MasterCookBodyLine(const std::string& line);

// A MasterCook category name from columns p to q, read as CategoryField does; a name that
// starts one column early (a character in column p-1 after a blank) is read from there, whole.
std::string CategoryAt(std::string_view line, std::size_t p, std::size_t q);

// A line of hyphens and blanks only, with at least five hyphens: a rule such as the ones
// that close recipes, in any length or spacing.
bool IsHyphenRule(std::string_view line);

// Takes a closing rule that did not close the recipe off the end of its text: when the last
// line that is not blank passes `isRule`, it and the blank lines after it go. For a recipe
// whose text ran on to the next recipe's start or to the end of the file.
template <typename Pred>
void DropTrailingRule(std::vector<std::string>& lines, std::size_t from, Pred isRule) {
    std::size_t end = lines.size();
    while (end > from && Field(lines[end - 1]).empty())
        --end;
    if (end > from && isRule(lines[end - 1])) lines.resize(end - 1);
}

// "Serving Size  : " followed by the servings: the first text line of a Meal-Master recipe.
std::string MealMasterServingsLine(std::string_view servings);

} // namespace larderly::import
