#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vf {

enum class TextFileEncoding { Utf8, CodePage932, Utf16 };

struct TextFile {
  QString text;
  TextFileEncoding encoding = TextFileEncoding::CodePage932;
};

// Which encoding a .txt file is read in. A UTF-16 byte order mark (FF FE or
// FE FF, as Windows Notepad's "Unicode" writes) means UTF-16, a UTF-8 one UTF-8;
// bytes that are not valid UTF-8, or not valid code page 932, leave one
// choice. Otherwise the evidence is weighed: Japanese text in UTF-8 is made of
// three-byte sequences, so one of them means UTF-8; where the only non-ASCII
// characters are two-byte sequences, those are just as well pairs of
// half-width katakana in code page 932 ("ﾊｲ" is CA B2, which UTF-8 reads as
// "ʲ"), and code page 932 is taken unless an accented Latin letter stands
// against a lower-case ASCII letter, as in "café" or "Müller".
TextFileEncoding encodingOfTextFile(const QByteArray &bytes);

// The text that loading a .txt file puts into the input field, from the
// file's bytes, read in the encoding above. Lines end at CR or CR LF (the marks
// are dropped, a lone LF stays in its line), and every line is put back
// followed by CR LF, so a non-empty file always gives text ending in CR LF and
// an empty file gives empty text. Bytes that are no character come in as "�".
TextFile textFromFileBytes(const QByteArray &bytes);

// The largest file read: far more than the module takes (2033 characters),
// and little enough to hold in memory whatever the file turns out to be.
inline constexpr qint64 kMaxTextFileBytes = 16 * 1024 * 1024;

struct TextFileRead {
  std::optional<TextFile> file;  // the text, unless the file was refused
  QString error;                 // why it was refused, naming the file, for the operator
};

// Reads a .txt file the way loading does, for the program and for
// vf3360-send alike. Refused, each with its message: a file that cannot be
// opened or read to its end, one with a NUL byte outside UTF-16 (a program or
// a picture, not text), and one over kMaxTextFileBytes (its size in the
// message; a device that never ends counts as too big).
TextFileRead readTextFile(const QString &path);

}  // namespace vf
