// The program entry: creates the application and the main window (whose creation runs the
// whole start-up) and runs the message loop until the main window closes.
//
// --screenshot FILE starts without the welcome window, saves a picture of the main window
// to FILE and ends (used to document the program).
#include "app/QtPrompts.h"
#include "app/SingleInstance.h"
#include "app/TfmMain.h"
#include "backup/ArchiveJob.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QTimer>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Larderly");
    // Ties the window to its menu entry (icon and name on Wayland and in task bars).
    app.setDesktopFileName("org.larderly.Larderly");
    const char* screenshot = nullptr;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--screenshot") == 0) screenshot = argv[i + 1];

    // Staging folders that a killed or crashed backup or restore left behind.
    larderly::CleanUpInterruptedJobs(larderly::ProgramFolder(), larderly::ReadBackupPath());

    // A second start on the same data folder brings the running window forward and ends.
    larderly::SingleInstance single(QString::fromStdString(larderly::ProgramFolder()));
    if (!screenshot && !single.TakeOver()) return 0;

    larderly::QtPrompts prompts;
    larderly::TfmMainOptions options;
    options.ShowWelcome = screenshot == nullptr;
    larderly::TfmMain w(prompts, options);
    prompts.SetParent(&w);
    w.show();
    single.SetRaiseHandler([&w] {
        if (w.isMinimized()) w.showNormal();
        w.raise();
        w.activateWindow();
    });
    if (screenshot) {
        QTimer::singleShot(500, &w, [&] {
            bool ok = w.grab().save(QString::fromLocal8Bit(screenshot));
            app.exit(ok ? 0 : 1);
        });
    }
    return app.exec();
}
