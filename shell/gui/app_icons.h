// The program's own icons, drawn with QPainter at start: the ten navigation entries, the toolbar
// commands, the lamps of the results page and the program icon. No image files are shipped.
#pragma once

#include <QIcon>

namespace orv::gui {

enum class CommandIcon { Offline, Online, Record, Stop, Monitor, Interface, Print, About };

QIcon pageIcon(int pageIndex);  // 32 x 32
QIcon commandIcon(CommandIcon which);
QIcon lampIcon(bool red, bool bright);  // 16 x 16
QIcon eventIcon(int index);             // 16 x 16: run, saved, priority 1, 2, 3
QIcon programIcon();

}  // namespace orv::gui
