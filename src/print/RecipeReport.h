// The printed recipe report: the title and the date of printing centred, the categories, and
// the recipe's text wrapped between the section edges, on as many pages as it needs.
#pragma once

#include "ingredients/ShoppingList.h"
#include "print/ReportEngine.h"
#include "store/Tables.h"

#include <cstdint>
#include <string>
#include <vector>

namespace larderly {

// The report system's settings.
namespace report {
inline constexpr const char* kSetupTitle = "Book Setup";
inline constexpr const char* kStatusTitle = "Book Status";
inline constexpr const char* kPreviewTitle = "Preview Book";
inline constexpr const char* kGeneratingText = "Generating page %p";
inline constexpr const char* kPrintingText = "Printing page %p";
inline constexpr const char* kJobTitle = "Recipe Report";
inline constexpr double kMarginInches = 0.5; // top, bottom, left and right
inline constexpr int kPreviewMarginPercent = 2;
inline constexpr int kPreviewZoomPercent = 100;
inline constexpr const char* kFontName = "MS Sans Serif";
inline constexpr double kFontPoints = 12.0;
// A new page begins as soon as this many lines are left on the page.
inline constexpr int kReserveLines = 5;
// Refused instead of printing nothing when no recipe is selected.
inline constexpr const char* kNoRecipeSelected = "Please select a recipe to print.";
// A printer that cannot start (none installed, none reachable).
inline constexpr const char* kUnableToStartPrinting =
    "Unable to start printing.  To print to a PDF file, choose it in Printer Setup.";
} // namespace report

// "%p" of a status text replaced by the page number.
std::string StatusText(const char* pattern, int page);

// A date as the report prints it: month, day and year as two, two and four digits with
// leading zeros, separated by `separator` ("mm/dd/yyyy" with "/" standing for it).
std::string ReportDateText(int year, int month, int day, const std::string& separator);

// The categories text of a recipe's slots: the name of each stored slot (identifier 0 or
// more), slot 1's alone and each of slots 2 to 4 after "; ". Loads every label it names;
// a label that is gone raises the store's "Unable to find Label Record" error.
std::string CategoriesText(TfmTables& store, const std::array<int32_t, 4>& slots);

// What the report prints of one recipe.
struct TRecipeReportData {
    std::string Title;
    std::string Categories;
    std::vector<std::string> Text;
};

// Finds the recipe and names its categories. A recipe or label that is gone raises the
// store's error before anything is drawn.
TRecipeReportData LoadRecipeReport(TfmTables& store, int32_t recipeId);
// Names the categories of a recipe already loaded.
TRecipeReportData LoadRecipeReport(TfmTables& store, const RecipeValue& recipe);

// Draws a loaded report.
void DrawRecipeReport(TReportEngine& engine, const TRecipeReportData& data,
                      const std::string& dateText);

// Draws the reports of several recipes one after the other, each beginning on a page of its
// own (a book printed whole).
void DrawRecipeReports(TReportEngine& engine, const std::vector<TRecipeReportData>& reports,
                       const std::string& dateText);

// Draws a shopping list: its title and the date centred, then each aisle's name in bold over
// its items, the quantities right-aligned before the items.
void DrawShoppingList(TReportEngine& engine, const std::string& title,
                      const std::vector<ingredients::ShoppingItem>& items,
                      const std::string& dateText);

// Loads and draws the whole report of the recipe `recipeId` (ReportSystem1Print). `dateText` is the
// date of printing as ReportDateText gives it. A recipe that is gone raises the store's
// "Unable to find Recipe Record" error, and nothing further is drawn.
void DrawRecipeReport(TReportEngine& engine, TfmTables& store, int32_t recipeId,
                      const std::string& dateText);

} // namespace larderly
