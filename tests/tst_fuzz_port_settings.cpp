// Seeded random contents of portnum.ini, given to the reader of the first line
// directly and through a real file. What is read is a port code only when the
// file's first line is one: a decimal number 1 .. 32, perhaps with blanks
// around it, within the bytes the reader looks at. Anything else asks for a
// port, and nothing after the first line changes the verdict.

#include "settings/port_settings.h"
#include "tests/support/fuzz.h"

#include <QTemporaryDir>
#include <QtTest>

using vf::PortSettingsFile;
using vf::StoredPortLine;
using Form = StoredPortLine::Form;

namespace {

// Pieces that files are made of: numbers right and wrong, blanks, line ends,
// signs, a byte order mark, long runs of blanks, junk.
QByteArray randomPiece(fuzz::Rng &rng) {
  static const QList<QByteArray> fixed = {
      "0", "1", "16", "17", "32", "33", "99", "00", "007", "4294967299", "-1", "+3", "3.0", "1e1", "0x10",
      " ", " ", "\t", "\v", "\f", "\r", "\n", "\r\n", "\n\r", "\xEF\xBB\xBF", QByteArray(1, '\0'), "abc", "３",
      QByteArray(40, ' '), QByteArray(70, '1'),
  };
  switch (fuzz::between(rng, 0, 4)) {
    case 0: return QByteArray::number(fuzz::between(rng, 0, 40));
    case 1: {
      QByteArray digits;
      for (int n = fuzz::between(rng, 1, 12); n > 0; --n) digits += static_cast<char>('0' + fuzz::between(rng, 0, 9));
      return digits;
    }
    case 2: return fuzz::bytes(rng, fuzz::between(rng, 1, 6), "0123456789 \r\n", 0.5);
    default: return fixed[fuzz::between(rng, 0, static_cast<int>(fixed.size()) - 1)];
  }
}

QByteArray randomPieces(fuzz::Rng &rng) {
  QByteArray contents;
  for (int n = fuzz::between(rng, 0, 8); n > 0; --n) contents += randomPiece(rng);
  return contents;
}

// Half of the files are shaped like a port line, perhaps edited by hand:
// blanks, a number, blanks, a line end, then anything.
QByteArray randomContents(fuzz::Rng &rng) {
  if (fuzz::chance(rng, 0.5)) return randomPieces(rng);
  static const QList<QByteArray> blanks = {"", "", "", " ", "  ", "\t", " \t"};
  static const QList<QByteArray> ends = {"", "\r\n", "\r\n", "\r", "\n"};
  auto pick = [&](const QList<QByteArray> &from) { return from[fuzz::between(rng, 0, static_cast<int>(from.size()) - 1)]; };
  return pick(blanks) + QByteArray::number(fuzz::between(rng, 0, 40)) + pick(blanks) + pick(ends) + randomPieces(rng);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// What the first line of the whole file says, from the file format alone.
struct FirstLine {
  QByteArray text;   // without its line end
  bool readable;     // it ends within the bytes the reader looks at
  int number = -1;   // its value when it is 1 .. 9 digits with blanks around; else -1
};

FirstLine firstLineOf(const QByteArray &contents) {
  qsizetype end = 0;
  while (end < contents.size() && contents[end] != '\r' && contents[end] != '\n') ++end;
  FirstLine line{contents.left(end), end < PortSettingsFile::kReadLimit ||
                                         (end == contents.size() && contents.size() <= PortSettingsFile::kReadLimit)};
  qsizetype from = 0, to = line.text.size();
  while (from < to && isBlank(line.text[from])) ++from;
  while (to > from && isBlank(line.text[to - 1])) --to;
  const QByteArray digits = line.text.mid(from, to - from);
  if (digits.isEmpty() || digits.size() > 9) return line;
  for (const char c : digits)
    if (c < '0' || c > '9') return line;
  line.number = digits.toInt();
  return line;
}

// The verdict on a file's contents must follow from its first line.
QString checkVerdict(const QByteArray &contents, const StoredPortLine &verdict) {
  const FirstLine line = firstLineOf(contents);
  const bool isCode = line.readable && line.number >= 1 && line.number <= vf::kMaxPortCode;
  if ((verdict.form == Form::Code) != isCode) return QStringLiteral("port code %1").arg(verdict.code);
  if (isCode) {
    if (verdict.code != line.number) return QStringLiteral("code %1, the line says %2").arg(verdict.code).arg(line.number);
    // The code names a port, and that port is stored as the same code again.
    const vf::PortChoice choice = vf::decodePortCode(verdict.code);
    if (choice.portNum < 1 || choice.portNum > vf::kMaxPortNumber) return QStringLiteral("port %1").arg(choice.portNum);
    if (vf::portCodeLine(choice.portNum, choice.portKind) != QString::number(verdict.code))
      return QStringLiteral("code %1 is stored as %2").arg(verdict.code).arg(vf::portCodeLine(choice.portNum, choice.portKind));
    return {};
  }
  if (verdict.code != 0 || !verdict.asksForPort()) return QStringLiteral("no code, yet %1").arg(verdict.code);
  const Form expected = contents.isEmpty() || !line.readable ? Form::NoPort
                        : line.text.isEmpty()                ? Form::EmptyLine
                        : line.text == " "                   ? Form::SingleBlank
                                                             : Form::NoPort;
  if (verdict.form != expected) return QStringLiteral("form %1, expected %2").arg(int(verdict.form)).arg(int(expected));
  return {};
}

StoredPortLine parseAsRead(const QByteArray &contents) {
  return vf::parseStoredPortLine(contents.left(PortSettingsFile::kReadLimit), contents.size() > PortSettingsFile::kReadLimit);
}

}  // namespace

class FuzzPortSettingsTest : public QObject {
  Q_OBJECT
 private slots:
  void randomFirstLines() {
    fuzz::Rng rng(932);
    int codes = 0, blanks = 0;
    for (int round = 0; round < 30000; ++round) {
      const QByteArray contents = randomContents(rng);
      const QString where = QStringLiteral("round %1: \"%2\"").arg(round).arg(QString::fromLatin1(contents.toPercentEncoding()));
      const StoredPortLine verdict = parseAsRead(contents);
      const QString wrong = checkVerdict(contents, verdict);
      QVERIFY2(wrong.isEmpty(), qPrintable(where + QStringLiteral(": ") + wrong));
      codes += verdict.form == Form::Code;
      blanks += verdict.isBlank();

      // Whatever follows the first line's end changes nothing.
      const qsizetype end = firstLineOf(contents).text.size();
      if (end < contents.size() && end < PortSettingsFile::kReadLimit) {
        const QByteArray other = contents.left(end + 1) + randomContents(rng);
        const StoredPortLine again = parseAsRead(other);
        QVERIFY2(again.form == verdict.form && again.code == verdict.code, qPrintable(where));
      }
    }
    // The generator reached every kind of line.
    QVERIFY(codes > 2000);
    QVERIFY(blanks > 200);
  }

  // The same through real files in a folder, as the program reads them.
  void randomFiles() {
    fuzz::Rng rng(17);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const PortSettingsFile settings(dir.path());
    for (int round = 0; round < 400; ++round) {
      QByteArray contents = randomContents(rng);
      if (round % 10 == 0) contents += QByteArray(fuzz::between(rng, 1, 5000), '7');  // long files
      QFile file(settings.path());
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      QCOMPARE(file.write(contents), contents.size());
      file.close();
      const QString wrong = checkVerdict(contents, settings.read());
      QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(wrong)));
    }
    // A missing file asks for a port.
    QVERIFY(QFile::remove(settings.path()));
    QVERIFY(settings.read().asksForPort());
  }
};

QTEST_GUILESS_MAIN(FuzzPortSettingsTest)
#include "tst_fuzz_port_settings.moc"
