// The program entry: creates the application and the main window (whose creation runs the
// whole start-up) and runs the message loop until the main window closes.
//
// --screenshot FILE starts without the welcome window, saves a picture of the main window
// to FILE and ends (used to document the program). --help and --version print and end
// before anything else: no window, no display needed, no data folder made.
#include "app/QtPrompts.h"
#include "app/SingleInstance.h"
#include "app/TfmMain.h"
#include "backup/ArchiveJob.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kUsage =
    "Usage: larderly [--screenshot FILE] [Qt options]\n"
    "       larderly --help | --version\n"
    "\n"
    "Larderly keeps a collection of recipes: a list to browse and filter, recipe books,\n"
    "printing, import of MasterCook and Meal-Master files, backup and restore.\n"
    "\n"
    "  --screenshot FILE  start without the welcome window, save a picture of the main\n"
    "                     window to FILE (PNG) and end\n"
    "  --help             show this text and end\n"
    "  --version          show the version and end\n"
    "\n"
    "The data folder is LARDERLY_HOME when set; the settings live in LARDERLY_WINDIR when\n"
    "set, else in ~/.config/larderly. larderly-cli works on the same data from scripts.\n";
} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("larderly %s\n", LARDERLY_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    app.setApplicationName("Larderly");
    // Ties the window to its menu entry (icon and name on Wayland and in task bars).
    app.setDesktopFileName("org.larderly.Larderly");
    const char* screenshot = nullptr;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = argv[i + 1];

    // A second start on the same data folder brings the running window forward and ends.
    // The picture of --screenshot may be taken while the program runs.
    const std::string dataFolder = larderly::DataFolderOf(larderly::ProgramFolder());
    larderly::SingleInstance single(QString::fromStdString(dataFolder));
    if (!screenshot) {
        switch (single.TakeOver()) {
        case larderly::SingleInstance::Start::First:
            break;
        case larderly::SingleInstance::Start::Forwarded:
            return 0;
        case larderly::SingleInstance::Start::Blocked:
            QMessageBox::warning(nullptr, "Larderly",
                                 "The data folder " + QString::fromStdString(dataFolder) +
                                     " is in use by " + single.BlockedBy() +
                                     ". Start Larderly again when it has finished.");
            return 1;
        case larderly::SingleInstance::Start::Unusable:
            QMessageBox::critical(nullptr, "Larderly", single.BlockedBy());
            return 1;
        }
    }
    // Staging folders that a killed or crashed backup or restore left behind (a job at work
    // holds the lock of its folder, which is kept).
    larderly::CleanUpInterruptedJobs(larderly::ProgramFolder(), larderly::ReadBackupPath());

    larderly::QtPrompts prompts;
    larderly::TfmMainOptions options;
    options.ShowWelcome = screenshot == nullptr;
    larderly::TfmMain w(prompts, options);
    prompts.SetParent(&w);
    w.show();
    single.SetRaiseHandler([&w] { larderly::BringToFront(w); });
    if (screenshot) {
        QTimer::singleShot(500, &w, [&] {
            bool ok = w.grab().save(QString::fromLocal8Bit(screenshot));
            app.exit(ok ? 0 : 1);
        });
    }
    return app.exec();
}
