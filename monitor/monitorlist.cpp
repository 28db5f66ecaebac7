#include "monitor/monitorlist.h"


namespace zef {

CMonitorList::CMonitorList(QWidget* parent) : CListBox(parent) {}

int CMonitorList::AddString(const QString& line) {
  const CNestingRules::Result placed = m_rules.Add(line);
  if (placed.longest) SetHorizontalExtentFrom(placed.depth, line);
  return AddIndentedString(line, placed.depth);
}

int CMonitorList::InsertString(int index, const QString& line) {
  const CNestingRules::Result placed = m_rules.Add(line);
  if (placed.longest) SetHorizontalExtentFrom(placed.depth, line);
  return InsertIndentedString(index, line, placed.depth);
}

void CMonitorList::ResetContent() {
  m_rules.ResetContent();
  SetHorizontalExtentFrom(0, QString());
  CListBox::ResetContent();
}

void CMonitorList::SetIndent(const QString& indent) {
  m_rules.SetIndent(indent);
  SetIndentString(indent);
}

void CMonitorList::SetHorizontalExtentFrom(int depth, const QString& line) {
  SetHorizontalExtentFromLine(line, depth, 5);
}

}  // namespace zef
