// The hourglass, the error guard and the help window.
#include "gui/GuiSupport.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace larderly {

THourglass::THourglass() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
THourglass::~THourglass() {
    QApplication::restoreOverrideCursor();
}

bool RunGuarded(Prompts& prompts, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        try {
            prompts.Message(PromptKind::Error, e.what(), PromptButtons::Ok);
        } catch (...) {
            // A message box that cannot be shown must not take the program down with it.
        }
    } catch (...) {
        try {
            prompts.Message(PromptKind::Error, "An unexpected error occurred", PromptButtons::Ok);
        } catch (...) {
        }
    }
    return false;
}

namespace {
std::string& HelpPath() {
    static std::string path;
    return path;
}

QPointer<QDialog>& HelpWindow() {
    static QPointer<QDialog> w;
    return w;
}
} // namespace

void SetHelpFile(const std::string& path) {
    HelpPath() = path;
}
const std::string& HelpFile() {
    return HelpPath();
}

void ShowHelpContext(Prompts& prompts, int context, QWidget* parent) {
    const std::string& path = HelpPath();
    if (path.empty() || !QFile::exists(Q(path))) {
        prompts.Message(PromptKind::Information,
                        "No help is installed: the help file Recipe.hlp is neither in the program "
                        "folder, nor beside the program, nor in the installed data folder.");
        return;
    }
    // A modal window (the backup dialog, the Categories window) takes every click meant for
    // windows that are not its own: the help opens over it.
    if (QWidget* modal = QApplication::activeModalWidget()) parent = modal;
    QPointer<QDialog>& w = HelpWindow();
    QTextBrowser* browser = nullptr;
    if (!w) {
        w = new QDialog(parent);
        w->setObjectName("HelpWindow");
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->setWindowTitle("Larderly Help");
        w->resize(640, 520);
        auto* lay = new QVBoxLayout(w);
        browser = new QTextBrowser(w);
        browser->setObjectName("HelpBrowser");
        browser->setOpenExternalLinks(true);
        lay->addWidget(browser);
    } else {
        browser = w->findChild<QTextBrowser*>("HelpBrowser");
        // Asked from another window: the help moves over to it.
        if (parent && w->parentWidget() != parent) w->setParent(parent, w->windowFlags());
    }
    QFile f(Q(path));
    if (!f.open(QIODevice::ReadOnly)) {
        prompts.Message(PromptKind::Error, "The help file " + path + " cannot be read.");
        return;
    }
    browser->setHtml(QString::fromUtf8(f.readAll()));
    browser->scrollToAnchor(QString("context-%1").arg(context));
    w->show();
    w->raise();
    w->activateWindow();
}

void SetHelpContext(QWidget* w, int context) {
    if (w) w->setProperty("helpContext", context);
}

int HelpContextOf(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        QVariant v = w->property("helpContext");
        if (v.isValid()) return v.toInt();
    }
    return kHelpMain;
}

} // namespace larderly
