#include "encoder/run_presentation.h"

#include "protocol/hex_text.h"

namespace vf {
namespace {

const QString kUnusable = QStringLiteral("使用不可能な文字が含まれています");
const QString kUnusableCaption = QStringLiteral("文字コード ERROR");

class Steps {
 public:
  void set(RunField field, const QString &text, int frame = 0) { steps_.push_back(SetField{field, text, frame}); }
  void box(const QString &text) { steps_.push_back(ShowMessage{text}); }
  void clearAutoUpdate() { steps_.push_back(ClearAutoUpdate{}); }
  void select(qsizetype from, qsizetype to) { steps_.push_back(SelectInInput{from, to}); }
  std::vector<RunStep> take() { return std::move(steps_); }

 private:
  std::vector<RunStep> steps_;
};

}  // namespace

QString refusalText(RunOutcome outcome, qsizetype characters) {
  switch (outcome) {
    case RunOutcome::TooLong:
      return QStringLiteral("文字数オーバー（%1文字、最大%2文字）").arg(characters).arg(kMaxInputLength);
    case RunOutcome::Empty: return QStringLiteral("文字を入力してください");
    case RunOutcome::Sent: break;
  }
  return {};
}

std::vector<RunStep> presentRun(const BuiltMessage &message, bool packetLeft) {
  using F = RunField;
  Steps s;
  const QString empty;
  if (packetLeft) {
    for (const F field : {F::JisBits, F::Checksum, F::PackedPacket, F::FrameText}) s.set(field, empty);
  }
  const QString count = QString::number(message.padded.size());
  s.set(F::ErrorCaption, empty);  // what a run before found is not this run's
  s.set(F::ModuleText, message.padded);
  s.set(F::CharacterCount, count);
  if (message.outcome == RunOutcome::TooLong) {
    s.box(refusalText(message.outcome, message.padded.size() - kPaddingLength));
    return s.take();
  }
  if (message.outcome == RunOutcome::Empty) {
    s.clearAutoUpdate();
    s.box(refusalText(message.outcome, 0));
    return s.take();
  }

  const QString &normalised = message.normalised.text;
  bool selected = false;
  for (std::size_t k = 0; k < message.frames.size(); ++k) {
    const BuiltFrame &frame = message.frames[k];
    const int frameNumber = static_cast<int>(k) + 1;
    // Each frame pass starts again from the operator's text.
    if (k > 0) {
      s.set(F::ModuleText, message.padded);
      s.set(F::CharacterCount, count);
    }
    s.set(F::ModuleText, normalised);
    s.set(F::FrameText, normalised.mid(frame.start, frame.length));
    for (const F field : {F::JisDigits, F::JisBits, F::PackedPacket, F::FrameText}) s.set(field, empty);
    const int lead = packetLeadLength(frameNumber);
    s.set(F::PacketText, openHex(QByteArrayView(frame.packet).first(lead)));
    s.set(F::ConversionStatus, QStringLiteral("変換中..."));
    s.set(F::JisDigits, jisDigitsText(frame.jis));
    s.set(F::JisBits, jisBitsText(frame.jis));
    if (frame.unusableAt >= 0) {
      s.set(F::PacketText, openHex(QByteArrayView(frame.packet).first(lead + frame.dataBytes)));
      s.box(kUnusable);
      s.set(F::ErrorCaption, kUnusableCaption);
      if (!selected) {
        s.select(message.firstUnusableFrom, message.firstUnusableTo);
        selected = true;
      }
    }
    s.set(F::PacketText, spacedHex(frame.packet));
    s.set(F::Checksum, fourDigitHex(packetChecksum(frame.packet)));
    s.set(F::ConversionStatus, QStringLiteral("変換完了！"));
    s.set(F::PackedPacket, packedHex(frame.packet));
    s.set(F::FramePacket, packedHex(frame.packet), frameNumber);
  }
  // The pass that finds no more characters ends the build phase.
  s.set(F::ModuleText, message.padded);
  s.set(F::CharacterCount, count);
  s.set(F::ModuleText, normalised);
  s.set(F::FrameText, empty);

  // Send phase: the count, and the packed packet of each frame as it goes out.
  s.set(F::FrameCount, QString::number(message.frames.size()));
  for (const BuiltFrame &frame : message.frames) s.set(F::PackedPacket, packedHex(frame.packet));
  return s.take();
}

}  // namespace vf
