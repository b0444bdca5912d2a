#include "encoder/message_builder.h"

namespace vf {

RunOutcome runOutcomeOf(QStringView text) {
  if (text.size() + kPaddingLength > kMaxPaddedLength) return RunOutcome::TooLong;
  if (text.isEmpty()) return RunOutcome::Empty;
  return RunOutcome::Sent;
}

BuiltMessage buildMessage(QStringView text, int speedOption) {
  BuiltMessage message;
  message.padded = text.toString() + QString(kPaddingLength, QChar(0x3000));
  message.outcome = runOutcomeOf(text);
  if (message.outcome != RunOutcome::Sent) return message;
  message.normalised = normaliseWithPositions(message.padded);
  const QString &normalised = message.normalised.text;

  // One packet per frame: 127 characters in frame 1, 128 in each after it.
  qsizetype frameStart = 0;
  for (int frameNumber = 1; frameStart < normalised.size() && frameNumber <= kMaxFrames; ++frameNumber) {
    const int capacity = (frameNumber == 1 ? kFirstFrameDataBytes : kLaterFrameDataBytes) / 2;
    BuiltFrame frame;
    frame.start = frameStart;
    const QStringView frameText = QStringView(normalised).mid(frameStart, capacity);
    frame.length = frameText.size();
    frameStart += frame.length;
    ConvertedFrame converted = convertFrame(frameText);
    if (converted.unusableAt >= 0) frame.unusableAt = frame.start + converted.unusableAt;
    frame.jis = std::move(converted.jis);
    frame.dataBytes = static_cast<int>(converted.displayCodes.size());
    frame.packet = buildPacket(frameNumber, speedOption, converted.displayCodes);
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
  for (const BuiltFrame &frame : message.frames) message.writes.push_back(frame.packet);
  return message;
}

FaceText faceTextOf(const BuiltMessage &message) {
  std::vector<bool> stopped;
  for (const BuiltFrame &frame : message.frames) stopped.push_back(frame.unusableAt >= 0);
  return faceTextOf(message.writes, stopped);
}

}  // namespace vf
