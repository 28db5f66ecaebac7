#include "monitor/follow.h"

#include "platform/listbox/listbox.h"

#include <QEvent>
#include <QLocale>
#include <QScrollBar>
#include <QToolButton>

namespace zef {
namespace {

// As the list box paces its paints: one catch-up per screen refresh.
constexpr int kFrameMs = 16;

QString NewLinesText(int count) {
  return (count == 1 ? QStringLiteral("\u2193 %1 new line") : QStringLiteral("\u2193 %1 new lines"))
      .arg(GroupedCount(count));
}

}  // namespace

QString GroupedCount(qint64 count) {
  // The C locale (a bare environment) would leave the groups out.
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  return locale.toString(count);
}

CFollow::CFollow(CListBox& list) : m_list(list), m_pMarker(new QToolButton(&list)) {
  m_frame.setSingleShot(true);
  m_frame.setInterval(kFrameMs);
  connect(&m_frame, &QTimer::timeout, this, &CFollow::Tick);
  // A child of the list, not of its viewport: the viewport's scrolling
  // moves its children with the rows.
  m_pMarker->hide();
  m_pMarker->setCursor(Qt::PointingHandCursor);
  m_pMarker->setFocusPolicy(Qt::NoFocus);
  connect(m_pMarker, &QToolButton::clicked, this, &CFollow::Resume);
  // Only the reader's moves of the bar: a program's setValue triggers no
  // action. The slider has moved, the value not yet.
  QScrollBar* bar = m_list.verticalScrollBar();
  connect(bar, &QScrollBar::actionTriggered, this, [this, bar] {
    if (bar->sliderPosition() >= bar->maximum()) Follow();
    else if (bar->sliderPosition() < bar->value()) Pause();
  });
  m_list.viewport()->installEventFilter(this);
}

CFollow::~CFollow() = default;

bool CFollow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_list.viewport() && event->type() == QEvent::Resize && m_pMarker->isVisible()) PlaceMarker();
  return QObject::eventFilter(watched, event);
}

bool CFollow::AtEnd() const {
  int minPos = 0;
  int maxPos = 0;
  m_list.GetScrollRange(SB_VERT, &minPos, &maxPos);
  return m_list.GetTopIndex() >= maxPos;
}

bool CFollow::CaretOnLast() const {
  const int count = m_list.GetCount();
  return count > 0 && m_list.GetCurSel() == count - 1;
}

int CFollow::NewLines() const { return m_bFollowing ? 0 : std::max(0, m_list.GetCount() - m_nSeen); }

void CFollow::LinesAdded() {
  if (!m_frame.isActive()) m_frame.start();
}

void CFollow::Start() {
  if (AtEnd() || CaretOnLast()) Follow();
  else Pause();
}

void CFollow::Stop() {
  m_frame.stop();
  m_pMarker->hide();
}

void CFollow::CaretMoved() {
  m_bCaretTracks = CaretOnLast();
  if (m_bCaretTracks) Follow();
  else Pause();
}

void CFollow::Scrolled(bool towardEnd) {
  if (AtEnd()) Follow();
  else if (!towardEnd) Pause();
}

void CFollow::Resume() {
  m_list.OnVScroll(SB_BOTTOM);
  Follow();
}

void CFollow::Reset() {
  m_bCaretTracks = false;
  m_nSeen = 0;
  Follow();
}

void CFollow::LinesDropped(int shown) {
  m_nSeen = std::max(0, m_nSeen - shown);
  if (m_pMarker->isVisible()) PlaceMarker();
}

void CFollow::Pause() {
  if (!m_bFollowing) return;
  m_bFollowing = false;
  m_nSeen = m_list.GetCount();
}

void CFollow::Follow() {
  m_bFollowing = true;
  m_nSeen = m_list.GetCount();
  m_pMarker->hide();
}

void CFollow::Tick() {
  if (!m_bFollowing) {
    if (NewLines() > 0) PlaceMarker();
    return;
  }
  const int count = m_list.GetCount();
  if (m_bCaretTracks && count > 0) m_list.SetCaretIndex(count - 1);
  m_list.OnVScroll(SB_BOTTOM);
  m_nSeen = count;
}

void CFollow::PlaceMarker() {
  m_pMarker->setText(NewLinesText(NewLines()));
  m_pMarker->adjustSize();
  const QRect view = m_list.viewport()->geometry();
  const QSize size = m_pMarker->size();
  m_pMarker->move(view.left() + (view.width() - size.width()) / 2, view.bottom() - size.height() - 4);
  m_pMarker->raise();
  m_pMarker->show();
}

}  // namespace zef
