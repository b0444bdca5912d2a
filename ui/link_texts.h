#pragma once

#include "link/module_link.h"

#include <QString>

namespace vf {

// The window's words for what the serial line reports.

// The second line of "ポートが開けませんでした": the device and why, with the
// remedy for a device the user may not open.
QString openFailureText(const PortOpenResult &result);

// The message box for a write the port did not take.
QString writeFailureText(const WriteFailure &failure);

}  // namespace vf
