#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace vf::cp932 {

// The code that a code-page conversion puts in place of a character the code
// page lacks ('?'). Such a character therefore flows through the encoder like
// any other and is caught by the code class test as unusable.
inline constexpr std::uint16_t kSubstitutionCode = 0x3F;

// Shift-JIS code of one UTF-16 code unit: lead * 256 + trail for a
// double-byte character, the byte value for a single-byte one, and
// kSubstitutionCode for anything outside code page 932 (lone surrogates
// included). Looked up in a table built once from ICU's windows-31j
// round-trip mapping.
std::uint16_t codeOf(char16_t unit);

// Whether the code unit has a code of its own in code page 932.
bool isMappable(char16_t unit);

// Decodes code page 932 bytes to text; undecodable bytes become U+FFFD.
QString decode(const QByteArray &bytes);

}  // namespace vf::cp932
