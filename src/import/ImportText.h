// Field handling shared by the readers: columns of a line, trimmed fields, padding and the
// category-name clean-up. Lines are UTF-8 (see TLineReader); columns count characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// A MasterCook body line: a line that begins with a blank is an ingredient line and is
// rebuilt from its amount (columns 1-8, padded to 8), measure (columns 11-24, padded to 15)
// and ingredient (columns 25-104), each trimmed; any other line stays as it is.
std::string MasterCookBodyLine(const std::string& line);

// "Serving Size  : " followed by the servings: the first text line of a Meal-Master recipe.
std::string MealMasterServingsLine(std::string_view servings);

} // namespace larderly::import
