#pragma once

#include <QPlainTextEdit>
#include <QString>

#include <vector>

namespace vf {

// A multi-line text field that holds an exact string, as the fields of the
// main window must: what the program writes with setFieldText is exactly what
// fieldText gives back, CR LF, lone CR and lone LF included (each is shown as a
// line break). The operator's edits are applied to that string where they
// happen; a line break the operator types or pastes becomes CR LF, as in a
// Windows text box (so does one that undo puts back), and the rest of the
// string keeps its own line ends. Tab and Shift+Tab move the focus, as in a
// Windows text box; Ctrl+Tab types a tab.
class TextField : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TextField(QWidget *parent = nullptr);

  void setFieldText(const QString &text);
  QString fieldText() const { return text_; }

  // Replaces the whole text as one edit of the undo history, as a clear or a
  // loaded file does in the input field: Ctrl+Z brings back exactly the
  // string that was there (lone CR and LF included), Ctrl+Y the new one.
  void replaceText(const QString &text);

  // Selects characters [from, to) of the exact string, widened to whole
  // characters (a surrogate pair is one), and scrolls them into view.
  void selectExactRange(qsizetype from, qsizetype to);

  // Characters [from, to) of the exact string underlined with a red wavy line,
  // as a spelling checker marks a word, explained by a tooltip (both cover
  // whole characters). Marking changes neither the text nor the cursor nor
  // the undo history.
  struct Mark {
    qsizetype from = 0;
    qsizetype to = 0;
    QString explanation;
  };
  void setMarks(std::vector<Mark> marks);
  const std::vector<Mark> &marks() const { return marks_; }

  // How a string looks in the field: every CR LF, lone CR and lone LF becomes
  // one line break ("\n").
  static QString displayForm(const QString &text);

 protected:
  void keyPressEvent(QKeyEvent *event) override;
  bool event(QEvent *event) override;

 private:
  void applyEdit(int position, int removed, int added);
  qsizetype exactIndexOf(int displayPosition) const;
  int displayPositionOf(qsizetype exactIndex) const;
  QString documentText(int from, int to) const;

  // After an undo or a redo: the exact string of a replacement, if that is
  // what the document now shows.
  void restoreReplaced();

  QString text_;
  bool settingText_ = false;
  std::vector<Mark> marks_;
  struct Replacement {
    int undoStepsBefore = 0;
    QString before;
    QString after;
  };
  std::vector<Replacement> replacements_;  // the last few, newest last
};

}  // namespace vf
