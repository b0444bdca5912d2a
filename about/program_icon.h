#pragma once

#include <QIcon>
#include <QPixmap>

namespace vf {

// The program's icon, 32 x 32 pixels in 16 colours: the letters VF in lit
// dots on a fluorescent display.
QPixmap programIconPixmap();
QIcon programIcon();

}  // namespace vf
