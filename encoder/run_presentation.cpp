#include "encoder/run_presentation.h"

namespace vf {
namespace {

class Steps {
 public:
  void set(const QString &name, const QString &text) { add(RunStep::Kind::SetText, name, text); }
  void box(const QString &text) { add(RunStep::Kind::MessageBox, {}, text); }
  void clearCheck1() { add(RunStep::Kind::ClearCheck1, {}, {}); }
  void select(qsizetype from, qsizetype to) { add(RunStep::Kind::SelectInText3, {}, {}, from, to); }
  void notices(const NoticeLog &log) {
    for (const OperatorNotice &notice : log) {
      if (notice.kind == OperatorNotice::Kind::MessageBox) box(notice.text);
      else set(QStringLiteral("Label1"), notice.text);
    }
  }
  std::vector<RunStep> take() { return std::move(steps_); }

 private:
  void add(RunStep::Kind kind, const QString &name, const QString &text, qsizetype from = 0, qsizetype to = 0) {
    steps_.push_back({kind, name, text, from, to});
  }
  std::vector<RunStep> steps_;
};

QString frameField(std::size_t index) { return QStringLiteral("Text%1").arg(22 + index); }

}  // namespace

std::vector<RunStep> presentRun(const BuiltMessage &message, bool packetLeft) {
  Steps s;
  const QString empty;
  if (packetLeft) {
    for (const char *name : {"Text6", "Text14", "Text15", "Text20"}) s.set(QString::fromLatin1(name), empty);
  }
  const QString count = QString::number(message.padded.size());
  s.set(QStringLiteral("Text1"), message.padded);
  s.set(QStringLiteral("Text19"), count);
  if (message.outcome == RunOutcome::TooLong) {
    s.box(QStringLiteral("文字数オーバー"));
    return s.take();
  }
  if (message.outcome == RunOutcome::Empty) {
    s.clearCheck1();
    s.box(QStringLiteral("文字を入力してください"));
    return s.take();
  }

  const QString &normalised = message.normalised.text;
  bool selected = false;
  for (std::size_t k = 0; k < message.frames.size(); ++k) {
    const BuiltFrame &frame = message.frames[k];
    // Each frame pass starts again from Text3.
    if (k > 0) {
      s.set(QStringLiteral("Text1"), message.padded);
      s.set(QStringLiteral("Text19"), count);
    }
    s.set(QStringLiteral("Text1"), normalised);
    s.set(QStringLiteral("Text20"), normalised.mid(frame.start, frame.length));
    for (const char *name : {"Text4", "Text6", "Text15", "Text20"}) s.set(QString::fromLatin1(name), empty);
    // The header, and the speed code in frame 1: three characters of hex text a byte.
    s.set(QStringLiteral("Text13"), frame.packetHexText.left((k == 0 ? 5 : 3) * 3));
    s.set(QStringLiteral("Label14"), QStringLiteral("変換中..."));
    s.set(QStringLiteral("Text4"), frame.jisDigits);
    s.set(QStringLiteral("Text6"), frame.jisBits);
    if (!frame.conversionNotices.empty()) {
      s.set(QStringLiteral("Text13"), frame.packetHexText.left(frame.hexTextAtNotice));
      s.notices(frame.conversionNotices);
      if (frame.unusableAt >= 0 && !selected) {
        s.select(message.firstUnusableFrom, message.firstUnusableTo);
        selected = true;
      }
    }
    s.notices(frame.completionNotices);
    s.set(QStringLiteral("Text13"), frame.packetHexText);
    s.set(QStringLiteral("Text14"), frame.checksum);
    s.set(QStringLiteral("Label14"), QStringLiteral("変換完了！"));
    s.set(QStringLiteral("Text15"), frame.packedDigits);
    s.set(frameField(k), frame.packedDigits);
  }
  // The pass that finds no more characters ends the build phase.
  s.set(QStringLiteral("Text1"), message.padded);
  s.set(QStringLiteral("Text19"), count);
  s.set(QStringLiteral("Text1"), normalised);
  s.set(QStringLiteral("Text20"), empty);

  // Send phase: the count, and Text15 showing each packet as it goes out.
  s.set(QStringLiteral("Text21"), QString::number(message.frames.size()));
  for (const BuiltFrame &frame : message.frames) s.set(QStringLiteral("Text15"), frame.packedDigits);
  return s.take();
}

}  // namespace vf
