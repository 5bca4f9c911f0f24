// Scaling ingredient amounts in place in a recipe's text.
#include "ingredients/Scale.h"

#include "ingredients/IngredientLine.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace larderly::ingredients {
namespace {

bool IsMetric(const std::string& unit) {
    for (const char* u : {"g", "kg", "mg", "cg", "dg", "ml", "l", "cl", "dl", "cc"})
        if (unit == u) return true;
    return false;
}

std::string Decimal(double v, int places) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", places, v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

// The nearest of the fractions a kitchen measures (halves, thirds, quarters, eighths).
std::string KitchenFraction(double v) {
    long bestWhole = 0;
    int bestNum = 0, bestDen = 1;
    double bestError = 1e9;
    for (int den : {1, 2, 3, 4, 8}) {
        const long scaled = std::lround(v * den);
        const double error = std::fabs(v - static_cast<double>(scaled) / den);
        if (error + 1e-9 < bestError) {
            bestError = error;
            bestWhole = scaled / den;
            bestNum = static_cast<int>(scaled % den);
            bestDen = den;
        }
    }
    if (bestWhole == 0 && bestNum == 0) return Decimal(v, 2); // below an eighth
    if (bestNum == 0) return std::to_string(bestWhole);
    const std::string fraction = std::to_string(bestNum) + "/" + std::to_string(bestDen);
    return bestWhole == 0 ? fraction : std::to_string(bestWhole) + " " + fraction;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Puts `now` where an amount of `wasLength` bytes stood at `at` in `line`. An amount at the
// start of the line keeps its first column; one with blanks before it stood right-aligned
// and keeps its last column, using up the blanks before it (one stays after a neighbour).
void ReplaceAmount(std::string& line, std::size_t at, std::size_t wasLength, std::string now) {
    std::size_t start = at;
    while (start > 0 && IsBlank(line[start - 1]))
        --start;
    if (start == 0 && at > 0 && now.size() <= at + wasLength) {
        // Blanks only before it: the field is the line's start.
    } else if (start > 0) {
        ++start; // the blank after the neighbour
    } else {
        line.replace(at, wasLength, now);
        return;
    }
    const std::size_t room = at + wasLength - start;
    if (now.size() < room) now.insert(0, room - now.size(), ' ');
    line.replace(start, room, now);
}

} // namespace

std::string ScaledAmountText(double value, const std::string& unit) {
    if (IsMetric(unit)) {
        const double a = std::fabs(value);
        return Decimal(value, a >= 10 ? 0 : a >= 1 ? 1 : 2);
    }
    return KitchenFraction(value);
}

std::optional<double> RecipeServings(const std::vector<std::string>& text) {
    for (const std::string& line : text) {
        if (const std::optional<std::string> s = ServingsOf(line)) {
            const std::optional<Amount> a = ParseAmount(s->substr(0, s->find(' ')));
            if (a && a->Low > 0) return a->Low;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> ScaleRecipeText(const std::vector<std::string>& text,
                                                        double servings) {
    const std::optional<double> from = RecipeServings(text);
    if (!from || !(servings > 0)) return std::nullopt;
    const double factor = servings / *from;
    std::vector<std::string> out = text;
    bool servingsShown = false;
    // Where the next amount of a line is looked for: past the one before it.
    std::size_t lastSource = static_cast<std::size_t>(-1), searchFrom = 0;
    for (const ParsedLine& p : ParseRecipeText(text, true)) {
        std::string& line = out[p.Source];
        if (p.Source != lastSource) searchFrom = 0;
        lastSource = p.Source;
        if (p.kind == LineKind::Servings && !servingsShown && p.Serves) {
            const std::size_t colon = line.find(':');
            const std::size_t at = line.find(p.Serves->Text, colon);
            if (colon != std::string::npos && at != std::string::npos) {
                line.replace(at, p.Serves->Text.size(), Decimal(servings, 2));
                servingsShown = true;
            }
            continue;
        }
        if (p.kind != LineKind::Ingredient || !p.ingredient.amount.Present()) continue;
        const Amount& a = p.ingredient.amount;
        // The right column of a two-column row starts after column 40.
        if (p.ingredient.Column == 1 && searchFrom < 39) searchFrom = 39;
        const std::size_t at = line.find(a.Text, searchFrom);
        if (at == std::string::npos) continue;
        std::string now = ScaledAmountText(a.Low * factor, p.ingredient.Unit);
        if (a.kind == Amount::Kind::Range)
            now += "-" + ScaledAmountText(a.High * factor, p.ingredient.Unit);
        const std::size_t before = line.size();
        ReplaceAmount(line, at, a.Text.size(), now);
        searchFrom = at + a.Text.size() + (line.size() - before);
        if (searchFrom > line.size()) searchFrom = line.size();
    }
    return out;
}

} // namespace larderly::ingredients
