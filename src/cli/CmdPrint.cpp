// larderly-cli print ID --pdf FILE [--date MM/DD/YYYY]: draws the recipe report of one recipe
// into a PDF file, without a display.
#include "cli/CliCommand.h"

#include "platform/AppPaths.h"
#include "print/QtReportEngine.h"
#include "print/RecipeReport.h"
#include "store/Tables.h"

#include <QGuiApplication>

#include <charconv>
#include <cstdlib>
#include <iostream>
#include <memory>

namespace larderly::cli {
namespace {

constexpr const char* kUsage = "usage: larderly-cli [--home DIR] print ID --pdf FILE [--date TEXT]\n";

bool ParseId(const std::string& s, int32_t& id) {
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), id);
    return ec == std::errc() && end == s.data() + s.size();
}

int RunPrint(const CliArgs& a) {
    std::string idText, pdf, date;
    for (std::size_t i = 0; i < a.args.size(); ++i) {
        const std::string& s = a.args[i];
        if (s == "--pdf" && i + 1 < a.args.size()) {
            pdf = a.args[++i];
        } else if (s == "--date" && i + 1 < a.args.size()) {
            date = a.args[++i];
        } else if (idText.empty() && !s.starts_with("--")) {
            idText = s;
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    int32_t id = -1;
    if (idText.empty() || pdf.empty() || !ParseId(idText, id)) {
        std::cerr << kUsage;
        return 2;
    }
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
    const TRecipeReportData data = LoadRecipeReport(store, id);
    const int pages = WriteRecipeReportPdf(data, pdf, date.empty() ? TodayReportDate() : date);
    std::cout << pages << (pages == 1 ? " page\n" : " pages\n");
    return 0;
}

CliRegistrar reg("print", "print ID --pdf FILE [--date TEXT]  draw the recipe report of one recipe into a PDF file",
                 RunPrint);

} // namespace
} // namespace larderly::cli
