// Text helpers. Text is UTF-8 throughout; widths count characters and never split one.
#pragma once

#include <string>
#include <string_view>

namespace larderly {

// The first n characters of s (UTF-8 aware; an invalid byte counts as one character).
std::string CutChars(std::string_view s, std::size_t n);

// Number of characters in s.
std::size_t CharCount(std::string_view s);

// Folds the letters A-Z to a-z and leaves every other byte as it is.
char LowerAZ(char c);
std::string FoldAZ(std::string_view s);

// The letters a-z as A-Z; every other byte (UTF-8 sequences too) stays as it is.
char UpperAZ(char c);
std::string UpperAZ(std::string_view s);

// Compares after folding the letters a-z to upper case, byte by byte otherwise; a string
// that is a prefix of a longer one sorts first: <0, 0, >0. This is the recipe list's order.
int CompareFolded(std::string_view a, std::string_view b);

// Removes characters with codes 0 to 32 from both ends.
std::string TrimCodes(std::string_view s);
std::string TrimLeftCodes(std::string_view s);
std::string TrimRightCodes(std::string_view s);

// Whether s is well-formed UTF-8.
bool IsValidUtf8(std::string_view s);

// Decodes Windows-1252 bytes to UTF-8. The five codes Windows-1252 leaves unassigned (81, 8D,
// 8F, 90, 9D) become the C1 controls of the same number, as Windows does.
std::string DecodeWindows1252(std::string_view bytes);

// UTF-8 as it is when valid, otherwise the bytes decoded as Windows-1252.
std::string ToUtf8(std::string_view bytes);

// Case-insensitive (A-Z only) equality, and the same for the start of s.
bool SameTextAZ(std::string_view a, std::string_view b);
bool StartsWithAZ(std::string_view s, std::string_view prefix);

} // namespace larderly
