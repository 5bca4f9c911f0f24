// Drawing of the recipe report.
#include "print/RecipeReport.h"

#include "ingredients/IngredientLine.h"
#include "store/StoreError.h"

#include <algorithm>
#include <cstdio>

namespace larderly {

namespace {

namespace ing = ingredients;

// One printed line of a recipe's text: a line as written (wrapped), a heading in bold, or a
// row of the ingredient table (amount, unit and a piece of the item).
struct ReportRow {
    enum class Kind { Text, Heading, Ingredient };
    Kind kind = Kind::Text;
    std::string Text; // the line, the heading, or the item's piece
    std::string Amount, Unit;
};

// Where the table's columns stand: the amounts end at `AmountRight`, units and items begin at
// `UnitLeft` and `ItemLeft`.
struct TableColumns {
    double AmountRight = 0, UnitLeft = 0, ItemLeft = 0;
};

std::vector<std::string> Wrapped(const TReportEngine& e, const std::string& line, double left,
                                 double right) {
    TMemoBuf memo;
    memo.SetLines({line});
    memo.Wrap(e, left, right);
    return memo.Lines();
}

// The recipe's text as printed rows. The ingredient lines of Meal-Master and MasterCook
// columns become table rows (a continuation line joins its ingredient, a two-column row gives
// two rows); a group heading ("MMMMM-----SAUCE-----", or a line ending in ":" that leads into
// ingredients) prints in bold without its markers; every other line is wrapped as written.
std::vector<ReportRow> LayOutText(const TReportEngine& e, const std::vector<std::string>& text,
                                  TableColumns& columns) {
    const std::vector<ing::ParsedLine> parsed = ing::ParseRecipeText(text);
    // The parsed lines of each text line; a continuation line has none of its own.
    std::vector<std::vector<const ing::ParsedLine*>> bySource(text.size());
    for (const ing::ParsedLine& p : parsed)
        bySource[p.Source].push_back(&p);
    auto leadsIntoIngredients = [&](std::size_t at) {
        for (std::size_t k = at + 1; k < parsed.size(); ++k) {
            if (parsed[k].kind == ing::LineKind::Blank) continue;
            return parsed[k].kind == ing::LineKind::Ingredient;
        }
        return false;
    };

    double amountWidth = 0, unitWidth = 0;
    for (const ing::ParsedLine& p : parsed) {
        if (p.kind != ing::LineKind::Ingredient) continue;
        amountWidth = std::max(amountWidth, e.TextWidth(p.ingredient.amount.Text));
        unitWidth = std::max(unitWidth, e.TextWidth(p.ingredient.UnitText));
    }
    const double gap = e.TextWidth("  ");
    columns.AmountRight = e.SectionLeft() + amountWidth;
    columns.UnitLeft = columns.AmountRight + (amountWidth > 0 ? gap : 0);
    columns.ItemLeft = columns.UnitLeft + (unitWidth > 0 ? unitWidth + gap : 0);

    std::vector<ReportRow> rows;
    auto addText = [&](ReportRow::Kind kind, const std::string& line) {
        for (const std::string& piece : Wrapped(e, line, e.SectionLeft(), e.SectionRight()))
            rows.push_back({kind, piece, {}, {}});
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto& lines = bySource[i];
        if (lines.empty()) continue; // joined to the ingredient above
        const ing::ParsedLine& first = *lines.front();
        if (first.kind == ing::LineKind::Ingredient) {
            for (const ing::ParsedLine* p : lines) {
                const ing::IngredientLine& in = p->ingredient;
                std::vector<std::string> pieces =
                    Wrapped(e, in.ItemText, columns.ItemLeft, e.SectionRight());
                if (pieces.empty()) pieces.emplace_back();
                for (std::size_t k = 0; k < pieces.size(); ++k)
                    rows.push_back({ReportRow::Kind::Ingredient, pieces[k],
                                    k == 0 ? in.amount.Text : std::string(),
                                    k == 0 ? in.UnitText : std::string()});
            }
            continue;
        }
        if (first.kind == ing::LineKind::Heading) {
            const bool ruled = text[i].find("-----") != std::string::npos;
            if (ruled) {
                addText(ReportRow::Kind::Heading, first.Heading);
                continue;
            }
            if (leadsIntoIngredients(static_cast<std::size_t>(&first - parsed.data()))) {
                std::string line = text[i];
                line.erase(0, line.find_first_not_of(" \t"));
                addText(ReportRow::Kind::Heading, line);
                continue;
            }
        }
        addText(ReportRow::Kind::Text, text[i]);
    }
    return rows;
}

void PrintRow(TReportEngine& e, const ReportRow& row, const TableColumns& columns) {
    switch (row.kind) {
    case ReportRow::Kind::Text:
        e.Println(row.Text);
        return;
    case ReportRow::Kind::Heading:
        e.SetBold(true);
        e.Println(row.Text);
        e.SetBold(false);
        return;
    case ReportRow::Kind::Ingredient:
        e.PrintAt(row.Amount, columns.AmountRight - e.TextWidth(row.Amount));
        e.PrintAt(row.Unit, columns.UnitLeft);
        e.PrintAt(row.Text, columns.ItemLeft);
        e.NewLine();
        return;
    }
}

// Prints the rows, a new page whenever the reserve of lines is reached. Every full page ends
// with the same reserve of empty lines. A page too short to reach the reserve exactly still
// breaks instead of running off the paper, and the last line never leaves an empty page
// behind it.
void PrintRows(TReportEngine& e, const std::vector<ReportRow>& rows, const TableColumns& columns) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PrintRow(e, rows[i], columns);
        if (e.LinesLeft() <= report::kReserveLines && i + 1 < rows.size()) e.NewPage();
    }
}

// The title and the date of printing centred, and a blank line.
void PrintHeader(TReportEngine& e, const std::string& title, const std::string& dateText) {
    e.SetFont(report::kFontName, report::kFontPoints);
    const double centre = e.PageWidth() / 2.0;
    e.PrintCenter(title, centre);
    e.NewLine();
    e.PrintCenter("Printed on: " + dateText, centre);
    e.NewLine();
    e.NewLine();
}

} // namespace

std::string StatusText(const char* pattern, int page) {
    std::string s = pattern;
    const std::string num = std::to_string(page);
    for (std::size_t p = s.find("%p"); p != std::string::npos; p = s.find("%p", p + num.size()))
        s.replace(p, 2, num);
    return s;
}

std::string ReportDateText(int year, int month, int day, const std::string& separator) {
    char mm[8], dd[8], yyyy[16];
    std::snprintf(mm, sizeof mm, "%02d", month);
    std::snprintf(dd, sizeof dd, "%02d", day);
    std::snprintf(yyyy, sizeof yyyy, "%04d", year);
    return std::string(mm) + separator + dd + separator + yyyy;
}

std::string CategoriesText(TfmTables& store, const std::array<int32_t, 4>& slots) {
    std::string text;
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (slots[k] < 0) continue;
        // A label that is gone is an error, whether or not other labels remain.
        const std::optional<LabelValue> label = store.LoadLabelById(slots[k]);
        if (!label) throw EStoreError(kLabelNotFound);
        if (k > 0) text += "; ";
        text += label->Name;
    }
    return text;
}

TRecipeReportData LoadRecipeReport(TfmTables& store, const RecipeValue& recipe) {
    TRecipeReportData d;
    d.Title = recipe.Title;
    d.Text = recipe.Lines;
    d.Categories = CategoriesText(store, recipe.Category);
    return d;
}

TRecipeReportData LoadRecipeReport(TfmTables& store, int32_t recipeId) {
    std::optional<RecipeValue> recipe;
    if (recipeId >= 0) recipe = store.LoadRecipeById(recipeId);
    if (!recipe) throw EStoreError(kRecipeNotFound);
    return LoadRecipeReport(store, *recipe);
}

void DrawRecipeReport(TReportEngine& e, const TRecipeReportData& d, const std::string& dateText) {
    PrintHeader(e, d.Title, dateText);
    e.Println("Categories: " + d.Categories);
    e.NewLine();
    TableColumns columns;
    PrintRows(e, LayOutText(e, d.Text, columns), columns);
}

void DrawShoppingList(TReportEngine& e, const std::string& title,
                      const std::vector<ingredients::ShoppingItem>& items,
                      const std::string& dateText) {
    PrintHeader(e, title, dateText);
    double quantityWidth = 0;
    for (const ingredients::ShoppingItem& item : items)
        quantityWidth = std::max(quantityWidth, e.TextWidth(item.QuantityText()));
    TableColumns columns;
    columns.AmountRight = e.SectionLeft() + quantityWidth;
    columns.UnitLeft = columns.ItemLeft = columns.AmountRight + e.TextWidth("  ");
    std::vector<ReportRow> rows;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ingredients::ShoppingItem& item = items[i];
        if (i == 0 || item.Aisle != items[i - 1].Aisle) {
            if (i > 0) rows.push_back({ReportRow::Kind::Text, {}, {}, {}});
            for (const std::string& piece :
                 Wrapped(e, item.Aisle, e.SectionLeft(), e.SectionRight()))
                rows.push_back({ReportRow::Kind::Heading, piece, {}, {}});
        }
        const std::vector<std::string> pieces =
            Wrapped(e, item.Name, columns.ItemLeft, e.SectionRight());
        for (std::size_t k = 0; k < pieces.size(); ++k)
            rows.push_back({ReportRow::Kind::Ingredient,
                            pieces[k],
                            k == 0 ? item.QuantityText() : std::string(),
                            {}});
    }
    PrintRows(e, rows, columns);
}

void DrawRecipeReports(TReportEngine& e, const std::vector<TRecipeReportData>& reports,
                       const std::string& dateText) {
    for (std::size_t i = 0; i < reports.size(); ++i) {
        if (i > 0) e.NewPage();
        DrawRecipeReport(e, reports[i], dateText);
    }
}

void DrawRecipeReport(TReportEngine& e, TfmTables& store, int32_t recipeId,
                      const std::string& dateText) {
    DrawRecipeReport(e, LoadRecipeReport(store, recipeId), dateText);
}

} // namespace larderly
