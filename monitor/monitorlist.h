// The monitor list: the list box that indents every line by call nesting and
// keeps its horizontal extent wide enough for the longest line. Its window
// text, which it never shows, is the buffer trace clients write into.
#pragma once

#include "platform/listbox/listbox.h"
#include "monitor/monitorlist_rules.h"
#include "platform/window/window.h"

namespace zef {

class CMonitorList : public CListBox, public CWindowObject {
  Q_OBJECT
 public:
  explicit CMonitorList(QWidget* parent = nullptr);

  int AddString(const QString& line) override;
  int InsertString(int index, const QString& line) override;
  void ResetContent() override;

  // The indent string of lines added from now on.
  void SetIndent(const QString& indent);
  void ResetNesting() { m_rules.ResetNesting(); }
  int Nesting() const { return m_rules.Nesting(); }

 private:
  // The pixel width of `line` after `depth` indent strings, in the list's
  // font, plus 5, as the extent: one indent's width counted depth times.
  void SetHorizontalExtentFrom(int depth, const QString& line);

  CNestingRules m_rules;
};

}  // namespace zef
