// The multi-line field keeps the exact string the program wrote, and applies
// the operator's edits to it where they happen.

#include "ui/text_field.h"

#include <QtTest>

using vf::TextField;

class TextFieldTest : public QObject {
  Q_OBJECT

 private slots:
  void writtenTextReadsBackExactly_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");  // each CR LF, lone CR and lone LF one line break
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("CR LF") << QStringLiteral("あ\r\nい\r\n") << QStringLiteral("あ\nい\n");
    QTest::newRow("lone CR") << QStringLiteral("あ\rい") << QStringLiteral("あ\nい");
    QTest::newRow("lone LF") << QStringLiteral("あ\nい") << QStringLiteral("あ\nい");
    QTest::newRow("mixed") << QStringLiteral("a\n\r\nb\r\r\n") << QStringLiteral("a\n\nb\n\n");
    QTest::newRow("no-break space and tab") << QStringLiteral("a\u00A0b\tc") << QStringLiteral("a\u00A0b\tc");
  }
  void writtenTextReadsBackExactly() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(TextField::displayForm(text), shown);
    TextField field;
    field.setFieldText(text);
    QCOMPARE(field.fieldText(), text);
    QCOMPARE(field.document()->blockCount(), shown.count(u'\n') + 1);
    field.setFieldText(QStringLiteral("x"));  // writing again replaces the whole string
    QCOMPARE(field.fieldText(), QStringLiteral("x"));
  }

  void operatorLineBreaksAreCrLf() {
    TextField field;
    field.show();
    QTest::keyClicks(&field, QStringLiteral("ab"));
    QTest::keyClick(&field, Qt::Key_Return);
    QTest::keyClicks(&field, QStringLiteral("c"));
    QTest::keyClick(&field, Qt::Key_Enter);
    QTest::keyClick(&field, Qt::Key_Return, Qt::ShiftModifier);  // a line break inside the paragraph
    QCOMPARE(field.fieldText(), QStringLiteral("ab\r\nc\r\n\r\n"));
    field.setFieldText(QString());
    field.insertPlainText(QStringLiteral("p\nq\r\nr"));  // pasted
    QCOMPARE(field.fieldText(), QStringLiteral("p\r\nq\r\nr"));
  }

  // Edits in the middle: every line end counts as one place and keeps its form.
  void editsKeepTheOtherLineEnds() {
    TextField field;
    field.show();
    field.setFieldText(QStringLiteral("one\ntwo\rthree\r\nfour"));
    auto select = [&](int from, int to) {
      QTextCursor cursor = field.textCursor();
      cursor.setPosition(from);
      cursor.setPosition(to, QTextCursor::KeepAnchor);
      field.setTextCursor(cursor);
    };
    select(10, 10);  // after "th"
    QTest::keyClicks(&field, QStringLiteral("X"));
    QCOMPARE(field.fieldText(), QStringLiteral("one\ntwo\rthXree\r\nfour"));
    select(15, 15);  // the CR LF before "four" goes whole
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(field.fieldText(), QStringLiteral("one\ntwo\rthXreefour"));
    select(3, 3);  // the lone LF goes, the lone CR stays
    QTest::keyClick(&field, Qt::Key_Delete);
    QCOMPARE(field.fieldText(), QStringLiteral("onetwo\rthXreefour"));
    field.undo();  // puts the line break back as one the operator typed
    QCOMPARE(field.fieldText(), QStringLiteral("one\r\ntwo\rthXreefour"));
    select(2, 5);  // "e", line break, "t"
    QTest::keyClicks(&field, QStringLiteral("-"));
    QCOMPARE(field.fieldText(), QStringLiteral("on-wo\rthXreefour"));
    field.selectAll();
    QTest::keyClick(&field, Qt::Key_Delete);
    QCOMPARE(field.fieldText(), QString());
  }
};

QTEST_MAIN(TextFieldTest)
#include "tst_text_field.moc"
