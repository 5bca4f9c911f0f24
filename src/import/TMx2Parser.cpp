// The structured MasterCook XML export, parsed with QXmlStreamReader.
#include "import/TMx2Parser.h"

#include "import/ImportText.h"
#include "platform/Text.h"

#include <QString>
#include <QXmlStreamReader>

#include <vector>

namespace larderly::import {

namespace {

std::string Utf8(QStringView s) {
    return s.toString().toStdString();
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A recipe while its element is open.
struct TOpenRecipe {
    TImportedRecipe recipe;
    std::string servings;
    std::vector<std::string> ingredients;
    std::vector<std::string> directions;
    std::string description, source, notes; // Desc, Srce and Note texts
    std::vector<TImportedRecipe> nested;    // recipes inside this one, given out after it
};

} // namespace

std::string TolerantXmlLine(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 5, "<?xml") == 0) {
            auto end = line.find("?>", i);
            if (end == std::string_view::npos) break;
            i = end + 1;
            continue;
        }
        if (line[i] != '&') {
            out += line[i];
            continue;
        }
        std::size_t j = i + 1;
        if (j < line.size() && line[j] == '#') ++j;
        while (j < line.size() && IsNameChar(line[j]))
            ++j;
        const std::string_view name = line.substr(i + 1, j - i - 1);
        const bool known = name == "amp" || name == "lt" || name == "gt" || name == "quot" ||
                           name == "apos" || (name.size() > 1 && name[0] == '#');
        out += known && j < line.size() && line[j] == ';' ? "&" : "&amp;";
    }
    return out;
}

struct TMx2Parser::Impl {
    QXmlStreamReader xml;
    std::vector<TOpenRecipe> open; // the recipe elements open now, outermost first
    std::deque<TImportedRecipe> ready;
    bool recognised = false;
    bool finished = false;
    bool failed = false;
    // The text element being read (CatT, IPrp or DirT) and its text so far: text arrives in
    // pieces as the data does.
    QString textOf;
    std::string text;
    std::string Attr(const char* name) { return Utf8(xml.attributes().value(QLatin1String(name))); }

    void Start() {
        const QStringView name = xml.name();
        if (name == u"mx2") recognised = true;
        if (name == u"RcpE") {
            recognised = true;
            open.emplace_back();
            open.back().recipe.Title = Field(Attr("name"));
            return;
        }
        if (open.empty()) return;
        TOpenRecipe& r = open.back();
        if (textOf.isEmpty() && (name == u"CatT" || name == u"IPrp" || name == u"DirT" ||
                                 name == u"Desc" || name == u"Srce" || name == u"Note")) {
            textOf = name.toString();
            text.clear();
        } else if (name == u"Serv") {
            r.servings = Field(Attr("qty"));
        } else if (name == u"IngR") {
            const std::string qty = Field(Attr("qty")), unit = Field(Attr("unit"));
            std::string ingredient = Field(Attr("name"));
            r.ingredients.push_back(PadTo(qty, 8) + PadTo(unit, 15) + ingredient);
        }
    }

    // A text element ends: its text goes where it belongs.
    void TextEnded(TOpenRecipe& r) {
        if (textOf == u"CatT") {
            const std::string cat = Field(text);
            for (auto& slot : r.recipe.Categories)
                if (slot.empty()) {
                    slot = cat;
                    break;
                }
        } else if (textOf == u"IPrp") {
            const std::string prep = Field(text);
            if (!prep.empty() && !r.ingredients.empty()) r.ingredients.back() += " -- " + prep;
        } else if (textOf == u"Desc") {
            r.description += text;
        } else if (textOf == u"Srce") {
            r.source += text;
        } else if (textOf == u"Note") {
            r.notes += text;
        } else {
            r.directions.push_back(text);
        }
        textOf.clear();
    }

    void End() {
        if (!textOf.isEmpty() && xml.name() == textOf) {
            if (!open.empty()) TextEnded(open.back());
            textOf.clear();
            return;
        }
        if (xml.name() != u"RcpE" || open.empty()) return;
        TOpenRecipe r = std::move(open.back());
        open.pop_back();
        TImportedRecipe& out = r.recipe;
        // The servings line as the text form's first 20 columns give it.
        out.Lines.push_back(Field(Columns("Serving Size  : " + r.servings, 1, 20)));
        for (auto& line : r.ingredients)
            out.Lines.push_back(TrimRightCodes(line));
        // A text as lines, the first after `label`.
        auto append = [&out](std::string text, const std::string& label) {
            std::erase(text, '\r');
            std::size_t from = 0;
            for (std::string lead = label;; lead.clear()) {
                auto nl = text.find('\n', from);
                out.Lines.push_back(
                    TrimRightCodes(lead + TrimLeftCodes(text.substr(from, nl - from))));
                if (nl == std::string::npos) break;
                from = nl + 1;
            }
        };
        for (const std::string& d : r.directions) {
            out.Lines.emplace_back();
            append(d, {});
        }
        // The description, source and notes close the text, as the text form shows them.
        const std::pair<const std::string*, const char*> tail[] = {
            {&r.description, "Description: "}, {&r.source, "Source: "}, {&r.notes, "Notes: "}};
        bool blank = false;
        for (const auto& [text, label] : tail) {
            if (Field(*text).empty()) continue;
            if (!blank) out.Lines.emplace_back();
            blank = true;
            append(TrimCodes(*text), label);
        }
        if (!open.empty()) {
            // An embedded recipe comes out after the one that holds it.
            open.back().nested.push_back(std::move(out));
            for (auto& n : r.nested)
                open.back().nested.push_back(std::move(n));
            return;
        }
        ready.push_back(std::move(out));
        for (auto& n : r.nested)
            ready.push_back(std::move(n));
    }

    void Run() {
        while (!failed) {
            const auto token = xml.readNext();
            if (xml.hasError()) {
                // More data may complete a document that is only cut short so far.
                if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && !finished)
                    return;
                failed = true;
                return;
            }
            if (token == QXmlStreamReader::StartElement)
                Start();
            else if (token == QXmlStreamReader::EndElement)
                End();
            else if (token == QXmlStreamReader::Characters && !textOf.isEmpty())
                text += Utf8(xml.text());
            else if (token == QXmlStreamReader::EndDocument)
                return;
        }
    }
};

TMx2Parser::TMx2Parser() : d_(std::make_unique<Impl>()) {}
TMx2Parser::~TMx2Parser() = default;

void TMx2Parser::Feed(std::string_view text) {
    d_->xml.addData(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    d_->Run();
}

void TMx2Parser::Finish() {
    d_->finished = true;
    d_->Run();
}

bool TMx2Parser::Next(TImportedRecipe& out) {
    if (d_->ready.empty()) return false;
    out = std::move(d_->ready.front());
    d_->ready.pop_front();
    return true;
}

bool TMx2Parser::Recognised() const {
    return d_->recognised;
}

} // namespace larderly::import
