// The multi-line field keeps the exact string the program wrote, and applies
// the operator's edits to it where they happen.

#include "ui/text_field.h"

#include <QTextCursor>
#include <QtTest>

using vf::TextField;

namespace {

// Puts the text cursor at a position of what the field shows.
void placeCursor(TextField &field, int position) {
  QTextCursor cursor = field.textCursor();
  cursor.setPosition(position);
  field.setTextCursor(cursor);
}

}  // namespace

class TextFieldTest : public QObject {
  Q_OBJECT

 private slots:
  void writtenTextReadsBackExactly_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");  // lines the operator sees
    QTest::newRow("empty") << QString() << 1;
    QTest::newRow("CR LF") << QStringLiteral("あ\r\nい\r\n") << 3;
    QTest::newRow("lone CR") << QStringLiteral("あ\rい") << 2;
    QTest::newRow("lone LF") << QStringLiteral("あ\nい") << 2;
    QTest::newRow("LF CR mixed") << QStringLiteral("a\n\r\nb\r\r") << 5;
    QTest::newRow("no-break space and tab") << QStringLiteral("a\u00A0b\tc") << 1;
    QTest::newRow("hex digits") << QStringLiteral("000100008B0206").repeated(40) << 1;
  }
  void writtenTextReadsBackExactly() {
    QFETCH(QString, text);
    QFETCH(int, lines);
    TextField field;
    field.setFieldText(text);
    QCOMPARE(field.fieldText(), text);
    QCOMPARE(field.document()->blockCount(), lines);
    // Writing again replaces the whole string.
    field.setFieldText(QStringLiteral("x"));
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

    // Pasted text: every line break it brings becomes CR LF.
    field.setFieldText(QString());
    field.insertPlainText(QStringLiteral("p\nq\r\nr"));
    QCOMPARE(field.fieldText(), QStringLiteral("p\r\nq\r\nr"));
  }

  void editsKeepTheOtherLineEnds() {
    TextField field;
    field.show();
    field.setFieldText(QStringLiteral("one\ntwo\rthree\r\nfour"));

    // Typing inside the third line: each earlier line end counts as one place.
    placeCursor(field, 8 + 2);  // after "th"
    QTest::keyClicks(&field, QStringLiteral("X"));
    QCOMPARE(field.fieldText(), QStringLiteral("one\ntwo\rthXree\r\nfour"));

    // Deleting the CR LF before "four" removes both characters.
    placeCursor(field, 15);  // start of "four"
    QTest::keyClick(&field, Qt::Key_Backspace);
    QCOMPARE(field.fieldText(), QStringLiteral("one\ntwo\rthXreefour"));

    // Deleting the lone LF joins the first two lines and keeps the lone CR.
    placeCursor(field, 3);
    QTest::keyClick(&field, Qt::Key_Delete);
    QCOMPARE(field.fieldText(), QStringLiteral("onetwo\rthXreefour"));

    // Undo puts a line break back where it was, as one the operator typed.
    field.undo();
    QCOMPARE(field.fieldText(), QStringLiteral("one\r\ntwo\rthXreefour"));

    // Replacing a selection that spans a line end.
    QTextCursor cursor = field.textCursor();
    cursor.setPosition(2);
    cursor.setPosition(5, QTextCursor::KeepAnchor);  // "e", line break, "t"
    field.setTextCursor(cursor);
    QTest::keyClicks(&field, QStringLiteral("-"));
    QCOMPARE(field.fieldText(), QStringLiteral("on-wo\rthXreefour"));

    field.selectAll();
    QTest::keyClick(&field, Qt::Key_Delete);
    QCOMPARE(field.fieldText(), QString());
  }

  void displayForm() {
    QCOMPARE(TextField::displayForm(QStringLiteral("a\r\nb\rc\nd\r\r\n")), QStringLiteral("a\nb\nc\nd\n\n"));
  }
};

QTEST_MAIN(TextFieldTest)
#include "tst_text_field.moc"
