#pragma once

#include <QIcon>

// The program draws its own icons, so nothing depends on a theme being installed.
namespace icons {

QIcon program();
// The program's icon drawn at size × size pixels, for the window and the desktop's icon theme.
QImage programImage(int size);
// The toolbar's images by index: 0 support, 1 new, 5 settings, 6 delete, 9 print, 10 backup.
QIcon toolbar(int index);

} // namespace icons
