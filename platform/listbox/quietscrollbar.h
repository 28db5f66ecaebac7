// The list box's scroll bars. The vertical bar of a list with a million
// lines moves its slider by a pixel only every few thousand lines, and the
// horizontal bar of a list whose lines nest ever deeper has its slider at the
// minimum length soon; this bar repaints only when what it shows changes, so
// following appended lines does not repaint it per line.
#pragma once

#include <QRect>
#include <QScrollBar>

namespace zef {

class CQuietScrollBar final : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

  // Range and value in one step, judged once: between the two the slider
  // would seem to move and back.
  void SetRangeAndValue(int maximum, int value);

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Appearance {
    QRect rectSlider;
    bool bAtMinimum = false;  // styles draw the arrows of a bar at its end disabled
    bool bAtMaximum = false;
    bool operator==(const Appearance&) const = default;
  };
  Appearance Looks() const;

  Appearance m_looksPainted;
  bool m_bBatch = false;
};

}  // namespace zef
