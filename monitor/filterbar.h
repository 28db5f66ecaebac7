// The filter bar: one line at the bottom of the monitor list that narrows
// the list as the user types (see CBarQuery for the words), with a toggle
// that makes every word a regular expression and "N of M lines" beside it,
// or the error of a bad word. Escape clears it and closes it.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace zef {

class CFilterBar : public QWidget {
  Q_OBJECT

 public:
  explicit CFilterBar(QWidget* parent = nullptr);

  // Shows the bar (when hidden) and puts the focus in its text.
  void Open();
  QString Text() const;
  void SetText(const QString& text);
  bool Regex() const;
  // "N of M lines", or `error` instead when it is not empty.
  void ShowCounts(int shown, int held, const QString& error);

 signals:
  // The text or the toggle changed.
  void QueryChanged();
  // Escape: the text is cleared (QueryChanged came first) and the bar hidden.
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Close();

  QLineEdit* m_pEdit;
  QToolButton* m_pRegex;
  QLabel* m_pCounts;
};

}  // namespace zef
