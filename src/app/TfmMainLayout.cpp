// The window's layout kept between runs: its place and size (on a screen that still exists),
// whether it was maximised, the width of the list pane, the import and export folders and the
// search text.
#include "app/TfmMain.h"

#include "platform/Settings.h"
#include "workspace/TfmRecipeList.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>

#include <algorithm>

namespace larderly {

void TfmMain::RestoreLayout() {
    const TLayoutSettings l = ReadLayoutSettings();
    importFolder_ = l.ImportFolder;
    exportFolder_ = l.ExportFolder;
    if (!l.SearchText.empty()) fmRecipeList->SetSearchText(l.SearchText);
    if (l.Width > 0 && l.Height > 0) {
        const QSize size =
            QSize(l.Width, l.Height).expandedTo(minimumSizeHint()).expandedTo(QSize(200, 150));
        const QRect wanted(QPoint(l.Left, l.Top), size);
        // The window's top edge (where it is taken hold of) must lie on a screen.
        const QRect grip(wanted.topLeft(), QSize(wanted.width(), 30));
        bool onScreen = false;
        for (QScreen* screen : QGuiApplication::screens()) {
            const QRect shared = screen->availableGeometry().intersected(grip);
            if (shared.width() >= 40 && shared.height() >= 10) onScreen = true;
        }
        resize(size);
        if (onScreen) {
            move(wanted.topLeft());
        } else if (QScreen* s = QGuiApplication::primaryScreen()) {
            move(s->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
        }
        if (l.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
    }
    if (l.ListWidth > 0) {
        splMain->setSizes({l.ListWidth, std::max(1, width() - l.ListWidth)});
    }
}

void TfmMain::SaveLayout() {
    TLayoutSettings l;
    const bool maximized = isMaximized();
    // The position is the frame's (what move() takes); a maximised window keeps the place
    // it goes back to.
    QRect normal(pos(), size());
    if (maximized)
        normal = QRect(normalGeometry().topLeft() - (geometry().topLeft() - pos()),
                       normalGeometry().size());
    l.Left = normal.left();
    l.Top = normal.top();
    l.Width = normal.width();
    l.Height = normal.height();
    l.Maximized = maximized;
    const QList<int> sizes = splMain->sizes();
    l.ListWidth = sizes.isEmpty() ? fmRecipeList->width() : sizes.front();
    l.ImportFolder = importFolder_;
    l.ExportFolder = exportFolder_;
    l.SearchText = fmRecipeList->SearchText();
    WriteLayoutSettings(l);
}

} // namespace larderly
