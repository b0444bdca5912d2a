#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace vf {

// What the operator's text would make as a message, known while they
// types: the characters the module has no code for, and the counts.
struct TextCheck {
  struct Range {
    qsizetype from = 0;  // [from, to) in the text: one character (two code units for a
    qsizetype to = 0;    // surrogate pair, two for a half-width katakana and its mark)
  };
  // Every character that convert-and-send would refuse as unusable, judged
  // after the text rules exactly as the run judges it; only in the part of
  // the text that can be sent (the first 2033 characters).
  std::vector<Range> unusable;
  qsizetype characters = 0;  // code units, as the limit of 2033 counts them
  int frames = 0;            // frames of the message; 0 when nothing would be sent
};

TextCheck checkText(QStringView text);

}  // namespace vf
