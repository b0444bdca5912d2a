// What becomes of the operator's text before it is converted: the width and
// code point rules, .txt files in either encoding, and the multi-line field
// that keeps the exact string and is operated by keys.

#include "encoder/text_file.h"
#include "protocol/character_conversion.h"
#include "protocol/cp932.h"
#include "protocol/text_normalisation.h"
#include "tests/support/bytes.h"
#include "tests/support/rig.h"

#include <QTest>

#include <unicode/translit.h>

#include <random>

using namespace vf;

namespace {

// ICU's transliterator on the whole text at once, then the rules that differ
// from it, each applied on its own.
QString expectedNormalisation(const QString &text) {
  UErrorCode status = U_ZERO_ERROR;
  static std::unique_ptr<icu::Transliterator> widen(
      icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
  icu::UnicodeString work(reinterpret_cast<const UChar *>(text.utf16()), static_cast<int32_t>(text.size()));
  widen->transliterate(work);
  QString out(reinterpret_cast<const QChar *>(work.getBuffer()), work.length());
  out.replace(QChar(0x30F7), u"ワ\u3099"_qs).replace(QChar(0x30FA), u"ヲ\u3099"_qs);  // no code page 932 code
  const char16_t pairs[][2] = {{0x3099, 0x309B}, {0x309A, 0x309C}, {0xFF02, 0x201D}, {0xFF07, 0x2019},
                               {0x301C, 0xFF5E}, {0x2212, 0xFF0D}, {0x2016, 0x2225}, {0x2014, 0x2015}};
  for (const auto &p : pairs) out.replace(QChar(p[0]), QChar(p[1]));
  return out;
}

}  // namespace

class TextInputTest : public QObject {
  Q_OBJECT
 private slots:
  void normalisationAgreesWithIcu() {
    std::mt19937 rng(8);
    const QString pool = QStringLiteral("ｱｶｳﾊﾜｦﾂﾞﾞﾟﾟ｡ｰ AZaz09\"'~\\あアガ漢\r\n\t〜−‖—¢¥￨한");
    for (int round = 0; round < 2000; ++round) {
      QString text;
      for (int n = std::uniform_int_distribution<int>(0, 40)(rng); n > 0; --n)
        text += pool[std::uniform_int_distribution<int>(0, pool.size() - 1)(rng)];
      const NormalisedText n = normaliseWithPositions(text);
      QCOMPARE(n.text, expectedNormalisation(text));
      QCOMPARE(qsizetype(n.sourceIndex.size()), n.text.size() + 1);
      for (qsizetype i = 0; i < n.text.size(); ++i) {
        // Each character comes from one or two (a joined katakana) of the source.
        const qsizetype taken = n.sourceIndex[i + 1] - n.sourceIndex[i];
        QVERIFY(taken == 1 || (taken == 2 && cp932::isMappable(n.text[i].unicode())));
        QCOMPARE(normaliseForModule(QStringView(text).mid(n.sourceIndex[i], taken)), QString(n.text[i]));
      }
    }
  }

  void rules_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent");
    QTest::newRow("katakana and sound marks join") << "ｶﾞｳﾞﾊﾟ" << "ガヴパ";
    QTest::newRow("ﾜﾞ and ｦﾞ have no joined code") << "ﾜﾞｲﾝｦﾞ" << "ワ゛イン\u30F2゛";
    QTest::newRow("a mark that joins nothing") << "ﾞｱﾟ" << "゛ア゜";
    QTest::newRow("code points of Linux input") << "〜−‖—" << "～－∥―";
    QTest::newRow("quotes") << "\"'" << "”’";
    QTest::newRow("ASCII and blank") << "A b~" << "Ａ　ｂ～";
    QTest::newRow("line ends and tab stay") << "\r\n\t" << "\r\n\t";
  }
  void rules() {
    QFETCH(QString, typed);
    QFETCH(QString, sent);
    const QString normalised = normaliseForModule(typed);
    QCOMPARE(normalised, sent);
    for (QChar c : normalised) QVERIFY2(isUsable(c.unicode()), qPrintable(QString(c)));
  }

  // A range that starts or ends inside a surrogate pair takes all of it.
  void wholeCharacterRanges() {
    const QString text = u"a😀b"_qs;  // the emoji is units 1 and 2
    QString ranges;
    for (auto [from, to] : {std::pair{2, 3}, {1, 2}, {2, 2}, {0, 1}, {3, 4}}) {
      const TextRange whole = wholeCharacters(text, from, to);
      ranges += QStringLiteral("%1-%2 ").arg(whole.from).arg(whole.to);
    }
    QCOMPARE(ranges, u"1-3 1-3 1-3 0-1 3-4 "_qs);
  }

  void files_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("ﾊｲ in code page 932") << hex("CAB2") << "ﾊｲ\r\n" << false;
    QTest::newRow("ﾃｽ") << hex("C3BD0D0A") << "ﾃｽ\r\n" << false;
    QTest::newRow("ﾏｲﾅｽ") << hex("CFB2C5BD") << "ﾏｲﾅｽ\r\n" << false;
    QTest::newRow("ﾊｲﾃｸ") << hex("CAB2C3B8") << "ﾊｲﾃｸ\r\n" << false;
    QTest::newRow("kanji, code page 932") << hex("8ABF8E9A0D0A8365835883670D0A") << "漢字\r\nテスト\r\n" << false;
    QTest::newRow("upper-case ASCII") << QByteArray("ABC") + hex("C3BD") << "ABCﾃｽ\r\n" << false;
    QTest::newRow("kanji, UTF-8") << QByteArray("漢字\nテスト") << "漢字\nテスト\r\n" << true;
    QTest::newRow("UTF-8 that also reads as code page 932") << QByteArray("日本") << "日本\r\n" << true;
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF") + hex("C3BD") << "ý\r\n" << true;
    QTest::newRow("byte order mark, then no UTF-8") << QByteArray("\xEF\xBB\xBF") + hex("8ABF") << "\uFFFD\uFFFD\r\n" << true;
    QTest::newRow("accented Latin, UTF-8") << QByteArray("café Müller\rnaïve") << "café Müller\r\nnaïve\r\n" << true;
    QTest::newRow("accent ending a word") << QByteArray("café") << "café\r\n" << true;
    QTest::newRow("control bytes") << hex("411A1C7F") << "A\x1A\x1C\x7F\r\n" << false;
    QTest::newRow("line ends: CR, CR LF, lone LF") << QByteArray("a\rb\r\nc\nd\r\n") << "a\r\nb\r\nc\nd\r\n" << false;
    QTest::newRow("empty file") << QByteArray() << "" << false;
    QTest::newRow("no character") << hex("41FD") << "A\uFFFD\r\n" << false;
    QTest::newRow("UTF-16 as Notepad saves it") << hex("FFFE226F575B0D000A00") << "漢字\r\n" << false;
  }
  void files() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, loaded);
    QFETCH(bool, utf8);
    const TextFile file = textFromFileBytes(bytes);
    QCOMPARE(file.text, loaded);
    QCOMPARE(file.encoding == TextFileEncoding::Utf8, utf8);
    if (bytes.startsWith("\xFF\xFE")) QCOMPARE(file.encoding, TextFileEncoding::Utf16);
  }

  // Refused whole, with a message naming the file: no text, too big, not readable.
  void refusedFiles_data() {
    QTest::addColumn<QByteArray>("bytes");  // written to a .txt file; empty: the file is `path`
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");
    QTest::newRow("a NUL byte") << QByteArray("ELF\0\1", 5) << QString() << "テキストファイルではありません（NUL バイトを含んでいます）。\n";
    QTest::newRow("one byte over 16 MiB") << QByteArray(kMaxTextFileBytes + 1, 'a') << QString()
                                           << "ファイルが大きすぎます（16777217 バイト）。読み込めるのは 16 MiB までです";
    QTest::newRow("a device without end") << QByteArray() << "/dev/zero" << "ファイルが大きすぎます（16 MiB を超えています）";
    QTest::newRow("a read error after opening") << QByteArray() << "/proc/self/mem" << "ファイルを読み込めませんでした。\n/proc/self/mem\n";
    QTest::newRow("no such file") << QByteArray() << "/nonexistent/a.txt" << "ファイルを読み込めませんでした。\n/nonexistent/a.txt\n";
  }
  void refusedFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);
    QFETCH(QString, error);
    QTemporaryDir dir;
    if (path.isEmpty()) {
      QFile file(path = dir.filePath(u"t.txt"_qs));
      QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    const TextFileRead read = readTextFile(path);
    QVERIFY(!read.file);
    QVERIFY2(read.error.startsWith(error) && read.error.contains(path), qPrintable(read.error));
  }

  void fieldKeepsExactStrings() {
    TextField field;
    for (const QString &text : {QStringLiteral("a\r\nb\rc\nd"), QStringLiteral("\r\r\n\n")}) {
      field.setFieldText(text);
      QCOMPARE(field.fieldText(), text);
    }
    field.setFieldText(u"x\ny\rz"_qs);
    field.moveCursor(QTextCursor::End);
    QTest::keyClick(&field, Qt::Key_Return);
    QTest::keyClicks(&field, u"w"_qs);
    QCOMPARE(field.fieldText(), u"x\ny\rz\r\nw"_qs);  // the typed line break is CR LF, the others stay
    field.selectExactRange(7, 8);  // "w", after three line breaks, one of them CR LF
    QCOMPARE(field.textCursor().selectedText(), u"w"_qs);
  }

  void tabMovesTheFocus() {
    rig::WindowRig rig;
    rig.window->show();
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    auto *text3 = rig.find<TextField>("Text3");
    rig.type("Text3", u"A"_qs);
    QTest::keyClick(text3, Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), u"B"_qs);
    QCOMPARE(text3->fieldText(), u"A"_qs);
    QVERIFY(QApplication::focusWidget() != text3);
    text3->setFocus();
    QTest::keyClick(text3, Qt::Key_Tab, Qt::ShiftModifier);
    QVERIFY(QApplication::focusWidget() != text3);
    text3->setFocus();
    QTest::keyClick(text3, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(text3->fieldText(), u"A\t"_qs);
  }
};

QTEST_MAIN(TextInputTest)
#include "tst_text_input.moc"
