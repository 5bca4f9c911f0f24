// Parts that windows share beyond the helpers of GuiSupport.h: a tool bar whose buttons keep
// their given places while there is room and close up from the left when there is not, and
// F1 on a highlighted menu entry.
#pragma once

#include <QObject>
#include <QRect>

#include <functional>
#include <vector>

class QWidget;

namespace larderly {

// Places the tool bar's buttons: at their given places when the bar is wide enough for them,
// else packed from the left edge in the same order. Installed as the bar's event filter.
class ToolBarPlacer : public QObject {
public:
    ToolBarPlacer(QWidget* bar, std::vector<QWidget*> buttons);
    // The width the buttons need packed, with their gaps.
    int PackedWidth() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int kGap = 1;
    std::vector<QWidget*> buttons_;
    std::vector<QRect> places_;
};

// F1 on a highlighted menu entry opens that entry's help context (its "helpContext" property,
// else the main one): the menu's own window gets no key events while the menu is open, so the
// window's F1 shortcut cannot see it. Installed as each menu's event filter.
class MenuHelpKey : public QObject {
public:
    MenuHelpKey(QObject* parent, std::function<void(int)> show);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(int)> show_;
};

} // namespace larderly
