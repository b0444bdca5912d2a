#pragma once

#include <QByteArray>
#include <QString>

namespace vf {

// The text that loading a .txt file puts into the input field, from the
// file's bytes. UTF-8 when the bytes start with a UTF-8 byte order mark or are
// valid UTF-8 as a whole, code page 932 otherwise. Lines end at CR or CR LF
// (the marks are dropped, a lone LF stays in its line), and every line is put
// back followed by CR LF, so a non-empty file always gives text ending in
// CR LF and an empty file gives empty text.
QString textFromFileBytes(const QByteArray &bytes);

}  // namespace vf
