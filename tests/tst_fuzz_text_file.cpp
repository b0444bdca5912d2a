// Seeded random .txt files: random bytes, random UTF-8 text and random code
// page 932 text, each loaded as the input text and then converted and sent.
// The loaded text ends in CR LF unless it is empty, holds no CR without its
// LF, has one line for every line of the file, and is the file's text where
// that text is known. Whatever was loaded, convert-and-send gives either
// nothing (too long, empty) or a message the module reads without a fault.

#include "encoder/convert_and_send.h"
#include "encoder/cp932.h"
#include "link/module_decoder.h"
#include "tests/support/fuzz.h"
#include "ui/text_file.h"

#include <QStringDecoder>
#include <QtTest>

using namespace vf;

namespace {

const QByteArray kBom("\xEF\xBB\xBF", 3);

// The file's lines, each put back with CR LF: lines end at CR or CR LF, a
// lone LF stays in its line, a last line without an end still counts.
QString linesWithCrLf(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
  QStringList lines = text.split(u'\r');
  if (lines.last().isEmpty()) lines.removeLast();
  QString out;
  for (const QString &line : lines) out += line + QStringLiteral("\r\n");
  return out;
}

// Lines of a file counted in its bytes: every CR ends one, and so does the
// end of the file after anything but a line end. 0D is never part of a longer
// character in UTF-8 or code page 932.
int linesInBytes(QByteArray bytes) {
  if (bytes.startsWith(kBom)) bytes.remove(0, kBom.size());
  const int crs = static_cast<int>(bytes.count('\r'));
  const qsizetype lastCr = bytes.lastIndexOf('\r');
  qsizetype tail = lastCr + 1;
  if (lastCr >= 0 && tail < bytes.size() && bytes[tail] == '\n') ++tail;
  return crs + (tail < bytes.size() ? 1 : 0);
}

bool isUtf8(const QByteArray &bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8.decode(bytes);  // decoding happens on conversion to QString
  Q_UNUSED(decoded);
  return !utf8.hasError();
}

QString checkLoadedText(const QByteArray &bytes, const QString &text) {
  if (bytes.isEmpty() != text.isEmpty() && bytes != kBom) return QStringLiteral("empty where the file is not, or the other way");
  if (!text.isEmpty() && !text.endsWith(QStringLiteral("\r\n"))) return QStringLiteral("does not end in CR LF");
  for (qsizetype i = text.indexOf(u'\r'); i >= 0; i = text.indexOf(u'\r', i + 1))
    if (i + 1 >= text.size() || text[i + 1] != u'\n') return QStringLiteral("a CR without LF at %1").arg(i);
  if (text.count(QStringLiteral("\r\n")) != linesInBytes(bytes))
    return QStringLiteral("%1 lines, the file has %2").arg(text.count(QStringLiteral("\r\n"))).arg(linesInBytes(bytes));
  return {};
}

// Convert-and-send on the loaded text: nothing at all, or a message that the
// module's reading of the line finds whole and faultless. Display codes that
// name no character come only from characters that have none in JIS X 0208:
// user-defined characters (U+E000 ..) and control codes (CAN, 18, passes the
// code class test and lands on an empty cell).
QString checkMessage(const QString &text, int speedOption) {
  const ConvertRunResult r = runConvertAndSend({text, speedOption, false});
  const qsizetype padded = text.size() + kPaddingLength;
  if (text.isEmpty() || padded > kMaxPaddedLength) {
    const RunOutcome expected = text.isEmpty() ? RunOutcome::Empty : RunOutcome::TooLong;
    return r.outcome == expected && r.writes.empty() ? QString() : QStringLiteral("a message from a text that gives none");
  }
  if (r.outcome != RunOutcome::Sent) return QStringLiteral("no message");
  // Frames are cut from the normalised text, which joins a half-width kana
  // and its sound mark into one character: it may be shorter than the padded text.
  if (!r.text1 || r.text1->size() > padded) return QStringLiteral("no normalised text");
  const int frames = 1 + static_cast<int>(r.text1->size() / 128);
  if (r.writes.size() != std::size_t(2 + frames)) return QStringLiteral("%1 writes for %2 frames").arg(r.writes.size()).arg(frames);

  bool noJisCharacter = false;
  for (const QChar ch : text) {
    const char16_t u = ch.unicode();
    noJisCharacter |= (u >= 0xE000 && u <= 0xF8FF) || (u < 0x20 && u != u'\r' && u != u'\n');
  }
  ModuleDecoder module;
  std::vector<ModuleEvent> events;
  for (const QByteArray &w : r.writes)
    for (ModuleEvent &e : module.feed(w)) events.push_back(std::move(e));
  for (ModuleEvent &e : module.flush()) events.push_back(std::move(e));
  if (events.size() != std::size_t(3 + frames)) return QStringLiteral("%1 events for %2 frames").arg(events.size()).arg(frames);
  for (const ModuleEvent &e : events) {
    for (const FaultReport &f : e.faults) {
      if (f.kind != LineFault::UnknownDisplayCode || !noJisCharacter) return faultName(f.kind) + u' ' + f.detail;
    }
    if (e.kind == ModuleEvent::Kind::Packet && (e.length != kPacketSize || !e.checksumOk))
      return QStringLiteral("packet of frame %1 broken").arg(e.frame);
  }
  const ModuleEvent &message = events.back();
  if (message.kind != ModuleEvent::Kind::Message || message.frames != frames || message.received != frames)
    return QStringLiteral("the message is not complete");
  return {};
}

// Random UTF-8 text: ASCII, line ends, Japanese, Latin, characters outside
// the basic plane, user-defined characters.
QString randomUnicodeText(fuzz::Rng &rng, int length) {
  static const QString pool = QStringLiteral("AZaz09 ~\\\t\r\r\n\n\n漢字亜熙鑿あいアｱﾞ①㈱～＼￥「」éß한\u3000\uE000\uE757😀");
  QString text;
  while (text.size() < length) {
    const QChar ch = pool[fuzz::between(rng, 0, static_cast<int>(pool.size()) - 1)];
    if (ch.isSurrogate()) text += QStringLiteral("😀");
    else text += ch;
  }
  return text;
}

// Random code page 932 bytes with the text each character stands for. Single
// bytes are known without any table: ASCII and the controls (code page 932
// maps them to themselves), half-width katakana from U+FF61, and the bytes
// that are no character (U+FFFD). Double-byte codes are taken one at a time.
struct Cp932Text {
  QByteArray bytes;
  QString text;
};

Cp932Text randomCp932Text(fuzz::Rng &rng, int characters) {
  Cp932Text out;
  for (int i = 0; i < characters; ++i) {
    switch (fuzz::between(rng, 0, 9)) {
      case 0: {
        const char end = "\r\n\n"[fuzz::between(rng, 0, 2)];
        out.bytes += end;
        out.text += QChar(end);
        break;
      }
      case 1: {
        const int b = fuzz::between(rng, 0x01, 0x7F);
        out.bytes += static_cast<char>(b);
        out.text += QChar(b);
        break;
      }
      case 2: {
        const int b = fuzz::between(rng, 0xA1, 0xDF);
        out.bytes += static_cast<char>(b);
        out.text += QChar(0xFF61 + b - 0xA1);
        break;
      }
      case 3: {
        static const char kNoCharacter[] = {'\x80', '\xA0', '\xFD', '\xFE', '\xFF'};
        out.bytes += kNoCharacter[fuzz::between(rng, 0, 4)];
        out.text += QChar(0xFFFD);
        break;
      }
      default: {
        const int lead = fuzz::chance(rng, 0.7) ? fuzz::between(rng, 0x81, 0x9F) : fuzz::between(rng, 0xE0, 0xFC);
        int trail = fuzz::between(rng, 0x40, 0xFB);
        if (trail >= 0x7F) ++trail;  // 7F is no trail byte
        const QByteArray code{static_cast<char>(lead), static_cast<char>(trail)};
        out.bytes += code;
        out.text += cp932::decode(code);
      }
    }
  }
  return out;
}

int randomLength(fuzz::Rng &rng) { return fuzz::chance(rng, 0.1) ? fuzz::between(rng, 1900, 2600) : fuzz::between(rng, 0, 300); }

}  // namespace

class FuzzTextFileTest : public QObject {
  Q_OBJECT
 private slots:
  void randomBytes() {
    fuzz::Rng rng(2033);
    int sent = 0;
    for (int round = 0; round < 3000; ++round) {
      QByteArray bytes = fuzz::bytes(rng, randomLength(rng), "\r\n\r\n\x82\xA0\x81\x40\xEF\xBB\xBF\xE3\x81", 0.3);
      if (round % 7 == 0) bytes.prepend(kBom);
      const QString where = QStringLiteral("round %1").arg(round);
      const QString text = textFromFileBytes(bytes);
      const QString wrong = checkLoadedText(bytes, text);
      QVERIFY2(wrong.isEmpty(), qPrintable(where + QStringLiteral(": ") + wrong));
      const QString bad = checkMessage(text, 1 + round % 5);
      QVERIFY2(bad.isEmpty(), qPrintable(where + QStringLiteral(": ") + bad));
      sent += !text.isEmpty() && text.size() <= kMaxInputLength;
    }
    QVERIFY(sent > 2000);
  }

  void randomUtf8() {
    fuzz::Rng rng(8);
    for (int round = 0; round < 3000; ++round) {
      const QString source = randomUnicodeText(rng, randomLength(rng));
      QByteArray bytes = source.toUtf8();
      if (round % 3 == 0) bytes.prepend(kBom);
      const QString where = QStringLiteral("round %1").arg(round);
      const QString text = textFromFileBytes(bytes);
      QVERIFY2(checkLoadedText(bytes, text).isEmpty(), qPrintable(where + QStringLiteral(": ") + checkLoadedText(bytes, text)));
      QVERIFY2(text == linesWithCrLf(source), qPrintable(where));
      const QString bad = checkMessage(text, 1 + round % 5);
      QVERIFY2(bad.isEmpty(), qPrintable(where + QStringLiteral(": ") + bad));
    }
  }

  void randomCodePage932() {
    fuzz::Rng rng(932);
    int readAsCodePage = 0;
    for (int round = 0; round < 3000; ++round) {
      const Cp932Text file = randomCp932Text(rng, randomLength(rng));
      const QString where = QStringLiteral("round %1").arg(round);
      const QString text = textFromFileBytes(file.bytes);
      QVERIFY2(checkLoadedText(file.bytes, text).isEmpty(),
               qPrintable(where + QStringLiteral(": ") + checkLoadedText(file.bytes, text)));
      // A file that happens to be valid UTF-8 too is read as UTF-8.
      if (!isUtf8(file.bytes)) {
        QVERIFY2(text == linesWithCrLf(file.text), qPrintable(where));
        ++readAsCodePage;
      }
      const QString bad = checkMessage(text, 1 + round % 5);
      QVERIFY2(bad.isEmpty(), qPrintable(where + QStringLiteral(": ") + bad));
    }
    QVERIFY2(readAsCodePage > 2400, qPrintable(QString::number(readAsCodePage)));
  }
};

QTEST_APPLESS_MAIN(FuzzTextFileTest)
#include "tst_fuzz_text_file.moc"
