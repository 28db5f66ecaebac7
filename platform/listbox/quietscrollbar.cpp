#include "platform/listbox/quietscrollbar.h"

#include <QStyle>
#include <QStyleOptionSlider>

namespace zef {

void CQuietScrollBar::SetRangeAndValue(int maximum, int value) {
  m_bBatch = true;
  {
    const QSignalBlocker quiet(this);
    setRange(0, maximum);
    setValue(value);
  }
  m_bBatch = false;
  if (Looks() != m_looksPainted) update();
}

void CQuietScrollBar::sliderChange(SliderChange change) {
  if ((change == SliderValueChange || change == SliderRangeChange) && (m_bBatch || Looks() == m_looksPainted)) return;
  QScrollBar::sliderChange(change);
}

void CQuietScrollBar::paintEvent(QPaintEvent* event) {
  m_looksPainted = Looks();
  QScrollBar::paintEvent(event);
}

CQuietScrollBar::Appearance CQuietScrollBar::Looks() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
          value() == minimum(), value() == maximum()};
}

}  // namespace zef
