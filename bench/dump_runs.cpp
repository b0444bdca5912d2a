// Prints, for seeded random texts, one line a run: a digest of everything
// "変換 + 送信" shows and sends, as the real window does it. Two builds that
// print the same lines fill every field alike, at every message box and at
// the end, and put the same bytes on the line. Run offscreen:
//   QT_QPA_PLATFORM=offscreen build/bench/dump_runs [texts] > runs.txt

#include "tests/support/rig.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <random>

namespace {

// Texts of every kind: kana, kanji, half width, unusable and control
// characters, line ends; every length up to 2033, and a few beyond.
QString randomText(std::mt19937 &rng) {
  static const QString pools[] = {QStringLiteral("あいうぁんアイヴーヶ"), QStringLiteral("漢字亜院弌堯槇熙鑿龠丼檗泛"),
                                  QStringLiteral("ｱｶﾞﾊﾟｰﾞﾜﾞｦﾞﾞﾟ｡AZaz09 !~\\\"'"),
                                  QStringLiteral("한éب😀髙\uE000①Ⅻ㈱～〜−‖—÷"),
                                  QStringLiteral("\r\n\t\x01\x1A\x1B\x7F")};
  std::discrete_distribution<int> pick({30, 30, 20, 8, 6});
  const int length = std::uniform_int_distribution<int>(0, 2040)(rng);
  QString text;
  while (text.size() < length) {
    const QString &pool = pools[pick(rng)];
    text += pool[std::uniform_int_distribution<int>(0, int(pool.size()) - 1)(rng)];
  }
  return text.left(length);
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const int texts = argc > 1 ? std::atoi(argv[1]) : 3000;
  vf::rig::WindowRig window;
  window.start();
  QStringList shown;  // the fields at each message box
  // Every field a run may fill, in the window's order: the input, the steps of
  // the conversion, the 16 frames, the status; the digest holds their texts in
  // this order and none of their names.
  const QStringList fieldNames = {
      QStringLiteral("inputField"), QStringLiteral("moduleTextField"), QStringLiteral("replyField"),
      QStringLiteral("jisHexField"), QStringLiteral("jisBinaryField"), QStringLiteral("packetTextField"),
      QStringLiteral("checksumField"), QStringLiteral("packedPacketField"), QStringLiteral("characterCountField"),
      QStringLiteral("frameTextField"), QStringLiteral("frameCountField"), QStringLiteral("framePacketField1"),
      QStringLiteral("framePacketField2"), QStringLiteral("framePacketField3"), QStringLiteral("framePacketField4"),
      QStringLiteral("framePacketField5"), QStringLiteral("framePacketField6"), QStringLiteral("framePacketField7"),
      QStringLiteral("framePacketField8"), QStringLiteral("framePacketField9"),
      QStringLiteral("framePacketField10"), QStringLiteral("framePacketField11"),
      QStringLiteral("framePacketField12"), QStringLiteral("framePacketField13"),
      QStringLiteral("framePacketField14"), QStringLiteral("framePacketField15"),
      QStringLiteral("framePacketField16"), QStringLiteral("conversionStatusLabel"),
      QStringLiteral("errorCaptionLabel")};
  for (const QString &name : fieldNames) {
    if (!window.find<QWidget>(name)) {
      std::fprintf(stderr, "no field %s\n", qPrintable(name));
      return 1;
    }
  }
  const auto fields = [&] {
    QStringList all;
    for (const QString &name : fieldNames) all << window.field(name);
    return all.join(u'\x1F');
  };
  window.dialogs.atMessage = [&](const QString &text) { shown << text << fields(); };
  auto *input = window.find<vf::TextField>(QStringLiteral("inputField"));
  std::mt19937 rng(15);
  for (int i = 0; i < texts; ++i) {
    const QString text = randomText(rng);
    const int speed = 1 + i % 5;
    window.chooseSpeed(speed);
    input->setFieldText(text);
    shown.clear();
    window.module.clear();
    window.press(QStringLiteral("convertAndSendButton"));
    window.find<QTimer>(QStringLiteral("updateTick"))->stop();
    window.module.settle(20);
    QCryptographicHash digest(QCryptographicHash::Sha1);
    digest.addData(window.module.bytes);
    digest.addData(shown.join(u'\x1E').toUtf8());
    digest.addData(fields().toUtf8());
    digest.addData(QByteArray::number(input->textCursor().selectionStart()) + ',' +
                   QByteArray::number(input->textCursor().selectionEnd()));
    std::printf("%d %d %d %s\n", i, int(text.size()), speed, digest.result().toHex().constData());
  }
  return 0;
}
