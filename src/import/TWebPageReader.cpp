// The web page reader.
#include "import/TWebPageReader.h"

#include "import/ImportText.h"
#include "ingredients/IngredientLine.h"
#include "platform/Text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <gumbo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>

namespace larderly::import {

namespace {

std::string Utf8(const QString& s) {
    return s.toStdString();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Runs of white space become one blank; the ends are trimmed. A no-break space counts too.
std::string Squeeze(std::string_view text) {
    std::string out;
    bool space = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            ++i;
            c = ' ';
        }
        if (IsBlank(c)) {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

bool IsBlock(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_P:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DT:
        return true;
    default:
        return false;
    }
}

// The text of a node, with a line break for <br> and around block elements; scripts and
// styles give nothing. Text nested deeper than any real page nests it is left out.
void NodeText(const GumboNode* node, std::string& out, int depth = 0) {
    if (depth > 512) return;
    if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
        node->type == GUMBO_NODE_CDATA) {
        out += node->v.text.text;
        return;
    }
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT) return;
    const GumboVector* children =
        node->type == GUMBO_NODE_ELEMENT ? &node->v.element.children : &node->v.document.children;
    if (node->type == GUMBO_NODE_ELEMENT) {
        const GumboTag tag = node->v.element.tag;
        if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TEMPLATE) return;
        if (tag == GUMBO_TAG_BR) {
            out += '\n';
            return;
        }
        if (IsBlock(tag)) out += '\n';
    }
    for (unsigned i = 0; i < children->length; ++i)
        NodeText(static_cast<const GumboNode*>(children->data[i]), out, depth + 1);
    if (node->type == GUMBO_NODE_ELEMENT && IsBlock(node->v.element.tag)) out += '\n';
}

// The lines of a text that may hold markup and character references ("&amp;", "&#39;",
// "<p>"): read as HTML, each line squeezed, blank lines dropped.
std::vector<std::string> TextLines(const std::string& text) {
    std::string plain;
    if (text.find_first_of("&<") == std::string::npos) {
        plain = text;
    } else {
        GumboOutput* doc =
            gumbo_parse_with_options(&kGumboDefaultOptions, text.data(), text.size());
        NodeText(doc->root, plain);
        gumbo_destroy_output(&kGumboDefaultOptions, doc);
    }
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (;;) {
        const std::size_t nl = plain.find('\n', from);
        std::string line = Squeeze(std::string_view(plain).substr(from, nl - from));
        if (!line.empty()) lines.push_back(std::move(line));
        if (nl == std::string::npos) break;
        from = nl + 1;
    }
    return lines;
}

// A text on one line.
std::string OneLine(const std::string& text) {
    std::string out;
    for (const std::string& line : TextLines(text)) {
        if (!out.empty()) out += ' ';
        out += line;
    }
    return out;
}

// A JSON value as text: a string, a number, or the first of an array that gives one.
std::string Scalar(const QJsonValue& v) {
    if (v.isString()) return OneLine(Utf8(v.toString()));
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
            return std::to_string(static_cast<long long>(d));
        return Utf8(QString::number(d));
    }
    if (v.isArray())
        for (const QJsonValue& e : v.toArray())
            if (std::string s = Scalar(e); !s.empty()) return s;
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (const char* key : {"name", "text", "@value"})
            if (o.contains(QLatin1String(key))) return Scalar(o.value(QLatin1String(key)));
    }
    return {};
}

// Every text of a value: the strings of an array, or the parts of a comma-separated string.
std::vector<std::string> Texts(const QJsonValue& v, bool splitCommas) {
    std::vector<std::string> out;
    if (v.isArray()) {
        for (const QJsonValue& e : v.toArray())
            for (std::string& s : Texts(e, splitCommas))
                out.push_back(std::move(s));
        return out;
    }
    const std::string s = Scalar(v);
    if (!splitCommas) {
        if (!s.empty()) out.push_back(s);
        return out;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = s.find(',', from);
        std::string part = Squeeze(std::string_view(s).substr(from, comma - from));
        if (!part.empty()) out.push_back(std::move(part));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return out;
}

// Whether a type name ("Recipe", "schema:Recipe", "http://schema.org/Recipe") is `type`.
bool NamesType(const std::string& name, std::string_view type) {
    if (name == type) return true;
    if (name.size() <= type.size()) return false;
    const char before = name[name.size() - type.size() - 1];
    return (before == '/' || before == ':' || before == '#') && name.ends_with(type);
}

bool HasType(const QJsonObject& o, std::string_view type) {
    const QJsonValue t = o.value(QLatin1String("@type"));
    if (t.isArray()) {
        for (const QJsonValue& e : t.toArray())
            if (NamesType(Utf8(e.toString()), type)) return true;
        return false;
    }
    return NamesType(Utf8(t.toString()), type);
}

// Every Recipe object a JSON value holds, itself, in @graph or as the main entity.
void FindRecipes(const QJsonValue& v, std::vector<QJsonObject>& out, int depth = 0) {
    if (depth > 32) return;
    if (v.isArray()) {
        for (const QJsonValue& e : v.toArray())
            FindRecipes(e, out, depth + 1);
        return;
    }
    if (!v.isObject()) return;
    const QJsonObject o = v.toObject();
    if (HasType(o, "Recipe")) {
        out.push_back(o);
        return;
    }
    for (const char* key : {"@graph", "mainEntity", "mainEntityOfPage", "itemListElement", "item"})
        if (o.contains(QLatin1String(key)))
            FindRecipes(o.value(QLatin1String(key)), out, depth + 1);
}

std::string Plural(long long n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

// A web address, as pages give their own: http or https.
bool IsAddress(const std::string& s) {
    return s.starts_with("http://") || s.starts_with("https://");
}

// The directions: each step on a line of its own, a section's steps under its name.
void AddInstructions(const QJsonValue& v, std::vector<std::string>& lines, int depth = 0) {
    if (depth > 16) return;
    if (v.isString()) {
        for (std::string& line : TextLines(Utf8(v.toString())))
            lines.push_back(std::move(line));
        return;
    }
    if (v.isArray()) {
        for (const QJsonValue& e : v.toArray())
            AddInstructions(e, lines, depth + 1);
        return;
    }
    if (!v.isObject()) return;
    const QJsonObject o = v.toObject();
    if (HasType(o, "HowToSection") || o.contains(QLatin1String("itemListElement"))) {
        const std::string name = Scalar(o.value(QLatin1String("name")));
        if (!name.empty()) {
            if (!lines.empty()) lines.emplace_back();
            lines.push_back(name.ends_with(':') ? name : name + ":");
        }
        AddInstructions(o.value(QLatin1String("itemListElement")), lines, depth + 1);
        return;
    }
    QJsonValue text = o.value(QLatin1String("text"));
    if (text.isUndefined() || Scalar(text).empty()) text = o.value(QLatin1String("name"));
    if (text.isString())
        AddInstructions(text, lines, depth + 1);
    else if (std::string s = Scalar(text); !s.empty())
        lines.push_back(s);
}

std::string AuthorText(const QJsonValue& v) {
    std::string out;
    const auto add = [&out](const std::string& s) {
        if (s.empty()) return;
        if (!out.empty()) out += ", ";
        out += s;
    };
    if (v.isArray())
        for (const QJsonValue& e : v.toArray())
            add(Scalar(e));
    else
        add(Scalar(v));
    return out;
}

TImportedRecipe MakeRecipe(const QJsonObject& o, const std::string& pageAddress) {
    TImportedRecipe r;
    const auto at = [&o](const char* key) { return o.value(QLatin1String(key)); };
    r.Title = Scalar(at("name"));
    if (r.Title.empty()) r.Title = Scalar(at("headline"));
    // A recipe must have a title to be found and edited again: one that names none is
    // called after its page.
    if (r.Title.empty())
        r.Title = pageAddress.empty() ? "Untitled recipe" : "Recipe from " + pageAddress;

    // Categories: the recipe's own first, then cuisines and keywords, each name once.
    std::size_t slot = 0;
    std::vector<std::string> seen;
    const auto addCategories = [&](const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            const std::string c = CategoryField(name);
            if (slot == r.Categories.size() || c.empty()) continue;
            if (std::find(seen.begin(), seen.end(), FoldAZ(c)) != seen.end()) continue;
            seen.push_back(FoldAZ(c));
            r.Categories[slot++] = c;
        }
    };
    addCategories(Texts(at("recipeCategory"), true));
    addCategories(Texts(at("recipeCuisine"), true));
    addCategories(Texts(at("keywords"), true));

    std::string yield = Scalar(at("recipeYield"));
    if (yield.empty()) yield = Scalar(at("yield"));
    r.Lines.push_back(Field(MealMasterServingsLine(yield)));

    QJsonValue ingredients = at("recipeIngredient");
    if (ingredients.isUndefined()) ingredients = at("ingredients");
    bool first = true;
    for (const std::string& text : Texts(ingredients, false)) {
        if (first) r.Lines.emplace_back();
        first = false;
        ingredients::IngredientLine line;
        if (auto parsed = ingredients::ParsePlainLine(text, true)) {
            line = *parsed;
        } else {
            line.Item = line.ItemText = text;
        }
        for (std::string& l : ingredients::WriteMealMaster(line))
            r.Lines.push_back(std::move(l));
    }

    std::vector<std::string> directions;
    AddInstructions(at("recipeInstructions"), directions);
    if (!directions.empty()) {
        r.Lines.emplace_back();
        for (std::string& d : directions)
            r.Lines.push_back(std::move(d));
    }

    std::vector<std::string> tail;
    if (std::string d = OneLine(Utf8(at("description").toString())); !d.empty())
        tail.push_back("Description: " + d);
    for (auto [key, label] :
         {std::pair{"prepTime", "Preparation time: "}, std::pair{"cookTime", "Cooking time: "},
          std::pair{"totalTime", "Total time: "}})
        if (std::string t = DurationWords(Scalar(at(key))); !t.empty()) tail.push_back(label + t);
    if (std::string a = AuthorText(at("author")); !a.empty()) tail.push_back("Author: " + a);
    std::string address = pageAddress;
    for (const char* key : {"@id", "url"})
        if (std::string s = Scalar(at(key)); address.empty() && IsAddress(s)) address = s;
    if (!address.empty()) tail.push_back("Web page: " + address);
    if (!tail.empty()) {
        r.Lines.emplace_back();
        for (std::string& t : tail)
            r.Lines.push_back(std::move(t));
    }
    return r;
}

// ---- HTML ----

const char* Attr(const GumboNode* node, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&node->v.element.attributes, name);
    return a ? a->value : nullptr;
}

bool IsElement(const GumboNode* node) {
    return node->type == GUMBO_NODE_ELEMENT;
}

std::vector<std::string> Tokens(const char* text) {
    std::vector<std::string> out;
    std::string word;
    for (const char* p = text ? text : "";; ++p) {
        if (*p == 0 || IsBlank(*p)) {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
            if (*p == 0) break;
        } else {
            word += *p;
        }
    }
    return out;
}

struct TPage {
    std::vector<QJsonObject> jsonRecipes;
    std::vector<QJsonObject> microdataRecipes;
    std::string ogUrl, canonical;
};

QJsonObject MicrodataItem(const GumboNode* scope, int depth);

// The value of a microdata property element.
QJsonValue MicrodataValue(const GumboNode* node, int depth) {
    if (Attr(node, "itemscope")) return MicrodataItem(node, depth + 1);
    if (const char* content = Attr(node, "content")) return QString::fromUtf8(content);
    const char* attr = nullptr;
    switch (node->v.element.tag) {
    case GUMBO_TAG_A:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_AREA:
        attr = "href";
        break;
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_EMBED:
        attr = "src";
        break;
    case GUMBO_TAG_TIME:
        attr = "datetime";
        break;
    case GUMBO_TAG_DATA:
    case GUMBO_TAG_METER:
        attr = "value";
        break;
    case GUMBO_TAG_OBJECT:
        attr = "data";
        break;
    default:
        break;
    }
    if (attr)
        if (const char* v = Attr(node, attr)) return QString::fromUtf8(v);
    std::string text;
    NodeText(node, text);
    // Kept as lines: directions given as paragraphs stay steps of their own.
    std::string lines;
    std::size_t from = 0;
    for (;;) {
        const std::size_t nl = text.find('\n', from);
        std::string line = Squeeze(std::string_view(text).substr(from, nl - from));
        if (!line.empty()) lines += (lines.empty() ? "" : "\n") + line;
        if (nl == std::string::npos) break;
        from = nl + 1;
    }
    return QString::fromStdString(lines);
}

// Gathers the properties below `node` into `item`; a nested item keeps its own.
void MicrodataProps(const GumboNode* node, QJsonObject& item, int depth) {
    if (depth > 64) return;
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(children.data[i]);
        if (!IsElement(child)) continue;
        if (const char* prop = Attr(child, "itemprop")) {
            const QJsonValue value = MicrodataValue(child, depth);
            for (const std::string& name : Tokens(prop)) {
                const QString key = QString::fromStdString(name);
                QJsonValue old = item.value(key);
                if (old.isUndefined()) {
                    item.insert(key, value);
                } else {
                    QJsonArray list = old.isArray() ? old.toArray() : QJsonArray{old};
                    list.append(value);
                    item.insert(key, list);
                }
            }
        }
        if (!Attr(child, "itemscope")) MicrodataProps(child, item, depth + 1);
    }
}

QJsonObject MicrodataItem(const GumboNode* scope, int depth) {
    QJsonObject item;
    QJsonArray types;
    for (const std::string& t : Tokens(Attr(scope, "itemtype")))
        types.append(QString::fromStdString(t));
    item.insert(QStringLiteral("@type"), types);
    if (depth < 32) MicrodataProps(scope, item, depth);
    return item;
}

void ReadJsonBlock(const std::string& text, std::vector<QJsonObject>& out) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    if (error.error != QJsonParseError::NoError) return;
    FindRecipes(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()), out);
}

void Walk(const GumboNode* node, TPage& page, int depth) {
    if (!IsElement(node) || depth > 512) return;
    const GumboTag tag = node->v.element.tag;
    if (tag == GUMBO_TAG_SCRIPT) {
        const char* type = Attr(node, "type");
        if (type && FoldAZ(Field(type)) == "application/ld+json") {
            std::string text;
            const GumboVector& c = node->v.element.children;
            for (unsigned i = 0; i < c.length; ++i) {
                const auto* t = static_cast<const GumboNode*>(c.data[i]);
                if (t->type == GUMBO_NODE_TEXT || t->type == GUMBO_NODE_WHITESPACE ||
                    t->type == GUMBO_NODE_CDATA)
                    text += t->v.text.text;
            }
            ReadJsonBlock(text, page.jsonRecipes);
        }
        return;
    }
    if (tag == GUMBO_TAG_META && page.ogUrl.empty()) {
        const char* property = Attr(node, "property");
        const char* content = Attr(node, "content");
        if (property && content && FoldAZ(property) == "og:url") page.ogUrl = Field(content);
    }
    if (tag == GUMBO_TAG_LINK && page.canonical.empty()) {
        const char* href = Attr(node, "href");
        for (const std::string& rel : Tokens(Attr(node, "rel")))
            if (href && FoldAZ(rel) == "canonical") page.canonical = Field(href);
    }
    if (Attr(node, "itemscope")) {
        bool recipe = false;
        for (const std::string& t : Tokens(Attr(node, "itemtype")))
            recipe = recipe || NamesType(t, "Recipe");
        if (recipe) {
            page.microdataRecipes.push_back(MicrodataItem(node, 0));
            return;
        }
    }
    const GumboVector& children = node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        Walk(static_cast<const GumboNode*>(children.data[i]), page, depth + 1);
}

} // namespace

std::string DurationWords(const std::string& iso) {
    const std::string text = Field(iso);
    if (text.size() < 2 || (text[0] != 'P' && text[0] != 'p')) return text;
    // Years, months, weeks, days, then after "T" hours, minutes, seconds.
    static const char* const kDate[] = {"year", "month", "week", "day"};
    static const char kDateMarks[] = "YMWD";
    static const char* const kTime[] = {"hour", "minute", "second"};
    static const char kTimeMarks[] = "HMS";
    std::string words;
    bool time = false, any = false;
    std::size_t i = 1;
    while (i < text.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (c == 'T' && !time) {
            time = true;
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) ||
                                   text[j] == '.' || text[j] == ','))
            ++j;
        if (j == i || j == text.size()) return text;
        std::string number = text.substr(i, j - i);
        std::replace(number.begin(), number.end(), ',', '.');
        const char mark = static_cast<char>(std::toupper(static_cast<unsigned char>(text[j])));
        const char* marks = time ? kTimeMarks : kDateMarks;
        const char* found = std::strchr(marks, mark);
        if (!found || number.find_first_not_of("0123456789.") != std::string::npos) return text;
        const char* unit = time ? kTime[found - marks] : kDate[found - marks];
        any = true;
        const double value = std::strtod(number.c_str(), nullptr);
        if (value != 0) {
            if (!words.empty()) words += ' ';
            if (value == std::floor(value) && value < 1e12)
                words += Plural(static_cast<long long>(value), unit);
            else
                words += Utf8(QString::number(value)) + " " + unit + "s";
        }
        i = j + 1;
    }
    return any ? words : text;
}

std::vector<TImportedRecipe> ReadWebPage(const std::string& text, bool* isPage) {
    TPage page;
    const std::string start = Field(text.substr(0, std::min<std::size_t>(text.size(), 4096)));
    bool json = false;
    if (!start.empty() && (start[0] == '{' || start[0] == '[')) {
        QJsonParseError error;
        QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
        json = error.error == QJsonParseError::NoError;
    }
    bool html = false;
    if (json) {
        ReadJsonBlock(text, page.jsonRecipes);
    } else {
        GumboOutput* doc =
            gumbo_parse_with_options(&kGumboDefaultOptions, text.data(), text.size());
        // A page is one that names itself (a doctype) or has an <html>, <head> or <body> tag
        // in its text; the parser adds those elements to any text.
        html = doc->document->v.document.has_doctype ||
               !(doc->root->parse_flags & GUMBO_INSERTION_BY_PARSER);
        Walk(doc->root, page, 0);
        gumbo_destroy_output(&kGumboDefaultOptions, doc);
    }
    if (isPage)
        *isPage = json || html || !page.jsonRecipes.empty() || !page.microdataRecipes.empty();
    const std::string address = !page.ogUrl.empty() ? page.ogUrl : page.canonical;
    std::vector<TImportedRecipe> out;
    std::vector<std::string> titles;
    for (const QJsonObject& o : page.jsonRecipes) {
        out.push_back(MakeRecipe(o, address));
        titles.push_back(FoldAZ(out.back().Title));
    }
    // Pages often give the same recipe both ways; microdata adds only recipes not yet read.
    for (const QJsonObject& o : page.microdataRecipes) {
        TImportedRecipe r = MakeRecipe(o, address);
        if (std::find(titles.begin(), titles.end(), FoldAZ(r.Title)) == titles.end())
            out.push_back(std::move(r));
    }
    return out;
}

void TWebPageReader::Begin() {
    read_ = sawPage_ = false;
    recipes_.clear();
}

bool TWebPageReader::FindStart(TLineReader& in) {
    if (!read_) {
        read_ = true;
        std::string text;
        while (!in.Eof()) {
            text += in.ReadLine();
            text += '\n';
        }
        std::vector<TImportedRecipe> found = ReadWebPage(text, &sawPage_);
        recipes_.assign(std::make_move_iterator(found.begin()),
                        std::make_move_iterator(found.end()));
    }
    return !recipes_.empty();
}

bool TWebPageReader::ParseRecipe(TLineReader&, TImportedRecipe& out) {
    out = std::move(recipes_.front());
    recipes_.pop_front();
    return true;
}

} // namespace larderly::import
