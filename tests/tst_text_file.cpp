// How a loaded .txt file becomes the input text: encodings and line ends.

#include "ui/text_file.h"

#include <QtTest>

class TextFileTest : public QObject {
  Q_OBJECT
 private slots:
  void lineRules_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("CR LF lines") << QByteArray("ab\r\ncd\r\n") << "ab\r\ncd\r\n";
    QTest::newRow("no final line end") << QByteArray("ab\r\ncd") << "ab\r\ncd\r\n";
    QTest::newRow("lone CR ends a line") << QByteArray("ab\rcd") << "ab\r\ncd\r\n";
    QTest::newRow("lone LF stays in the line") << QByteArray("ab\ncd") << "ab\ncd\r\n";
    QTest::newRow("LF after CR LF") << QByteArray("a\r\n\nb") << "a\r\n\nb\r\n";
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n") << "\r\n\r\n";
    QTest::newRow("only LF") << QByteArray("\n") << "\n\r\n";
  }
  void lineRules() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(vf::textFromFileBytes(bytes), text);
  }

  void encodings() {
    // Code page 932: あい / 漢
    QCOMPARE(vf::textFromFileBytes(QByteArray("\x82\xA0\x82\xA2\r\n\x8A\xBF", 8)), QStringLiteral("あい\r\n漢\r\n"));
    // Half-width katakana in code page 932 are single bytes that are not UTF-8.
    QCOMPARE(vf::textFromFileBytes(QByteArray("\xB1\xB2", 2)), QStringLiteral("ｱｲ\r\n"));
    // UTF-8 without and with a byte order mark.
    QCOMPARE(vf::textFromFileBytes(QStringLiteral("あい\r\n漢").toUtf8()), QStringLiteral("あい\r\n漢\r\n"));
    QCOMPARE(vf::textFromFileBytes("\xEF\xBB\xBF" + QStringLiteral("字").toUtf8()), QStringLiteral("字\r\n"));
  }
};

QTEST_APPLESS_MAIN(TextFileTest)
#include "tst_text_file.moc"
