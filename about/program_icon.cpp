#include "about/program_icon.h"

// The resources live in a static library: make sure they are registered.
static void initAboutResources() { Q_INIT_RESOURCE(about); }

namespace vf {

QPixmap programIconPixmap() {
  static const bool registered = (initAboutResources(), true);
  Q_UNUSED(registered);
  return QPixmap(QStringLiteral(":/vf3360/vf3360.png"));
}

QIcon programIcon() { return QIcon(programIconPixmap()); }

}  // namespace vf
