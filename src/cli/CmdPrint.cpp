// larderly-cli print ID --pdf FILE [--date MM/DD/YYYY] [--servings N]: draws the recipe report of
// one recipe into a PDF file, without a display.
#include "cli/CliCommand.h"

#include "platform/AppPaths.h"
#include "print/QtReportEngine.h"
#include "print/RecipeReport.h"
#include "store/Tables.h"

#include <QGuiApplication>

#include <cstdlib>
#include <iostream>
#include <memory>

namespace larderly::cli {

int RunPrint(const CliArgs& a) {
    const std::string pdf = a.Value("--pdf"), date = a.Value("--date");
    int32_t id = -1;
    if (pdf.empty() || !ParseInt32(a.args[0], id)) return UsageError(a);
    // No display is needed: the offscreen platform serves fonts and painting.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "larderly-cli";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }

    TfmTables store;
    store.OpenDatabase(ProgramFolder());
    store.SetTablesOpen(true);
    // The recipe and its labels are read before the file is created, so a missing recipe
    // leaves no file behind.
    TRecipeReportData data = LoadRecipeReport(store, id);
    if (const int status = ApplyServings(a, data.Text)) return status;
    const int pages = WriteRecipeReportPdf(data, pdf, date.empty() ? TodayReportDate() : date);
    std::cout << pages << (pages == 1 ? " page\n" : " pages\n");
    return 0;
}

} // namespace larderly::cli
