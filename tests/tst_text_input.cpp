// What becomes of the operator's text before it is converted: the width and
// code point rules, .txt files in either encoding, and the multi-line field
// that keeps the exact string and is operated by keys.

#include "encoder/text_file.h"
#include "protocol/character_conversion.h"
#include "protocol/cp932.h"
#include "protocol/text_normalisation.h"
#include "tests/support/bytes.h"
#include "ui/text_field.h"

#include <QTest>

#include <unicode/translit.h>

#include <cerrno>
#include <cstring>
#include <random>

using namespace vf;

class TextInputTest : public QObject {
  Q_OBJECT
 private slots:
  // Random texts of pieces that none of our own rules touches (the table
  // below pins those: lone sound marks, ﾜﾞ and ｦﾞ, quotes, the code points of
  // Linux input) come out as ICU's transliterator widens the whole text.
  void normalisationAgreesWithIcu() {
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::Transliterator> widen(icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
    QVERIFY(U_SUCCESS(status));
    std::mt19937 rng(8);
    const QStringList pool = u"ｱ|ｶ|ﾊ|ｶﾞ|ｳﾞ|ﾊﾟ|ﾂﾞ|｡|ｰ| |A|z|0|~|\\|あ|ア|ガ|漢|\r|\n|\t|¢|¥|￨|한"_qs.split(u'|');
    for (int round = 0; round < 2000; ++round) {
      QString text;
      for (int n = std::uniform_int_distribution<int>(0, 40)(rng); n > 0; --n)
        text += pool[std::uniform_int_distribution<qsizetype>(0, pool.size() - 1)(rng)];
      icu::UnicodeString widened(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
      widen->transliterate(widened);
      const NormalisedText n = normaliseWithPositions(text);
      QCOMPARE(n.text, QString(reinterpret_cast<const QChar *>(widened.getBuffer()), widened.length()));
      QCOMPARE(qsizetype(n.sourceIndex.size()), n.text.size() + 1);
      for (qsizetype i = 0; i < n.text.size(); ++i) {
        // Each character comes from one or two (a joined katakana) of the source.
        const qsizetype taken = n.sourceIndex[i + 1] - n.sourceIndex[i];
        QVERIFY(taken == 1 || (taken == 2 && cp932::isMappable(n.text[i].unicode())));
        QCOMPARE(normaliseForModule(QStringView(text).mid(n.sourceIndex[i], taken)), QString(n.text[i]));
      }
    }
  }

  // What the module is sent for what was typed, as code page 932 codes (a code chart's, not the program's): the
  // keys of a Linux input method give the codes the same keys give on Windows, a lone sound mark and the ASCII
  // quotes the full-width ones, line ends and tabs stay.
  void rules_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("codes");
    QTest::newRow("katakana and sound marks join") << "ｶﾞｳﾞﾊﾟ" << "834B 8394 8370";
    QTest::newRow("ﾜﾞ and ｦﾞ have no joined code") << "ﾜﾞｲﾝｦﾞ" << "838F 814A 8343 8393 8392 814A";
    QTest::newRow("a mark that joins nothing") << "ﾞｱﾟ" << "814A 8341 814B";
    QTest::newRow("wave dash, minus, double bar, dash") << "〜−‖—" << "8160 817C 8161 815C";
    QTest::newRow("quotes") << "\"'" << "8168 8166";
    QTest::newRow("ASCII and blank") << "A b~" << "8260 8140 8282 8160";
    QTest::newRow("line ends and tab stay") << "\r\n\t" << "0D 0A 09";
  }
  void rules() {
    QFETCH(QString, typed);
    QFETCH(QString, codes);
    QStringList sent;
    for (QChar c : normaliseForModule(typed)) {
      QVERIFY2(isUsable(c.unicode()), qPrintable(QString(c)));
      const std::uint16_t code = cp932::codeOf(c.unicode());
      sent << QString::number(code, 16).toUpper().rightJustified(code > 0xFF ? 4 : 2, u'0');
    }
    QCOMPARE(sent.join(u' '), codes);
  }

  // A .txt file as loading reads it: its text and encoding, or refused whole
  // with a message that names the file and says why.
  void files_data() {
    QTest::addColumn<QByteArray>("bytes");  // written to a .txt file, unless a path is given
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("loaded");    // refused: the message, %1 the file
    QTest::addColumn<QString>("encoding");  // or "refused"
    const auto row = [](const char *name, const QByteArray &bytes, const QString &loaded, const char *encoding) {
      QTest::newRow(name) << bytes << QString() << loaded << QString::fromLatin1(encoding);
    };
    row("ﾃｽ in code page 932, also UTF-8 for ý", hex("C3BD0D0A"), u"ﾃｽ\r\n"_qs, "cp932");
    row("ﾊｲﾃｸ, also UTF-8 for ʲø", hex("CAB2C3B8"), u"ﾊｲﾃｸ\r\n"_qs, "cp932");
    row("kanji, code page 932", hex("8ABF8E9A0D0A8365835883670D0A"), u"漢字\r\nテスト\r\n"_qs, "cp932");
    row("upper-case ASCII", QByteArray("ABC") + hex("C3BD"), u"ABCﾃｽ\r\n"_qs, "cp932");
    row("UTF-8 that also reads as code page 932", QByteArray("日本"), u"日本\r\n"_qs, "utf-8");
    row("byte order mark", QByteArray("\xEF\xBB\xBF") + hex("C3BD"), u"ý\r\n"_qs, "utf-8");
    row("byte order mark, then no UTF-8", QByteArray("\xEF\xBB\xBF") + hex("8ABF"), u"\uFFFD\uFFFD\r\n"_qs, "utf-8");
    row("accent ending a word", QByteArray("café"), u"café\r\n"_qs, "utf-8");
    row("accent before a lower-case letter", QByteArray("Müller\rÉcole"), u"Müller\r\nÉcole\r\n"_qs, "utf-8");
    row("accents of Latin Extended", QByteArray("Wałęsa"), u"Wałęsa\r\n"_qs, "utf-8");
    row("control bytes", hex("411A1C7F"), u"A\x1A\x1C\x7F\r\n"_qs, "cp932");
    row("line ends: CR, CR LF, lone LF", QByteArray("a\rb\r\nc\nd\r\n"), u"a\r\nb\r\nc\nd\r\n"_qs, "cp932");
    row("empty file", QByteArray(), QString(), "cp932");
    row("no character", hex("41FD"), u"A\uFFFD\r\n"_qs, "cp932");
    row("UTF-16 as Notepad saves it", hex("FFFE226F575B0D000A00"), u"漢字\r\n"_qs, "utf-16");
    row("UTF-16, big-endian", hex("FEFF6F225B57000D000A0041"), u"漢字\r\nA\r\n"_qs, "utf-16");
    row("16 MiB exactly", QByteArray(16 << 20, 'a'), QString(16 << 20, u'a') + u"\r\n"_qs, "cp932");
    row("a NUL byte", QByteArray("ELF\0\1", 5), u"テキストファイルではありません（NUL バイトを含んでいます）。\n%1"_qs, "refused");
    const QString tooBig = u"ファイルが大きすぎます（%1）。読み込めるのは 16 MiB までです（モジュールに送れるのは 2033 文字です）。\n%2"_qs;
    row("one byte over 16 MiB", QByteArray((16 << 20) + 1, 'a'), tooBig.arg(u"16777217 バイト"_qs), "refused");
    QTest::newRow("a device without end") << QByteArray() << u"/dev/zero"_qs << tooBig.arg(u"16 MiB を超えています"_qs) << u"refused"_qs;
    QTest::newRow("a read error after opening") << QByteArray() << u"/proc/self/mem"_qs
                                                << u"ファイルを読み込めませんでした。\n%1\n"_qs + QString::fromLocal8Bit(strerror(EIO)) << u"refused"_qs;
    QTest::newRow("no such file") << QByteArray() << u"/nonexistent/a.txt"_qs
                                  << u"ファイルを読み込めませんでした。\n%1\nNo such file or directory"_qs << u"refused"_qs;
  }
  void files() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, path);
    QFETCH(QString, loaded);
    QFETCH(QString, encoding);
    QTemporaryDir dir;
    if (path.isEmpty()) QVERIFY(writeFile(path = dir.filePath(u"t.txt"_qs), bytes));
    const TextFileRead read = readTextFile(path);
    const QString names[] = {u"utf-8"_qs, u"cp932"_qs, u"utf-16"_qs};  // in the order of TextFileEncoding
    QCOMPARE(read.file ? names[int(read.file->encoding)] : u"refused"_qs, encoding);
    QCOMPARE(read.file ? read.file->text : read.error, read.file ? loaded : loaded.arg(path));
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
    field.setFieldText(u"a😀"_qs);
    field.selectExactRange(2, 2);  // inside the emoji: the whole of it, from its first half to its second
    QCOMPARE(field.textCursor().selectedText(), u"😀"_qs);
  }
};

QTEST_MAIN(TextInputTest)
#include "tst_text_input.moc"
