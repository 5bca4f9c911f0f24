// The tool bar's pictures, drawn in code: 32 by 32 pixels.
#pragma once

#include <QIcon>

namespace larderly {

enum class IconKind { Filter, Books, Recipes, Print, Close, Strip };

QIcon MakeIcon(IconKind kind);
// The welcome window's picture strip.
QPixmap MakeWelcomeStrip(int width, int height);

} // namespace larderly
