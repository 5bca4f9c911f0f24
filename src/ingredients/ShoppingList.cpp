// Adding up the ingredients of several recipes into a shopping list.
#include "ingredients/ShoppingList.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace larderly::ingredients {
namespace {

// A unit that converts within its kind: `Size` is how many of the kind's base unit it holds.
struct Measure {
    const char* Unit;
    int Kind;
    double Size;
};

// US volume in teaspoons, metric volume in ml, metric weight in g, US weight in oz. Volume
// and weight of the two systems are kept apart, as a cook buys them apart.
constexpr Measure kMeasures[] = {
    {"tsp", 1, 1},   {"tbsp", 1, 3},    {"fl oz", 1, 6},    {"cup", 1, 48},
    {"pint", 1, 96}, {"quart", 1, 192}, {"gallon", 1, 768}, {"ml", 2, 1},
    {"cl", 2, 10},   {"dl", 2, 100},    {"l", 2, 1000},     {"mg", 3, 0.001},
    {"g", 3, 1},     {"kg", 3, 1000},   {"oz", 4, 1},       {"lb", 4, 16},
};

const Measure* MeasureOf(std::string_view unit) {
    for (const Measure& m : kMeasures)
        if (unit == m.Unit) return &m;
    return nullptr;
}

bool IsBlankChar(char c) {
    return c == ' ' || c == '\t';
}

std::string Singular(std::string w) {
    auto ends = [&](std::string_view tail) {
        return w.size() > tail.size() && w.compare(w.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (w.size() > 4 && ends("ies")) return w.substr(0, w.size() - 3) + "y";
    if (w.size() > 4 &&
        (ends("oes") || ends("ches") || ends("shes") || ends("sses") || ends("xes") || ends("zes")))
        return w.substr(0, w.size() - 2);
    if (w.size() > 3 && ends("s") && !ends("ss") && !ends("us") && !ends("is"))
        return w.substr(0, w.size() - 1);
    return w;
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

const std::vector<std::pair<const char*, const char*>> kDefaultAisles = {
    // produce
    {"leek", "produce"},
    {"potato", "produce"},
    {"onion", "produce"},
    {"garlic", "produce"},
    {"carrot", "produce"},
    {"celery", "produce"},
    {"tomato", "produce"},
    {"lettuce", "produce"},
    {"cabbage", "produce"},
    {"pepper", "spices"},
    {"bell pepper", "produce"},
    {"green pepper", "produce"},
    {"red pepper", "produce"},
    {"mushroom", "produce"},
    {"apple", "produce"},
    {"banana", "produce"},
    {"lemon", "produce"},
    {"lime", "produce"},
    {"orange", "produce"},
    {"spinach", "produce"},
    {"parsley", "produce"},
    {"basil", "produce"},
    {"cilantro", "produce"},
    {"zucchini", "produce"},
    {"cucumber", "produce"},
    {"shallot", "produce"},
    {"scallion", "produce"},
    {"green onion", "produce"},
    {"ginger", "produce"},
    {"broccoli", "produce"},
    {"cauliflower", "produce"},
    {"berry", "produce"},
    {"strawberry", "produce"},
    {"pear", "produce"},
    {"peach", "produce"},
    // dairy
    {"milk", "dairy"},
    {"butter", "dairy"},
    {"cream", "dairy"},
    {"cheese", "dairy"},
    {"yogurt", "dairy"},
    {"egg", "dairy"},
    {"sour cream", "dairy"},
    {"buttermilk", "dairy"},
    {"margarine", "dairy"},
    // meat and fish
    {"beef", "meat"},
    {"pork", "meat"},
    {"chicken", "meat"},
    {"lamb", "meat"},
    {"veal", "meat"},
    {"bacon", "meat"},
    {"ham", "meat"},
    {"sausage", "meat"},
    {"turkey", "meat"},
    {"ground beef", "meat"},
    {"fish", "fish"},
    {"salmon", "fish"},
    {"tuna", "fish"},
    {"shrimp", "fish"},
    {"cod", "fish"},
    // bakery and baking
    {"bread", "bakery"},
    {"tortilla", "bakery"},
    {"flour", "baking"},
    {"sugar", "baking"},
    {"brown sugar", "baking"},
    {"baking powder", "baking"},
    {"baking soda", "baking"},
    {"yeast", "baking"},
    {"vanilla", "baking"},
    {"cocoa", "baking"},
    {"chocolate", "baking"},
    {"cornstarch", "baking"},
    {"honey", "baking"},
    // spices
    {"salt", "spices"},
    {"cinnamon", "spices"},
    {"nutmeg", "spices"},
    {"paprika", "spices"},
    {"cumin", "spices"},
    {"oregano", "spices"},
    {"thyme", "spices"},
    {"bay leaf", "spices"},
    {"chili powder", "spices"},
    {"clove", "spices"},
    // canned goods
    {"broth", "canned goods"},
    {"stock", "canned goods"},
    {"chicken broth", "canned goods"},
    {"beef broth", "canned goods"},
    {"tomato paste", "canned goods"},
    {"tomato sauce", "canned goods"},
    {"bean", "canned goods"},
    {"soup", "canned goods"},
    // grains and pasta
    {"rice", "grains and pasta"},
    {"pasta", "grains and pasta"},
    {"noodle", "grains and pasta"},
    {"spaghetti", "grains and pasta"},
    {"oat", "grains and pasta"},
    {"macaroni", "grains and pasta"},
    // oils and condiments
    {"oil", "oils and condiments"},
    {"olive oil", "oils and condiments"},
    {"vinegar", "oils and condiments"},
    {"mustard", "oils and condiments"},
    {"ketchup", "oils and condiments"},
    {"mayonnaise", "oils and condiments"},
    {"soy sauce", "oils and condiments"},
    {"worcestershire sauce", "oils and condiments"},
    // drinks
    {"wine", "drinks"},
    {"beer", "drinks"},
    {"juice", "drinks"},
    {"water", "drinks"},
};

const char* const kAisleOrder[] = {"produce",
                                   "meat",
                                   "fish",
                                   "dairy",
                                   "bakery",
                                   "baking",
                                   "spices",
                                   "canned goods",
                                   "grains and pasta",
                                   "oils and condiments",
                                   "frozen",
                                   "drinks"};

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlankChar(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlankChar(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::string ItemKey(std::string_view item) {
    std::string key, word;
    auto flush = [&] {
        while (!word.empty() && !std::isalnum(static_cast<unsigned char>(word.back())) &&
               static_cast<unsigned char>(word.back()) < 0x80)
            word.pop_back();
        std::size_t start = 0;
        while (start < word.size() && !std::isalnum(static_cast<unsigned char>(word[start])) &&
               static_cast<unsigned char>(word[start]) < 0x80)
            ++start;
        word.erase(0, start);
        if (!word.empty()) key += (key.empty() ? "" : " ") + Singular(word);
        word.clear();
    };
    for (char c : item) {
        if (IsBlankChar(c)) {
            flush();
            continue;
        }
        word += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    flush();
    return key;
}

AisleTable AisleTable::Default() {
    AisleTable t;
    for (const char* a : kAisleOrder)
        t.order_.emplace_back(a);
    for (const auto& [words, aisle] : kDefaultAisles)
        t.entries_[ItemKey(words)] = aisle;
    return t;
}

void AisleTable::Set(const std::string& words, const std::string& aisle) {
    const std::string key = ItemKey(words);
    if (key.empty() || aisle.empty()) return;
    entries_[key] = aisle;
    if (aisle != kOtherAisle && std::find(order_.begin(), order_.end(), aisle) == order_.end())
        order_.push_back(aisle);
}

void AisleTable::Read(std::string_view text, std::vector<std::string>& problems) {
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = TrimBlanks(line);
        if (line.empty()) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            problems.push_back("line " + std::to_string(number) +
                               ": no '=' between item and aisle");
            continue;
        }
        const std::string words(TrimBlanks(line.substr(0, eq)));
        std::string aisle(TrimBlanks(line.substr(eq + 1)));
        for (char& c : aisle)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (ItemKey(words).empty() || aisle.empty()) {
            problems.push_back("line " + std::to_string(number) +
                               ": an item and an aisle are needed on both sides of '='");
            continue;
        }
        Set(words, aisle);
    }
}

std::string AisleTable::AisleOf(const std::string& itemKey) const {
    // The longest run of the item's words that the table names.
    std::vector<std::string> words;
    for (std::size_t p = 0; p <= itemKey.size();) {
        std::size_t q = itemKey.find(' ', p);
        if (q == std::string::npos) q = itemKey.size();
        if (q > p) words.push_back(itemKey.substr(p, q - p));
        p = q + 1;
    }
    for (std::size_t n = words.size(); n > 0; --n) {
        // Later words name the thing itself ("chicken broth" is broth), so look from the end.
        for (std::size_t i = words.size() - n + 1; i-- > 0;) {
            std::string phrase;
            for (std::size_t k = i; k < i + n; ++k)
                phrase += (k > i ? " " : "") + words[k];
            auto it = entries_.find(phrase);
            if (it != entries_.end()) return it->second;
        }
    }
    return kOtherAisle;
}

std::string ShoppingItem::QuantityText() const {
    std::string out;
    for (const ShoppingQuantity& q : Quantities) {
        if (!out.empty()) out += " + ";
        out += Number(q.Low);
        if (q.High != q.Low) out += "-" + Number(q.High);
        if (!q.Unit.empty()) out += " " + q.Unit;
    }
    return out;
}

void ShoppingList::Add(const IngredientLine& line, double factor) {
    const std::string key = ItemKey(line.Item);
    if (key.empty()) return;
    auto [it, added] = items_.try_emplace(key);
    ShoppingItem& item = it->second;
    if (added) {
        item.Key = key;
        item.Name = std::string(TrimBlanks(line.Item));
        keys_.push_back(key);
    }
    if (!line.amount.Present()) return;
    const double low = line.amount.Low * factor;
    const double high =
        (line.amount.kind == Amount::Kind::Range ? line.amount.High : line.amount.Low) * factor;
    const std::string unit = line.Unit == "each" ? std::string() : line.Unit;
    const Measure* m = MeasureOf(unit);
    for (ShoppingQuantity& q : item.Quantities) {
        const Measure* qm = MeasureOf(q.Unit);
        if (q.Unit == unit) {
            q.Low += low;
            q.High += high;
            return;
        }
        if (m && qm && m->Kind == qm->Kind) {
            // Add in the base unit, then show the total in the largest of the two units that
            // it fills at least once.
            const double baseLow = q.Low * qm->Size + low * m->Size;
            const double baseHigh = q.High * qm->Size + high * m->Size;
            const Measure* big = m->Size > qm->Size ? m : qm;
            const Measure* show = baseLow >= big->Size ? big : (m == big ? qm : m);
            q.Unit = show->Unit;
            q.Low = baseLow / show->Size;
            q.High = baseHigh / show->Size;
            return;
        }
    }
    item.Quantities.push_back({unit, low, high});
}

void ShoppingList::AddRecipe(const std::vector<std::string>& text, double factor) {
    for (const ParsedLine& p : ParseRecipeText(text, true))
        if (p.kind == LineKind::Ingredient) Add(p.ingredient, factor);
}

std::vector<ShoppingItem> ShoppingList::Items(const AisleTable& aisles) const {
    std::vector<ShoppingItem> out;
    out.reserve(items_.size());
    for (const std::string& key : keys_) {
        ShoppingItem item = items_.at(key);
        item.Aisle = aisles.AisleOf(key);
        // A thousand grams or millilitres read better as a kilogram or a litre.
        for (ShoppingQuantity& q : item.Quantities)
            if ((q.Unit == "g" || q.Unit == "ml") && q.Low >= 1000) {
                q.Unit = q.Unit == "g" ? "kg" : "l";
                q.Low /= 1000;
                q.High /= 1000;
            }
        out.push_back(std::move(item));
    }
    const std::vector<std::string>& order = aisles.Order();
    auto rank = [&](const std::string& aisle) {
        auto it = std::find(order.begin(), order.end(), aisle);
        return it == order.end() ? order.size() : static_cast<std::size_t>(it - order.begin());
    };
    std::stable_sort(out.begin(), out.end(), [&](const ShoppingItem& x, const ShoppingItem& y) {
        const std::size_t rx = rank(x.Aisle), ry = rank(y.Aisle);
        return rx != ry ? rx < ry : x.Key < y.Key;
    });
    return out;
}

AisleTable LoadAisleTable(const std::string& folder, std::vector<std::string>& problems) {
    AisleTable table = AisleTable::Default();
    const std::string path = folder + kAisleFile;
    std::ifstream in(path, std::ios::binary);
    if (!in) return table;
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> found;
    table.Read(text.str(), found);
    for (const std::string& p : found)
        problems.push_back(path + ": " + p + "; the line is skipped.");
    return table;
}

std::string ShoppingListText(const std::vector<ShoppingItem>& items) {
    std::string out, aisle;
    bool first = true;
    for (const ShoppingItem& item : items) {
        if (first || item.Aisle != aisle) {
            out += "#\t" + item.Aisle + "\n";
            aisle = item.Aisle;
            first = false;
        }
        out += item.QuantityText() + "\t" + item.Name + "\n";
    }
    return out;
}

} // namespace larderly::ingredients
