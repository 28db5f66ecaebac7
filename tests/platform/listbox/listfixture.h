// A list box of a fixed geometry shown for a test, shared by the list
// box's tests.
#pragma once

#include <QtTest>

#include "platform/listbox/listbox.h"

#include <vector>

namespace zef::test {

constexpr int kVisibleRows = 10;
constexpr int kWidth = 200;

// A list with a fixed geometry: no frame and no scroll bars taking room, so
// the viewport shows exactly kVisibleRows rows.
class CFixture {
 public:
  explicit CFixture(int lines) {
    m_list.setFrameShape(QFrame::NoFrame);
    m_list.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_nRow = m_list.viewport()->fontMetrics().height();
    m_list.resize(kWidth, kVisibleRows * m_nRow);
    for (int i = 0; i < lines; ++i) m_list.AddString(QStringLiteral("line %1").arg(i));
    m_list.show();
    m_bExposed = QTest::qWaitForWindowExposed(&m_list);
  }

  zef::CListBox& List() { return m_list; }
  bool Exposed() const { return m_bExposed; }
  void ClickRow(int row) {
    QTest::mouseClick(m_list.viewport(), Qt::LeftButton, {}, QPoint(20, row * m_nRow + m_nRow / 2));
  }
  QImage Grab() { return m_list.viewport()->grab().toImage(); }
  int RowHeight() const { return m_nRow; }

 private:
  zef::CListBox m_list;
  int m_nRow = 0;
  bool m_bExposed = false;
};

inline std::vector<int> SelectedOf(const zef::CListBox& list) { return list.GetSelItems(list.GetCount()); }

// The held index of each shown line, in order.
inline std::vector<int> HeldOfShown(const zef::CListBox& list) {
  std::vector<int> held;
  for (int i = 0; i < list.GetCount(); ++i) held.push_back(list.HeldIndex(i));
  return held;
}

}  // namespace zef::test
