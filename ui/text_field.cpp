#include "ui/text_field.h"

#include "protocol/text_normalisation.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
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

// How many characters the string shows as: CR LF is one line break.
qsizetype displayLength(QStringView text) {
  qsizetype length = text.size();
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == u'\r' && text[i + 1] == u'\n') --length;
  }
  return length;
}

}  // namespace

TextField::TextField(QWidget *parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
  connect(document(), &QTextDocument::contentsChange, this, [this](int position, int removed, int added) {
    if (settingText_) return;
    applyEdit(position, removed, added);
    // An undo or redo of a replacement gives the whole document back at once.
    if (position == 0 && added == document()->characterCount() - 1 && !replacements_.empty()) restoreReplaced();
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
  // The string is in place before the document tells anyone it has changed.
  text_ = text;
  settingText_ = true;
  setPlainText(displayForm(text));
  settingText_ = false;
}

void TextField::replaceText(const QString &text) {
  constexpr std::size_t kKept = 8;
  if (replacements_.size() == kKept) replacements_.erase(replacements_.begin());
  replacements_.push_back({document()->availableUndoSteps(), text_, text});
  text_ = text;
  settingText_ = true;
  QTextCursor cursor(document());
  cursor.beginEditBlock();
  cursor.select(QTextCursor::Document);
  cursor.insertText(displayForm(text));
  cursor.endEditBlock();
  settingText_ = false;
}

void TextField::restoreReplaced() {
  const int steps = document()->availableUndoSteps();
  const QString shown = documentText(0, document()->characterCount());
  for (auto r = replacements_.rbegin(); r != replacements_.rend(); ++r) {
    for (const QString *exact : {&r->before, &r->after}) {
      const int stepsThere = r->undoStepsBefore + (exact == &r->after ? 1 : 0);
      if (steps == stepsThere && fromOperator(displayForm(*exact)) == fromOperator(shown)) {
        text_ = *exact;
        return;
      }
    }
  }
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

void TextField::setMarks(std::vector<Mark> marks) {
  marks_ = std::move(marks);
  QTextCharFormat wavy;
  wavy.setUnderlineStyle(QTextCharFormat::WaveUnderline);
  wavy.setUnderlineColor(Qt::red);
  QList<QTextEdit::ExtraSelection> selections;
  selections.reserve(static_cast<qsizetype>(marks_.size()));
  // The marks come in order: their places in the document are found in one pass.
  qsizetype index = 0;
  int position = 0;
  const auto advanceTo = [&](qsizetype exact) {
    for (; index < exact && index < text_.size(); ++index, ++position) {
      if (text_[index] == u'\r' && index + 1 < text_.size() && text_[index + 1] == u'\n') ++index;
    }
    return position;
  };
  for (const Mark &mark : marks_) {
    QTextCursor cursor(document());
    cursor.setPosition(advanceTo(mark.from));
    cursor.setPosition(advanceTo(mark.to), QTextCursor::KeepAnchor);
    selections.append({cursor, wavy});
  }
  setExtraSelections(selections);
}

bool TextField::event(QEvent *event) {
  if (event->type() == QEvent::ToolTip) {
    auto *help = static_cast<QHelpEvent *>(event);
    const qsizetype at = exactIndexOf(cursorForPosition(viewport()->mapFromGlobal(help->globalPos())).position());
    for (const Mark &mark : marks_) {
      if (at >= mark.from && at < mark.to) {
        QToolTip::showText(help->globalPos(), mark.explanation, this);
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QPlainTextEdit::event(event);
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
  const TextRange whole = wholeCharacters(text_, from, to);
  QTextCursor cursor(document());
  cursor.setPosition(displayPositionOf(whole.from));
  cursor.setPosition(displayPositionOf(whole.to), QTextCursor::KeepAnchor);
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
  // report more than it changed), take the document's text whole. The lengths
  // tell, without reading a long text whole at every key.
  if (displayLength(edited) != document()->characterCount() - 1)
    edited = fromOperator(documentText(0, document()->characterCount()));
  text_ = edited;
}

}  // namespace vf
