#include "encoder/convert_and_send.h"

#include "encoder/character_conversion.h"
#include "encoder/width_conversion.h"

namespace vf {

int ConvertRunResult::framesBuilt() const {
  int count = 0;
  for (const auto &field : frameFields) count += field.has_value() ? 1 : 0;
  return count;
}

ConvertRunResult runConvertAndSend(const ConvertRequest &request) {
  ConvertRunResult result;

  // A packet left from an earlier run: its work fields are cleared first.
  if (request.packetLeftFromEarlierRun) {
    result.text6 = QString();
    result.text14 = QString();
    result.text15 = QString();
    result.text20 = QString();
  }

  const QString padded = request.text + QString(kPaddingLength, QChar(0x3000));
  result.text1 = padded;
  result.text19 = QString::number(padded.size());

  if (padded.size() > kMaxPaddedLength) {
    result.outcome = RunOutcome::TooLong;
    result.notices.push_back({OperatorNotice::Kind::MessageBox, QStringLiteral("文字数オーバー")});
    return result;
  }
  if (request.text.isEmpty()) {
    result.outcome = RunOutcome::Empty;
    result.notices.push_back({OperatorNotice::Kind::ClearCheck1, QString()});
    result.notices.push_back({OperatorNotice::Kind::MessageBox, QStringLiteral("文字を入力してください")});
    return result;
  }

  const QString normalised = toFullWidth(padded);
  result.text1 = normalised;

  // Build phase: one packet per frame, 127 characters in frame 1, 128 after.
  Lookups lookups(result.notices);
  FrameForms forms;
  QString packed;
  int frameNumber = 1;
  for (qsizetype frameStart = 0; frameStart < normalised.size() && frameNumber <= kMaxFrames; ++frameNumber) {
    const bool firstFrame = frameNumber == 1;
    const qsizetype length = firstFrame ? kFirstFrameDataBytes / 2 : kLaterFrameDataBytes / 2;
    const QStringView conversionText = QStringView(normalised).mid(frameStart, length);
    frameStart += conversionText.size();

    forms.jisDigits.clear();
    forms.jisBits.clear();
    forms.packetHexText = StartPacket(frameNumber, firstFrame, request.speedOption);
    const std::size_t noticesBefore = result.notices.size();
    const int dataBytes = ConvertCharacters(conversionText, forms, lookups, result.notices);
    if (result.notices.size() != noticesBefore) result.unusableCharacter = true;
    result.text14 = CompletePacket(forms.packetHexText, dataBytes, firstFrame, lookups);
    packed = PackDigits(forms.packetHexText);
    result.frameFields[frameNumber - 1] = packed;
  }
  const int frameCount = frameNumber - 1;

  result.text4 = forms.jisDigits;
  result.text6 = forms.jisBits;
  result.text13 = forms.packetHexText;
  result.text15 = packed;
  result.text20 = QString();
  result.label14 = QStringLiteral("変換完了！");

  // Send phase. The frame count is that of the frames built: width conversion
  // can shorten the text (a katakana and its sound mark become one character),
  // and a count taken before it would send frame fields of an earlier run.
  result.text21 = QString::number(frameCount);
  result.writes.reserve(2 + frameCount);
  result.writes.push_back(messageStartCommand());
  result.writes.push_back(frameCountCommand(frameCount));
  for (int k = 0; k < frameCount; ++k) result.writes.push_back(HexTextToBytes(*result.frameFields[k]));
  result.enableTimerAfterSend = true;
  return result;
}

}  // namespace vf
