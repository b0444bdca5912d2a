#include "encoder/message_builder.h"

#include "protocol/character_conversion.h"
#include "protocol/control_command.h"

namespace vf {

BuiltMessage buildMessage(QStringView text, int speedOption) {
  BuiltMessage message;
  message.padded = text.toString() + QString(kPaddingLength, QChar(0x3000));
  if (message.padded.size() > kMaxPaddedLength) {
    message.outcome = RunOutcome::TooLong;
    return message;
  }
  if (text.isEmpty()) {
    message.outcome = RunOutcome::Empty;
    return message;
  }
  message.normalised = normaliseWithPositions(message.padded);
  const QString &normalised = message.normalised.text;

  // One packet per frame: 127 characters in frame 1, 128 in each after it.
  NoticeLog unused;
  Lookups lookups(unused);  // told where to report before each use
  qsizetype frameStart = 0;
  for (int frameNumber = 1; frameStart < normalised.size() && frameNumber <= kMaxFrames; ++frameNumber) {
    const bool firstFrame = frameNumber == 1;
    BuiltFrame frame;
    frame.start = frameStart;
    const QStringView conversionText =
        QStringView(normalised).mid(frameStart, (firstFrame ? kFirstFrameDataBytes : kLaterFrameDataBytes) / 2);
    frame.length = conversionText.size();
    frameStart += frame.length;

    FrameForms forms;
    forms.packetHexText = StartPacket(frameNumber, firstFrame, speedOption);
    lookups.reportTo(frame.conversionNotices);
    const int dataBytes = ConvertCharacters(conversionText, forms, lookups, frame.conversionNotices);
    if (dataBytes / 2 < frame.length) frame.unusableAt = frame.start + dataBytes / 2;
    frame.hexTextAtNotice = forms.packetHexText.size();
    lookups.reportTo(frame.completionNotices);
    frame.checksum = CompletePacket(forms.packetHexText, dataBytes, firstFrame, lookups);
    frame.jisDigits = std::move(forms.jisDigits);
    frame.jisBits = std::move(forms.jisBits);
    frame.packetHexText = std::move(forms.packetHexText);
    frame.packedDigits = PackDigits(frame.packetHexText);
    message.frames.push_back(std::move(frame));
  }

  for (const BuiltFrame &frame : message.frames) {
    if (frame.unusableAt < 0) continue;
    const TextRange whole = wholeCharacters(text, message.normalised.sourceIndex[frame.unusableAt],
                                            message.normalised.sourceIndex[frame.unusableAt + 1]);
    message.firstUnusableFrom = whole.from;
    message.firstUnusableTo = whole.to;
    break;
  }

  // The frame count announced is that of the frames built: width conversion
  // can shorten the text (a katakana and its sound mark become one
  // character), and a count taken before it would announce frames that
  // were never built.
  const int frameCount = static_cast<int>(message.frames.size());
  message.writes.reserve(2 + message.frames.size());
  message.writes.push_back(messageStartCommand());
  message.writes.push_back(frameCountCommand(frameCount));
  for (const BuiltFrame &frame : message.frames) message.writes.push_back(HexTextToBytes(frame.packedDigits));
  return message;
}

}  // namespace vf
