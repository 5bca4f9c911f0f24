// The order of recipe titles (and book names) in the program's lists.
#pragma once

#include <cstddef>
#include <string_view>

namespace larderly {

// The order of titles in lists: as CompareFolded, except that the Latin letters with accents
// (and the ligatures) of U+00C0 to U+017F count as their base letters, so that "Éclairs"
// sorts beside "Eclairs"; titles that differ only there keep the CompareFolded order
// between them. Titles without those letters compare exactly as CompareFolded does.
int CompareTitles(std::string_view a, std::string_view b);

// The first n bytes of the sequence CompareTitles compares first (zero-padded): a cheap key
// whose order agrees with CompareTitles wherever two keys differ.
void TitleSortPrefix(std::string_view s, unsigned char* out, std::size_t n);

} // namespace larderly
