#pragma once

#include "link/module_link.h"

#include <QString>

namespace vf {

// The operator's words for what the serial line reports, the same in the
// window, the bridge's status and events, and vf3360-send.

// Why a port did not open: the device and why, with the remedy for a device
// the user may not open (the second line of "ポートが開けませんでした").
QString openFailureText(const PortOpenResult &result);

// Why a write did not go out (the window's message box).
QString writeFailureText(const WriteFailure &failure);

}  // namespace vf
