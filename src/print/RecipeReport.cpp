// Drawing of the recipe report.
#include "print/RecipeReport.h"

#include "store/StoreError.h"

#include <cstdio>

namespace larderly {

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
    e.SetFont(report::kFontName, report::kFontPoints);
    const double centre = e.PageWidth() / 2.0;
    e.PrintCenter(d.Title, centre);
    e.NewLine();
    e.PrintCenter("Printed on: " + dateText, centre);
    e.NewLine();
    e.NewLine();
    e.Println("Categories: " + d.Categories);
    e.NewLine();

    TMemoBuf memo;
    memo.SetLines(d.Text);
    memo.Wrap(e, e.SectionLeft(), e.SectionRight());
    for (std::size_t i = 0; i < memo.LineCount(); ++i) {
        e.Println(memo.GetLine(i));
        // Every full page ends with the same reserve of empty lines. A page too short to
        // reach the reserve exactly still breaks instead of running off the paper, and the
        // last line never leaves an empty page behind it.
        if (e.LinesLeft() <= report::kReserveLines && i + 1 < memo.LineCount()) e.NewPage();
    }
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
