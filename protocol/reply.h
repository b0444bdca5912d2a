#pragma once

#include "protocol/port_code.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace vf {

// What one receive event asks of the window.
struct ReplyVerdict {
  // The module's reply as text, shown in place of the last one; nullopt
  // leaves what is shown as it is.
  std::optional<QString> replyText;
  bool sendDataCue = false;  // answer with the data cue command
};

// Judges the bytes of one receive event by the kind of connection.
// RS-232C: bytes 3 and 4 as code page 932 text up to the first NUL are the
// reply text (empty with fewer than four bytes); the cue reply is that text
// reading exactly "ﾀ". USB変換: the cue reply is a first byte 0xC0; no text.
ReplyVerdict judgeReply(QByteArrayView bytes, ConnectionKind kind);

// The module's cue reply as it arrives over each kind of connection: on
// RS-232C bytes 3 and 4 are C0 00, through a USB-serial converter the first
// byte is C0.
QByteArray cueReply(ConnectionKind kind);

}  // namespace vf
