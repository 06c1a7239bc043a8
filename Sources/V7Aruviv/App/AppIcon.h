#pragma once

#include <QIcon>

namespace k7 {

// The program's icon, painted (the installed SVG shows the same picture to the desktop).
QIcon appIcon();

}  // namespace k7
