#include "gui/WindowParts.h"

#include "gui/GuiSupport.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>

namespace larderly {

ToolBarPlacer::ToolBarPlacer(QWidget* bar, std::vector<QWidget*> buttons)
    : QObject(bar), buttons_(std::move(buttons)) {
    for (QWidget* b : buttons_)
        places_.push_back(b->geometry());
}

int ToolBarPlacer::PackedWidth() const {
    int w = kGap;
    for (const QRect& r : places_)
        w += r.width() + kGap;
    return w;
}

bool ToolBarPlacer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        const int width = static_cast<QWidget*>(watched)->width();
        const bool roomy = places_.back().right() < width;
        int x = kGap;
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            QRect r = places_[i];
            if (!roomy) r.moveLeft(x);
            buttons_[i]->setGeometry(r);
            x += r.width() + kGap;
        }
    }
    return false;
}

MenuHelpKey::MenuHelpKey(QObject* parent, std::function<void(int)> show)
    : QObject(parent), show_(std::move(show)) {}

bool MenuHelpKey::eventFilter(QObject* watched, QEvent* event) {
    auto* menu = qobject_cast<QMenu*>(watched);
    if (!menu || event->type() != QEvent::KeyPress ||
        static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
        return false;
    int context = kHelpMain;
    if (QAction* a = menu->activeAction(); a && a->property("helpContext").isValid())
        context = a->property("helpContext").toInt();
    // Close the menus first: the help window must not open behind a popup.
    menu->close();
    show_(context);
    return true;
}

} // namespace larderly
