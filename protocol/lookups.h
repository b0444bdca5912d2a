#pragma once

#include "protocol/operator_notice.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace vf {

// The encoder's exact-match lookups between hex digits and bit text. Each
// keeps its last result for the rest of the command; on an input that matches
// no row it reports the error to the operator (message box, then Label1) and
// hands back that last result, empty when it has given none yet.
class Lookups {
 public:
  explicit Lookups(NoticeLog &notices) : notices_(&notices) {}
  // Where the errors are reported from now on; the last results stay.
  void reportTo(NoticeLog &notices) { notices_ = &notices; }

  // One hex digit ("0"-"9", "A"-"F") -> four characters of bit text.
  QStringView HEXtoBIN(QStringView digit);
  // Four characters of bit text -> one hex digit.
  QStringView BINtoHEX(QStringView nibble);
  // One character -> the same character, checked to be a hex digit.
  QStringView Ex16(QStringView character);

 private:
  NoticeLog *notices_;
  QStringView lastHexToBin_;
  QStringView lastBinToHex_;
  QStringView lastEx16_;
};

// Index 0..15 of an upper-case hex digit, or -1. Lower case is not a digit here.
int hexDigitIndex(QChar c);
// Index 0..15 of exactly four characters of "0"/"1", or -1.
int nibbleIndex(QStringView bits);

// The bit text of hex digit i (0..15) and the digit of nibble i, as stored.
QStringView bitTextOfDigit(int index);
QStringView digitOfNibble(int index);

// Value of a text of hex digits read as a hexadecimal number; empty is 0.
int hexValue(QStringView digits);

// A value as upper-case hex without leading zeros, "0" put in front, the last
// two characters kept: 5 -> "05", 300 -> "2C", -31 -> "E1" (32-bit two's
// complement).
QString twoDigitForm(std::int64_t value);
// The same two digits appended to text, without a temporary string.
void appendTwoDigitForm(QString &text, std::int64_t value);

// A byte as two upper-case hex digits ("0A").
QString hexByte(std::uint8_t byte);
// Bytes as upper-case hex digit pairs separated by blanks ("00 00 C0 00").
QString spacedHex(QByteArrayView bytes);

}  // namespace vf
