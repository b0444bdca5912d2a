#pragma once

#include "protocol/module_event.h"

#include <QByteArrayView>

namespace vf {

// Checks one packet as the module receives it, from its header 00 NN 00 up to
// where the line framing found its end (262 bytes unless it was cut short):
// the length, the speed code (in frame 1 only, speed byte 0 .. 3), the
// character data read back to text, the fill, the checksum and the end byte.
// Every fault found is reported, in that order; ok means there was none. Pure:
// whether the frame was due is the concern of the message it belongs to.
decoded::Packet checkPacket(QByteArrayView bytes);

}  // namespace vf
