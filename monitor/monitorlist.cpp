#include "monitor/monitorlist.h"

#include <QFontMetrics>

namespace zef {

CMonitorList::CMonitorList(QWidget* parent) : CListBox(parent) {}

int CMonitorList::AddString(const QString& line) {
  CNestingRules::Result stored = m_rules.Add(line);
  if (stored.longest) SetHorizontalExtentFrom(stored.text);
  return CListBox::AddString(stored.text);
}

int CMonitorList::InsertString(int index, const QString& line) {
  CNestingRules::Result stored = m_rules.Add(line);
  if (stored.longest) SetHorizontalExtentFrom(stored.text);
  return CListBox::InsertString(index, stored.text);
}

void CMonitorList::ResetContent() {
  m_rules.ResetContent();
  SetHorizontalExtentFrom(QString());
  CListBox::ResetContent();
}

void CMonitorList::SetHorizontalExtentFrom(const QString& text) {
  SetHorizontalExtent(QFontMetrics(font()).horizontalAdvance(text) + 5);
}

}  // namespace zef
