#include "ui/text_field.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace vf {
namespace {

constexpr QChar kParagraphSeparator(0x2029);
constexpr QChar kLineSeparator(0x2028);

// Text the operator put into the document, in the field's own form: a typed or
// pasted line break (a new paragraph, or Shift+Enter's line separator) is CR LF.
QString fromOperator(QString typed) {
  QString out;
  out.reserve(typed.size());
  for (const QChar c : typed) {
    if (c == kParagraphSeparator || c == kLineSeparator || c == u'\n')
      out.append(u"\r\n");
    else
      out.append(c);
  }
  return out;
}

}  // namespace

TextField::TextField(QWidget *parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
  connect(document(), &QTextDocument::contentsChange, this, [this](int position, int removed, int added) {
    if (!settingText_) applyEdit(position, removed, added);
  });
}

QString TextField::displayForm(const QString &text) {
  QString out;
  out.reserve(text.size());
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text[i];
    if (c == u'\r') {
      out.append(u'\n');
      if (i + 1 < n && text[i + 1] == u'\n') ++i;
    } else {
      out.append(c);
    }
  }
  return out;
}

void TextField::setFieldText(const QString &text) {
  settingText_ = true;
  setPlainText(displayForm(text));
  settingText_ = false;
  text_ = text;
}

qsizetype TextField::exactIndexOf(int displayPosition) const {
  // Every character of the string is one position in the document, except
  // that CR LF together make one line break.
  qsizetype index = 0;
  const qsizetype n = text_.size();
  for (int pos = 0; pos < displayPosition && index < n; ++pos) {
    if (text_[index] == u'\r' && index + 1 < n && text_[index + 1] == u'\n')
      index += 2;
    else
      index += 1;
  }
  return index;
}

void TextField::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
    insertPlainText(QStringLiteral("\t"));
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

int TextField::displayPositionOf(qsizetype exactIndex) const {
  int position = 0;
  const qsizetype end = qMin(exactIndex, text_.size());
  for (qsizetype i = 0; i < end; ++i, ++position) {
    if (text_[i] == u'\r' && i + 1 < text_.size() && text_[i + 1] == u'\n') ++i;
  }
  return position;
}

void TextField::selectExactRange(qsizetype from, qsizetype to) {
  QTextCursor cursor(document());
  cursor.setPosition(displayPositionOf(from));
  cursor.setPosition(displayPositionOf(to), QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  ensureCursorVisible();
}

QString TextField::documentText(int from, int to) const {
  QTextCursor cursor(document());
  const int end = document()->characterCount() - 1;  // without the closing separator
  cursor.setPosition(qBound(0, from, end));
  cursor.setPosition(qBound(0, to, end), QTextCursor::KeepAnchor);
  return cursor.selectedText();
}

void TextField::applyEdit(int position, int removed, int added) {
  const qsizetype start = exactIndexOf(position);
  const qsizetype end = exactIndexOf(position + removed);
  QString edited = text_;
  edited.replace(start, end - start, fromOperator(documentText(position, position + added)));

  // The document is what the operator sees; the string must still show as it.
  // Should the reported change not account for the document (the document may
  // report more than it changed), take the document's text whole.
  // (A line separator shows as a line break too, so it compares as one.)
  QString shown = documentText(0, document()->characterCount());
  shown.replace(kParagraphSeparator, u'\n');
  QString expected = displayForm(edited);
  if (expected.replace(kLineSeparator, u'\n') != QString(shown).replace(kLineSeparator, u'\n'))
    edited = fromOperator(shown);
  text_ = edited;
}

}  // namespace vf
