// Reading and writing ingredient lines. Columns count characters (the text is UTF-8).
#include "ingredients/IngredientLine.h"

#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace larderly::ingredients {
namespace {

// Each Meal-Master code with the MasterCook words written for it. Where a unit has two codes
// ("t"/"ts", "T"/"tb"), the two codes get different words, so both survive a trip through
// the other format.
constexpr std::array<UnitSpelling, 34> kUnits{{
    {"tsp", "t", "tsp", "tsp"},
    {"tsp", "ts", "teaspoon", "teaspoons"},
    {"tbsp", "T", "tbsp", "tbsp"},
    {"tbsp", "tb", "tablespoon", "tablespoons"},
    {"cup", "c", "cup", "cups"},
    {"pint", "pt", "pint", "pints"},
    {"quart", "qt", "quart", "quarts"},
    {"gallon", "ga", "gallon", "gallons"},
    {"fl oz", "fl", "fluid ounce", "fluid ounces"},
    {"oz", "oz", "ounce", "ounces"},
    {"lb", "lb", "pound", "pounds"},
    {"ml", "ml", "milliliter", "milliliters"},
    {"l", "l", "liter", "liters"},
    {"cl", "cl", "centiliter", "centiliters"},
    {"dl", "dl", "deciliter", "deciliters"},
    {"cc", "cb", "cubic cm", "cubic cm"},
    {"mg", "mg", "milligram", "milligrams"},
    {"cg", "cg", "centigram", "centigrams"},
    {"dg", "dg", "decigram", "decigrams"},
    {"g", "g", "gram", "grams"},
    {"kg", "kg", "kilogram", "kilograms"},
    {"can", "cn", "can", "cans"},
    {"package", "pk", "package", "packages"},
    {"pinch", "pn", "pinch", "pinches"},
    {"drop", "dr", "drop", "drops"},
    {"dash", "ds", "dash", "dashes"},
    {"carton", "ct", "carton", "cartons"},
    {"bunch", "bn", "bunch", "bunches"},
    {"slice", "sl", "slice", "slices"},
    {"each", "ea", "each", "each"},
    {"small", "sm", "small", "small"},
    {"medium", "md", "medium", "medium"},
    {"large", "lg", "large", "large"},
    {"serving", "x", "per serving", "per serving"},
}};

// Units that only the MasterCook side and plain English have.
constexpr std::array<UnitSpelling, 12> kWordUnits{{
    {"clove", "", "clove", "cloves"},
    {"stick", "", "stick", "sticks"},
    {"head", "", "head", "heads"},
    {"sprig", "", "sprig", "sprigs"},
    {"stalk", "", "stalk", "stalks"},
    {"jar", "", "jar", "jars"},
    {"envelope", "", "envelope", "envelopes"},
    {"box", "", "box", "boxes"},
    {"bottle", "", "bottle", "bottles"},
    {"packet", "", "packet", "packets"},
    {"whole", "", "whole", "whole"},
    {"piece", "", "piece", "pieces"},
}};

// Common English spellings and abbreviations (compared with the letters folded and a final
// dot dropped).
struct Alias {
    const char* Word;
    const char* Canonical;
};
constexpr Alias kAliases[] = {
    {"tsp", "tsp"},
    {"tsps", "tsp"},
    {"teaspoon", "tsp"},
    {"teaspoons", "tsp"},
    {"tbsp", "tbsp"},
    {"tbsps", "tbsp"},
    {"tbs", "tbsp"},
    {"tbl", "tbsp"},
    {"tablespoon", "tbsp"},
    {"tablespoons", "tbsp"},
    {"cup", "cup"},
    {"cups", "cup"},
    {"pint", "pint"},
    {"pints", "pint"},
    {"quart", "quart"},
    {"quarts", "quart"},
    {"gallon", "gallon"},
    {"gallons", "gallon"},
    {"ounce", "oz"},
    {"ounces", "oz"},
    {"oz", "oz"},
    {"pound", "lb"},
    {"pounds", "lb"},
    {"lb", "lb"},
    {"lbs", "lb"},
    {"ml", "ml"},
    {"milliliter", "ml"},
    {"milliliters", "ml"},
    {"millilitre", "ml"},
    {"millilitres", "ml"},
    {"liter", "l"},
    {"liters", "l"},
    {"litre", "l"},
    {"litres", "l"},
    {"g", "g"},
    {"gram", "g"},
    {"grams", "g"},
    {"gr", "g"},
    {"kg", "kg"},
    {"kilogram", "kg"},
    {"kilograms", "kg"},
    {"kilo", "kg"},
    {"kilos", "kg"},
    {"mg", "mg"},
    {"pinch", "pinch"},
    {"pinches", "pinch"},
    {"dash", "dash"},
    {"dashes", "dash"},
    {"drop", "drop"},
    {"drops", "drop"},
    {"can", "can"},
    {"cans", "can"},
    {"package", "package"},
    {"packages", "package"},
    {"pkg", "package"},
    {"pkgs", "package"},
    {"clove", "clove"},
    {"cloves", "clove"},
    {"slice", "slice"},
    {"slices", "slice"},
    {"bunch", "bunch"},
    {"bunches", "bunch"},
    {"carton", "carton"},
    {"cartons", "carton"},
    {"stick", "stick"},
    {"sticks", "stick"},
    {"sprig", "sprig"},
    {"sprigs", "sprig"},
    {"stalk", "stalk"},
    {"stalks", "stalk"},
    {"head", "head"},
    {"heads", "head"},
    {"jar", "jar"},
    {"jars", "jar"},
    {"envelope", "envelope"},
    {"envelopes", "envelope"},
    {"packet", "packet"},
    {"packets", "packet"},
    {"fl oz", "fl oz"},
    {"floz", "fl oz"},
    {"fluid ounce", "fl oz"},
    {"fluid ounces", "fl oz"},
    {"qt", "quart"},
    {"pt", "pint"},
    {"c", "cup"},
    {"l", "l"},
    {"dl", "dl"},
    {"cl", "cl"},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32)
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// How many of the first `limit` bytes of `s` are ASCII before the first one that is not.
std::size_t AsciiPrefix(std::string_view s, std::size_t limit) {
    limit = std::min(limit, s.size());
    std::size_t i = 0;
    for (; i + 8 <= limit; i += 8) {
        uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ULL) break;
    }
    while (i < limit && static_cast<unsigned char>(s[i]) < 0x80)
        ++i;
    return i;
}

// Characters p to q (1-based) of a line; what exists of them.
std::string_view Cols(std::string_view line, std::size_t p, std::size_t q) {
    // Up to the first character that is not ASCII, characters are bytes (most lines).
    const std::size_t end = std::min(line.size(), q);
    if (AsciiPrefix(line, end) == end) {
        if (p == 0 || p > end) return {};
        return line.substr(p - 1, end - (p - 1));
    }
    // Walk characters, not bytes.
    std::size_t ch = 1, i = 0, start = std::string_view::npos;
    while (i < line.size() && ch <= q) {
        if (ch == p) {
            start = i;
            // No more characters left than bytes: a range that reaches as far takes the rest.
            if (q - p >= line.size() - i) return line.substr(i);
        }
        const auto b = static_cast<unsigned char>(line[i]);
        std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        i += len;
        ++ch;
    }
    if (start == std::string_view::npos) return {};
    return line.substr(start, std::min(i, line.size()) - start);
}

bool AllBlank(std::string_view s) {
    for (char c : s)
        if (!IsBlank(c)) return false;
    return true;
}

struct UnicodeFraction {
    const char* Text;
    double Value;
};
constexpr UnicodeFraction kFractions[] = {
    {"½", 0.5},     {"⅓", 1.0 / 3}, {"⅔", 2.0 / 3}, {"¼", 0.25},  {"¾", 0.75},
    {"⅕", 0.2},     {"⅖", 0.4},     {"⅗", 0.6},     {"⅘", 0.8},   {"⅙", 1.0 / 6},
    {"⅚", 5.0 / 6}, {"⅛", 0.125},   {"⅜", 0.375},   {"⅝", 0.625}, {"⅞", 0.875},
};

// A number at the front of `s`: "1", "1.5", ".5", "1/2", "1 1/2", "½", "1½", "1 ½". Sets
// the value and returns the length read, or 0.
std::size_t ReadNumber(std::string_view s, double& value) {
    auto digits = [&](std::size_t at, double& v) {
        std::size_t i = at;
        v = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            v = v * 10 + (s[i++] - '0');
        return i - at;
    };
    auto unicode = [&](std::size_t at, double& v) -> std::size_t {
        for (const UnicodeFraction& f : kFractions) {
            const std::size_t n = std::strlen(f.Text);
            if (s.substr(at, n) == f.Text) {
                v = f.Value;
                return n;
            }
        }
        return 0;
    };
    double whole = 0;
    std::size_t i = digits(0, whole);
    if (i == 0) {
        double f = 0;
        if (std::size_t n = unicode(0, f)) {
            value = f;
            return n;
        }
        // ".5"
        if (s.size() > 1 && s[0] == '.' && s[1] >= '0' && s[1] <= '9') {
            double frac = 0;
            const std::size_t n = digits(1, frac);
            value = frac / std::pow(10.0, static_cast<double>(n));
            return 1 + n;
        }
        return 0;
    }
    // Decimal.
    if (i + 1 < s.size() && (s[i] == '.' || s[i] == ',') && s[i + 1] >= '0' && s[i + 1] <= '9') {
        double frac = 0;
        const std::size_t n = digits(i + 1, frac);
        value = whole + frac / std::pow(10.0, static_cast<double>(n));
        return i + 1 + n;
    }
    // Fraction.
    if (i + 1 < s.size() && s[i] == '/') {
        double den = 0;
        const std::size_t n = digits(i + 1, den);
        if (n == 0 || den == 0) return 0;
        value = whole / den;
        return i + 1 + n;
    }
    // Unicode fraction joined on: "1½".
    double f = 0;
    if (std::size_t n = unicode(i, f)) {
        value = whole + f;
        return i + n;
    }
    // Mixed number: "1 1/2", "1 ½".
    std::size_t j = i;
    while (j < s.size() && IsBlank(s[j]))
        ++j;
    if (j > i) {
        if (std::size_t n = unicode(j, f)) {
            value = whole + f;
            return j + n;
        }
        double num = 0, den = 0;
        const std::size_t a = digits(j, num);
        if (a > 0 && j + a < s.size() && s[j + a] == '/') {
            const std::size_t b = digits(j + a + 1, den);
            if (b > 0 && den != 0 && num < den) {
                value = whole + num / den;
                return j + a + 1 + b;
            }
        }
    }
    value = whole;
    return i;
}

// An amount at the front of `s` (with a range), and the length read.
std::size_t ReadAmount(std::string_view s, Amount& amount) {
    double low = 0;
    const std::size_t n = ReadNumber(s, low);
    if (n == 0) return 0;
    amount.kind = Amount::Kind::Number;
    amount.Low = amount.High = low;
    std::size_t end = n;
    // A range: "-", "–" or "to" between two numbers.
    std::size_t j = n;
    while (j < s.size() && IsBlank(s[j]))
        ++j;
    std::size_t k = std::string_view::npos;
    if (j < s.size() && s[j] == '-')
        k = j + 1;
    else if (s.substr(j, 3) == "–")
        k = j + 3;
    else if (s.substr(j, 2) == "to" && j > n && j + 2 < s.size() && IsBlank(s[j + 2]))
        k = j + 2;
    if (k != std::string_view::npos) {
        while (k < s.size() && IsBlank(s[k]))
            ++k;
        double high = 0;
        const std::size_t m = ReadNumber(s.substr(k), high);
        if (m > 0) {
            amount.kind = Amount::Kind::Range;
            amount.High = high;
            end = k + m;
        }
    }
    amount.Text = std::string(s.substr(0, end));
    return end;
}

std::string FormatDecimal(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

const UnitSpelling* FindSpelling(std::string_view canonical) {
    for (const UnitSpelling& u : kUnits)
        if (canonical == u.Canonical) return &u;
    for (const UnitSpelling& u : kWordUnits)
        if (canonical == u.Canonical) return &u;
    return nullptr;
}

// An item of a line joined from pieces, with single blanks between words.
std::string Squeeze(std::string_view s) {
    std::string out;
    bool blank = false;
    for (char c : Trim(s)) {
        if (IsBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

void SetItem(IngredientLine& in, std::string_view text) {
    in.ItemText = std::string(Trim(text));
    SplitPreparation(in.ItemText, in.Item, in.Preparation);
}

// Meal-Master columns of one ingredient (a line or the right half of a two-column row).
std::optional<IngredientLine> MealMasterCell(std::string_view cell) {
    if (AllBlank(cell)) return std::nullopt;
    // The blank columns first: most cells that are none fail there.
    if (!AllBlank(Cols(cell, 8, 8)) || !AllBlank(Cols(cell, 11, 11))) return std::nullopt;
    IngredientLine in;
    in.From = Layout::MealMaster;
    const std::string_view amountField = Cols(cell, 1, 7);
    const std::string_view unitField = Cols(cell, 9, 10);
    const std::string_view itemField = Cols(cell, 12, 100000);
    const std::string_view amountText = Trim(amountField);
    if (!amountText.empty()) {
        // The amount stands right-aligned: nothing after it in its columns.
        const std::optional<Amount> a = ParseAmount(amountText);
        if (!a) return std::nullopt;
        in.amount = *a;
    }
    const std::string_view unitText = Trim(unitField);
    if (!unitText.empty()) {
        const UnitSpelling* u = FromMealMasterCode(unitText);
        if (!u) return std::nullopt;
        in.Unit = u->Canonical;
        in.UnitText = std::string(unitText);
    }
    if (!itemField.empty() && IsBlank(itemField[0]) && (in.amount.Present() || !in.Unit.empty()))
        return std::nullopt;
    if (in.amount.Present() || !in.Unit.empty()) {
        SetItem(in, itemField);
        return in;
    }
    // No amount and no unit: the item must start in column 12.
    if (itemField.empty() || IsBlank(itemField[0])) return std::nullopt;
    SetItem(in, itemField);
    return in;
}

// Takes the first line of at most `limit` characters off `rest` (single blanks between
// words), cut after a whole word; a word longer than the limit is taken whole, never split.
std::string TakeLine(std::string& rest, std::size_t limit) {
    std::string piece;
    if (CharCount(rest) <= limit) {
        piece.swap(rest);
        return piece;
    }
    const std::string fits = CutChars(rest, limit + 1);
    std::size_t cut = fits.rfind(' ');
    if (cut == std::string::npos || cut == 0) cut = rest.find(' ');
    if (cut == std::string::npos) {
        piece.swap(rest);
        return piece;
    }
    piece = rest.substr(0, cut);
    rest = std::string(Trim(std::string_view(rest).substr(cut)));
    return piece;
}

} // namespace

std::string Amount::Decimal() const {
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Number:
        return FormatDecimal(Low);
    case Kind::Range:
        return FormatDecimal(Low) + "-" + FormatDecimal(High);
    }
    return {};
}

std::optional<Amount> ParseAmount(std::string_view text) {
    text = Trim(text);
    Amount a;
    if (text.empty() || ReadAmount(text, a) != text.size()) return std::nullopt;
    return a;
}

std::string CanonicalUnit(std::string_view word) {
    word = Trim(word);
    if (word == "t") return "tsp";
    if (word == "T") return "tbsp";
    if (const UnitSpelling* u = FromMealMasterCode(word)) return u->Canonical;
    std::string w = Lower(word);
    if (!w.empty() && w.back() == '.') w.pop_back();
    for (const Alias& a : kAliases)
        if (w == a.Word) return a.Canonical;
    if (const UnitSpelling* u = FromMasterCookWord(word)) return u->Canonical;
    return {};
}

const UnitSpelling* FromMealMasterCode(std::string_view code) {
    for (const UnitSpelling& u : kUnits)
        if (code == u.MealMasterCode) return &u;
    return nullptr;
}

const UnitSpelling* FromMasterCookWord(std::string_view word) {
    const std::string w = Lower(Trim(word));
    if (w.empty()) return nullptr;
    for (const UnitSpelling& u : kUnits)
        if (w == u.Singular || w == u.Plural) return &u;
    for (const UnitSpelling& u : kWordUnits)
        if (w == u.Singular || w == u.Plural) return &u;
    // Abbreviations MasterCook files also carry.
    std::string c;
    std::string a = w;
    if (!a.empty() && a.back() == '.') a.pop_back();
    for (const Alias& al : kAliases)
        if (a == al.Word) c = al.Canonical;
    return c.empty() ? nullptr : FindSpelling(c);
}

void SplitPreparation(std::string_view text, std::string& item, std::string& preparation) {
    text = Trim(text);
    std::size_t cut = text.find(" -- ");
    std::size_t skip = 4;
    if (cut == std::string_view::npos && text.size() > 3 && text.substr(text.size() - 3) == " --")
        cut = text.size() - 3, skip = 3;
    if (cut == std::string_view::npos) {
        cut = text.find_first_of(";,");
        skip = 1;
    }
    if (cut == std::string_view::npos) {
        item = std::string(text);
        preparation.clear();
        return;
    }
    item = std::string(Trim(text.substr(0, cut)));
    preparation = std::string(Trim(text.substr(std::min(text.size(), cut + skip))));
}

std::string HeadingOf(std::string_view line) {
    std::string_view t = Trim(line);
    // Meal-Master: "MMMMM-----SAUCE-----" or "-----SAUCE-----".
    std::string_view rest = t;
    if (rest.substr(0, 5) == "MMMMM") rest.remove_prefix(5);
    if (rest.size() > 5 && rest.substr(0, 5) == "-----") {
        while (!rest.empty() && rest.front() == '-')
            rest.remove_prefix(1);
        while (!rest.empty() && rest.back() == '-')
            rest.remove_suffix(1);
        rest = Trim(rest);
        if (rest.empty()) return {};
        // A recipe's start line is no heading.
        const std::string low = Lower(rest);
        if (low.find("meal-master") != std::string::npos ||
            low.find("meal master") != std::string::npos)
            return {};
        return std::string(rest);
    }
    // "For the sauce:" — a short line of words ending in a colon.
    if (t.size() >= 2 && t.size() <= 60 && t.back() == ':' && line.find(':') == line.rfind(':')) {
        double v = 0;
        if (ReadNumber(t, v) > 0) return {};
        if (ServingsOf(t)) return {};
        return std::string(Trim(t.substr(0, t.size() - 1)));
    }
    return {};
}

std::optional<std::string> ServingsOf(std::string_view line) {
    const std::string_view t = Trim(line);
    // Only the start is compared with the labels (the longest has 12 characters).
    const std::string low = Lower(t.substr(0, 12));
    static const char* const kLabels[] = {"serving size", "servings", "serves", "yield", "makes"};
    for (const char* label : kLabels) {
        const std::size_t n = std::strlen(label);
        if (low.compare(0, n, label) != 0) continue;
        std::size_t i = n;
        while (i < t.size() && IsBlank(t[i]))
            ++i;
        if (i >= t.size() || t[i] != ':') continue;
        // "Serving Size  : 4    Preparation Time :0:00" carries a second field.
        std::string_view value = Trim(t.substr(i + 1));
        const std::size_t gap = value.find("  ");
        if (gap != std::string_view::npos) value = Trim(value.substr(0, gap));
        return std::string(value);
    }
    return std::nullopt;
}

std::vector<IngredientLine> ParseMealMasterColumns(std::string_view line) {
    std::vector<IngredientLine> out;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.empty() || line.find('\t') != std::string_view::npos) return out;
    // A two-column row: the right ingredient's columns start between columns 40 and 46,
    // after a blank; where exactly shows by its unit and item lining up.
    const std::size_t length = CharCount(line);
    for (std::size_t start = 40; start <= 46 && start + 11 < length + 1; ++start) {
        const std::string_view left = Cols(line, 1, start - 1);
        const std::string_view right = Cols(line, start, 100000);
        if (!IsBlank(left.back()) || right.size() < 12) continue;
        std::optional<IngredientLine> r = MealMasterCell(right);
        if (!r || !(r->amount.Present() || !r->Unit.empty() || IsContinuation(*r))) continue;
        r->Column = 1;
        if (AllBlank(left)) {
            out.push_back(std::move(*r));
            return out;
        }
        std::optional<IngredientLine> l = MealMasterCell(left);
        if (!l) continue;
        out.push_back(std::move(*l));
        out.push_back(std::move(*r));
        return out;
    }
    if (std::optional<IngredientLine> one = MealMasterCell(line)) out.push_back(std::move(*one));
    return out;
}

bool IsContinuation(const IngredientLine& line) {
    return !line.amount.Present() && line.Unit.empty() && !line.ItemText.empty() &&
           line.ItemText[0] == '-' && (line.ItemText.size() < 2 || line.ItemText[1] != '-');
}

void JoinContinuation(IngredientLine& previous, const IngredientLine& continuation) {
    std::string_view more = Trim(std::string_view(continuation.ItemText).substr(1));
    if (more.empty()) return;
    previous.ItemText += ' ';
    previous.ItemText += more;
    SplitPreparation(previous.ItemText, previous.Item, previous.Preparation);
}

std::optional<IngredientLine> ParseMasterCookColumns(std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.empty() || line.find('\t') != std::string_view::npos) return std::nullopt;
    // The stored layout (ingredient from column 24) or the file's (from column 25).
    for (const auto& [measureFrom, measureTo, itemFrom] :
         {std::array<std::size_t, 3>{9, 23, 24}, std::array<std::size_t, 3>{11, 24, 25}}) {
        const std::string_view amountField = Cols(line, 1, measureFrom - 1);
        const std::string_view measureField = Cols(line, measureFrom, measureTo);
        const std::string_view itemField = Cols(line, itemFrom, 100000);
        if (itemField.empty() && Trim(measureField).empty()) continue;
        if (!itemField.empty() && IsBlank(itemField[0])) continue;
        // The item must not begin inside the measure column.
        if (!measureField.empty() && !IsBlank(measureField.back()) && !itemField.empty()) continue;
        IngredientLine in;
        in.From = Layout::MasterCook;
        const std::string_view amountText = Trim(amountField);
        if (!amountText.empty()) {
            const std::optional<Amount> a = ParseAmount(amountText);
            if (!a) continue;
            in.amount = *a;
        }
        const std::string_view measure = Trim(measureField);
        if (!measure.empty()) {
            // The measure is one word or two ("fluid ounces") from the field's start.
            if (IsBlank(measureField[0])) continue;
            const UnitSpelling* u = FromMasterCookWord(measure);
            if (!u) continue;
            in.Unit = u->Canonical;
            in.UnitText = std::string(measure);
        }
        if (!in.amount.Present() && in.Unit.empty() && !AllBlank(Cols(line, 1, itemFrom - 1)))
            continue;
        if (!in.amount.Present() && in.Unit.empty() &&
            Cols(line, 1, itemFrom - 1).size() + 1 != itemFrom)
            continue;
        SetItem(in, itemField);
        return in;
    }
    return std::nullopt;
}

std::optional<IngredientLine> ParsePlainLine(std::string_view line, bool allowBare) {
    std::string_view t = Trim(line);
    if (t.empty()) return std::nullopt;
    IngredientLine in;
    std::size_t n = ReadAmount(t, in.amount);
    if (n == 0 && !allowBare) return std::nullopt;
    std::string_view rest = Trim(t.substr(n));
    if (n > 0 && n < t.size() && !IsBlank(t[n])) {
        // "2x", "3-inch": not an amount followed by words; "100g" is.
        std::size_t end = rest.find(' ');
        std::string_view word = rest.substr(0, end);
        if (CanonicalUnit(word).empty()) return std::nullopt;
    }
    // The unit: "fl oz" / "fluid ounces", or one word. A one-letter unit ("c", "t", "g",
    // "l") counts only after an amount ("2 c flour").
    if (in.amount.Present()) {
        const std::size_t first = rest.find(' ');
        const std::size_t second =
            first == std::string_view::npos ? first : rest.find(' ', first + 1);
        for (const std::size_t end : {second, first}) {
            if (end == std::string_view::npos && end == second && first == std::string_view::npos)
                continue;
            const std::string_view word = rest.substr(0, end);
            const std::string unit = CanonicalUnit(word);
            if (unit.empty()) continue;
            in.Unit = unit;
            in.UnitText = std::string(word);
            rest = Trim(rest.substr(word.size()));
            break;
        }
    }
    if (rest.substr(0, 3) == "of ") rest = Trim(rest.substr(3));
    if (rest.empty() && in.Unit.empty()) return std::nullopt;
    SetItem(in, rest);
    return in;
}

std::vector<ParsedLine> ParseRecipeText(const std::vector<std::string>& text, bool plainLines) {
    std::vector<ParsedLine> out;
    out.reserve(text.size());
    // Lines without amount or unit count as ingredients only inside a block: after an
    // ingredient or a heading, up to the next blank line or text line.
    bool inBlock = false;
    // The last ingredient read in each column of a Meal-Master block.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t lastInColumn[2] = {kNone, kNone};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view line = text[i];
        ParsedLine p;
        p.Source = i;
        if (out.empty() || out.back().kind != LineKind::Ingredient)
            lastInColumn[0] = lastInColumn[1] = kNone;
        if (Trim(line).empty()) {
            p.kind = LineKind::Blank;
            out.push_back(std::move(p));
            inBlock = false;
            continue;
        }
        if (std::optional<std::string> s = ServingsOf(line)) {
            p.kind = LineKind::Servings;
            p.ServesText = *s;
            p.Serves = ParseAmount(s->substr(0, s->find(' ')));
            out.push_back(std::move(p));
            continue;
        }
        std::string heading = HeadingOf(line);
        if (!heading.empty()) {
            p.kind = LineKind::Heading;
            p.Heading = std::move(heading);
            out.push_back(std::move(p));
            inBlock = true;
            continue;
        }
        // A line without amount or unit also begins a block when the next line is an
        // ingredient with one.
        auto measured = [](const IngredientLine& in) {
            return in.amount.Present() || !in.Unit.empty();
        };
        auto nextMeasured = [&] {
            if (i + 1 >= text.size()) return false;
            const std::vector<IngredientLine> m = ParseMealMasterColumns(text[i + 1]);
            if (!m.empty()) return measured(m[0]);
            const std::optional<IngredientLine> c = ParseMasterCookColumns(text[i + 1]);
            return c && measured(*c);
        };
        std::vector<IngredientLine> mm = ParseMealMasterColumns(line);
        if (!mm.empty() &&
            (measured(mm[0]) || inBlock || (!IsContinuation(mm[0]) && nextMeasured()))) {
            for (IngredientLine& in : mm) {
                if (IsContinuation(in) && !out.empty() && out.back().kind == LineKind::Ingredient) {
                    const std::size_t above = lastInColumn[in.Column];
                    JoinContinuation(
                        above < out.size() ? out[above].ingredient : out.back().ingredient, in);
                    continue;
                }
                lastInColumn[in.Column] = out.size();
                ParsedLine q;
                q.Source = i;
                q.kind = LineKind::Ingredient;
                q.ingredient = std::move(in);
                out.push_back(std::move(q));
            }
            inBlock = true;
            continue;
        }
        std::optional<IngredientLine> mc = ParseMasterCookColumns(line);
        if (mc && (measured(*mc) || inBlock || nextMeasured())) {
            p.kind = LineKind::Ingredient;
            p.ingredient = std::move(*mc);
            out.push_back(std::move(p));
            inBlock = true;
            continue;
        }
        if (plainLines) {
            if (std::optional<IngredientLine> plain = ParsePlainLine(line)) {
                p.kind = LineKind::Ingredient;
                p.ingredient = std::move(*plain);
                out.push_back(std::move(p));
                inBlock = false;
                continue;
            }
        }
        inBlock = false;
        p.kind = LineKind::Text;
        out.push_back(std::move(p));
    }
    return out;
}

std::string ListingLine(const IngredientLine& line) {
    return line.amount.Decimal() + '\t' + line.Unit + '\t' + line.Item + '\t' + line.Preparation;
}

std::vector<std::string> ListIngredients(const std::vector<std::string>& text, bool everyLine) {
    std::vector<std::string> out;
    for (const ParsedLine& p : ParseRecipeText(text, true)) {
        switch (p.kind) {
        case LineKind::Ingredient:
            out.push_back(ListingLine(p.ingredient));
            break;
        case LineKind::Heading:
            out.push_back("#\t" + p.Heading);
            break;
        case LineKind::Text:
            if (everyLine)
                if (std::optional<IngredientLine> in = ParsePlainLine(text[p.Source], true))
                    out.push_back(ListingLine(*in));
            break;
        case LineKind::Blank:
        case LineKind::Servings:
            break;
        }
    }
    return out;
}

std::vector<std::string> WriteMealMaster(const IngredientLine& line, std::size_t width) {
    std::string amount = line.amount.Present() ? line.amount.Text : std::string();
    std::string code;
    std::string item = line.ItemText;
    if (!line.Unit.empty()) {
        const UnitSpelling* u = nullptr;
        if (line.From == Layout::MealMaster) u = FromMealMasterCode(line.UnitText);
        if (line.From == Layout::MasterCook) u = FromMasterCookWord(line.UnitText);
        if (!u || line.Unit != u->Canonical) u = FindSpelling(line.Unit);
        if (u && *u->MealMasterCode) {
            code = u->MealMasterCode;
        } else {
            const std::string word = line.UnitText.empty() ? line.Unit : line.UnitText;
            item = item.empty() ? word : word + " " + item;
        }
    }
    if (CharCount(amount) > 7) {
        item = code.empty() ? amount + (item.empty() ? "" : " " + item)
                            : amount + " " + code + (item.empty() ? "" : " " + item);
        amount.clear();
        code.clear();
    }
    std::string head = std::string(7 - CharCount(amount), ' ') + amount + ' ' + code +
                       std::string(2 - code.size(), ' ') + ' ';
    std::vector<std::string> out;
    const std::size_t room = width > 12 ? width - 11 : 28;
    std::string rest = Squeeze(item);
    bool first = true;
    do {
        const std::string piece = TakeLine(rest, first ? room : room - 1);
        out.push_back(first ? head + piece : std::string(11, ' ') + "-" + piece);
        first = false;
    } while (!rest.empty());
    for (std::string& l : out)
        while (!l.empty() && l.back() == ' ')
            l.pop_back();
    return out;
}

std::vector<std::string> WriteMasterCook(const IngredientLine& line) {
    std::string amount = line.amount.Present() ? line.amount.Text : std::string();
    std::string measure;
    std::string item = line.ItemText;
    if (!line.Unit.empty()) {
        if (line.From == Layout::MasterCook && !line.UnitText.empty()) {
            measure = line.UnitText;
        } else {
            const UnitSpelling* u =
                line.From == Layout::MealMaster ? FromMealMasterCode(line.UnitText) : nullptr;
            if (!u || line.Unit != u->Canonical) u = FindSpelling(line.Unit);
            const bool plural = line.amount.kind == Amount::Kind::Range || line.amount.Low > 1;
            measure = u ? (plural ? u->Plural : u->Singular) : line.Unit;
        }
    }
    if (CharCount(amount) > 7 || CharCount(measure) > 13) {
        std::string front = amount;
        if (!measure.empty()) front += (front.empty() ? "" : " ") + measure;
        item = front + (item.empty() ? "" : " " + item);
        amount.clear();
        measure.clear();
    }
    std::string head = std::string(8 - CharCount(amount), ' ') + amount + "  " + measure +
                       std::string(14 - CharCount(measure), ' ');
    std::vector<std::string> out;
    std::string rest = Squeeze(item);
    constexpr std::size_t kRoom = 80; // columns 25 to 104
    bool first = true;
    do {
        const std::string piece = TakeLine(rest, kRoom);
        std::string l = (first ? head : std::string(24, ' ')) + piece;
        while (!l.empty() && l.back() == ' ')
            l.pop_back();
        out.push_back(std::move(l));
        first = false;
    } while (!rest.empty());
    return out;
}

} // namespace larderly::ingredients
