#include "monitor/monitorlist.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>

#include <time.h>

#include <cinttypes>
#include <cstdio>

namespace zef {
namespace {

std::int64_t Microseconds(clockid_t clock) {
  timespec ts{};
  ::clock_gettime(clock, &ts);
  return std::int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace

CMonitorList::CMonitorList(QWidget* parent)
    : CListBox(parent),
      m_nClockOffset(Microseconds(CLOCK_REALTIME) - Microseconds(CLOCK_MONOTONIC)),
      m_pDroppedNote(new QLabel(this)) {
  m_pDroppedNote->setObjectName(QStringLiteral("droppedNote"));
  m_pDroppedNote->setContentsMargins(4, 1, 4, 1);
  m_pDroppedNote->setBackgroundRole(QPalette::AlternateBase);
  m_pDroppedNote->setAutoFillBackground(true);
  m_pDroppedNote->hide();
}

std::int64_t CMonitorList::Now() const { return m_clock ? m_clock() : m_nClockOffset + Microseconds(CLOCK_MONOTONIC); }

CMonitorList::~CMonitorList() { CListBox::SetGutter(nullptr); }

int CMonitorList::AddString(const QString& line) { return Place(-1, line, CSenders::kSelf, false); }

int CMonitorList::InsertString(int index, const QString& line) { return Place(index, line, CSenders::kSelf, false); }

int CMonitorList::AddLine(const QString& line, std::uint32_t sender, bool logged, std::int64_t time) {
  if (m_drop && m_drop(line, m_senders.LabelKey(sender))) return LB_ERR;
  return Place(-1, line, sender, logged, time);
}

int CMonitorList::Place(int index, const QString& line, std::uint32_t sender, bool logged, std::int64_t time) {
  if (!logged) {
    // Where the line will be held: at the end, or before the shown line
    // `index` (an insert moves the held lines after it, so every line from
    // the first counts from then on).
    const int held = index < 0 ? GetHeldCount() : 0;
    if (m_nFirstUnlogged < 0 || held < m_nFirstUnlogged) m_nFirstUnlogged = held;
    m_nLastUnlogged = index < 0 ? held : m_nLastUnlogged + 1;
  }
  if (index >= 0 && !m_folds.IsEmpty()) m_folds.Inserted(index < GetCount() ? HeldIndex(index) : GetHeldCount());
  const CNestingRules::Result placed = m_rules.Add(line);
  if (placed.longest) SetHorizontalExtentFrom(placed.depth, line);
  SLineStamp stamp;
  stamp.nTime = time != 0 ? time : Now();
  stamp.nSender = m_senders.LabelKey(sender);
  stamp.nSpan = m_senders.Take(sender, line, placed.closes, placed.opens, stamp.nTime);
  if (index < 0) return AddIndentedString(line, placed.depth, stamp);
  return InsertIndentedString(index, line, placed.depth, stamp);
}

void CMonitorList::ResetContent() {
  m_rules.ResetContent();
  SetHorizontalExtentFrom(0, QString());
  // The labels go before the lines, so that the list gives both back to
  // the system at once.
  m_senders.ForgetGone();
  m_folds.Clear();
  SetRowSuffix({});
  CListBox::ResetContent();
  m_follow.Reset();
  m_nFirstUnlogged = m_nLastUnlogged = -1;
  m_bDroppedUnlogged = false;
  m_pDroppedNote->hide();
  LayoutPanels();
}

void CMonitorList::LinesDropped(int held, int shown) {
  if (m_nLastUnlogged >= 0 && m_nFirstUnlogged < held) m_bDroppedUnlogged = true;
  if (m_nLastUnlogged < held) {
    m_nFirstUnlogged = m_nLastUnlogged = -1;
  } else {
    m_nFirstUnlogged = std::max(0, m_nFirstUnlogged - held);
    m_nLastUnlogged -= held;
  }
  m_follow.LinesDropped(shown);
  if (!m_folds.IsEmpty()) {
    m_folds.Dropped(held);
    ApplyFolds();
  }
  m_pDroppedNote->setText(QStringLiteral("\u2026 %1 earlier lines dropped (%2)")
                              .arg(GroupedCount(DroppedLines()), m_bDroppedUnlogged
                                                                     ? QStringLiteral("not logged")
                                                                     : QStringLiteral("the log file has them")));
  if (m_pDroppedNote->isHidden()) {
    m_pDroppedNote->show();
    LayoutPanels();
  }
}

void CMonitorList::ScrollToEnd() {
  int minPos = 0;
  int maxPos = 0;
  GetScrollRange(SB_VERT, &minPos, &maxPos);
  SetScrollPos(SB_VERT, maxPos, true);
  OnVScroll(SB_BOTTOM);
  m_follow.Resume();
}

void CMonitorList::keyPressEvent(QKeyEvent* event) {
  if (event->text() == QStringLiteral("/")) {
    emit FilterKeyPressed();
    return;
  }
  if (event->text() == QStringLiteral("-") || event->text() == QStringLiteral("+") ||
      event->text() == QStringLiteral("=")) {
    emit FoldKeyPressed(event->text() == QStringLiteral("-"));
    return;
  }
  CListBox::keyPressEvent(event);
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      m_follow.CaretMoved();
      break;
    default:
      break;
  }
}

void CMonitorList::mousePressEvent(QMouseEvent* event) {
  CListBox::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) m_follow.CaretMoved();
}

void CMonitorList::wheelEvent(QWheelEvent* event) {
  CListBox::wheelEvent(event);
  m_follow.Scrolled(event->angleDelta().y() < 0);
}

void CMonitorList::SetBottomPanel(QWidget* panel) {
  if (m_pBottomPanel != nullptr) m_pBottomPanel->removeEventFilter(this);
  m_pBottomPanel = panel;
  if (panel != nullptr) panel->installEventFilter(this);
  LayoutPanels();
}

void CMonitorList::resizeEvent(QResizeEvent* event) {
  CListBox::resizeEvent(event);
  LayoutPanels();
}

bool CMonitorList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_pBottomPanel && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    LayoutPanels();
  }
  return CListBox::eventFilter(watched, event);
}

void CMonitorList::LayoutPanels() {
  const bool noted = !m_pDroppedNote->isHidden();
  const int top = noted ? m_pDroppedNote->sizeHint().height() : 0;
  const bool shown = m_pBottomPanel != nullptr && !m_pBottomPanel->isHidden();
  const int height = shown ? m_pBottomPanel->sizeHint().height() : 0;
  setViewportMargins(0, top, 0, height);
  const QRect rows = viewport()->geometry();
  if (noted) m_pDroppedNote->setGeometry(rows.left(), rows.top() - top, rows.width(), top);
  if (shown) m_pBottomPanel->setGeometry(rows.left(), rows.bottom() + 1, rows.width(), height);
}

bool CMonitorList::FoldCalls(const std::vector<std::pair<int, int>>& calls) {
  std::vector<CCallFolds::SFold> folds;
  folds.reserve(calls.size());
  for (const auto& [enter, leave] : calls) {
    const int enterHeld = HeldIndex(enter);
    const int leaveHeld = HeldIndex(leave);
    if (enterHeld >= 0 && leaveHeld > enterHeld) folds.push_back({enterHeld, leaveHeld, GetStamp(leave).nSpan});
  }
  if (!m_folds.Fold(folds)) return false;
  ApplyFolds();
  return true;
}

bool CMonitorList::UnfoldCall(int row) {
  if (!m_folds.Unfold(HeldIndex(row))) return false;
  ApplyFolds();
  return true;
}

void CMonitorList::UnfoldAll() {
  if (m_folds.IsEmpty()) return;
  m_folds.Clear();
  ApplyFolds();
}

bool CMonitorList::IsFolded(int row) const { return m_folds.Find(HeldIndex(row)) != nullptr; }

QString CMonitorList::FoldSummary(int row) const {
  const CCallFolds::SFold* fold = m_folds.Find(HeldIndex(row));
  return fold ? SummaryOf(*fold) : QString();
}

QString CMonitorList::SummaryOf(const CCallFolds::SFold& fold) const {
  const int lines = fold.InnerLines();
  QString text = QStringLiteral("\u2026 %1 %2")
                     .arg(GroupedCount(lines), lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
  if (fold.nSpan >= 0) text += QStringLiteral(", ") + FormatDuration(fold.nSpan);
  return text;
}

void CMonitorList::ApplyFolds() {
  SetHiddenRanges(m_folds.Hidden());
  if (m_folds.IsEmpty()) {
    SetRowSuffix({});
    return;
  }
  SetRowSuffix([this](const SHeldLine& line) {
    const CCallFolds::SFold* fold = m_folds.Find(line.nIndex);
    return fold ? SummaryOf(*fold) : QString();
  });
}

void CMonitorList::SetIndent(const QString& indent) {
  m_rules.SetIndent(indent);
  SetIndentString(indent);
}

void CMonitorList::SetHorizontalExtentFrom(int depth, const QString& line) {
  SetHorizontalExtentFromLine(line, depth, 5);
}

void CMonitorList::MeetSender(std::uint32_t id, const QString& label, bool told) {
  const bool wider = m_senders.Meet(id, label, told);
  // The rows already painted with the old label show the new one.
  if (m_eGutter != EGutter::kOff && (wider || told)) GutterChanged();
}

void CMonitorList::SetGutter(EGutter gutter) {
  if (gutter == m_eGutter) return;
  m_eGutter = gutter;
  // Laid out anew either way: the time column's width follows the mode.
  CListBox::SetGutter(gutter == EGutter::kOff ? nullptr : static_cast<const IListGutter*>(this));
}

std::vector<CMonitorList::SColumn> CMonitorList::Columns() const {
  // The sender column is as wide as the widest label met, within bounds;
  // longer ones are cut.
  constexpr int kMinSender = 12;
  constexpr int kMaxSender = 48;
  const int sender = std::clamp(m_senders.WidestLabel(), kMinSender, kMaxSender);
  const QString time =
      m_eGutter == EGutter::kSincePrevious ? QStringLiteral("+00.000000") : QStringLiteral("00:00:00.000000");
  return {{time, true}, {QStringLiteral("000.000 ms"), true}, {QString(sender, u'n'), false}};
}

void CMonitorList::RowTexts(int index, std::vector<QString>& texts) const {
  std::vector<QString> row = GutterTexts(index);
  for (std::size_t i = 0; i < texts.size() && i < row.size(); ++i) texts[i] = std::move(row[i]);
}

std::vector<QString> CMonitorList::GutterTexts(int index) const {
  const SLineStamp stamp = GetStamp(index);
  QString time;
  if (m_eGutter == EGutter::kSincePrevious) {
    if (index > 0) time = FormatSince(stamp.nTime - GetStamp(index - 1).nTime);
  } else {
    time = FormatClockTime(stamp.nTime);
  }
  return {time, stamp.nSpan >= 0 ? FormatDuration(stamp.nSpan) : QString(), m_senders.Label(stamp.nSender)};
}

QString FormatDuration(std::int64_t us) {
  char text[64];
  if (us < 1000) {
    std::snprintf(text, sizeof text, "%" PRId64 " \u00B5s", us);
  } else if (us < 1000000) {
    std::snprintf(text, sizeof text, "%.3f ms", double(us) / 1e3);
  } else if (us < 60 * std::int64_t(1000000)) {
    std::snprintf(text, sizeof text, "%.3f s", double(us) / 1e6);
  } else if (us < 3600 * std::int64_t(1000000)) {
    const std::int64_t s = us / 1000000;
    std::snprintf(text, sizeof text, "%" PRId64 " min %02" PRId64 " s", s / 60, s % 60);
  } else {
    const std::int64_t min = us / 60000000;
    std::snprintf(text, sizeof text, "%" PRId64 " h %02" PRId64 " min", min / 60, min % 60);
  }
  return QString::fromUtf8(text);
}

QString FormatClockTime(std::int64_t us) {
  // Lines come many to a second: the broken-down time of the last second
  // is kept, since localtime_r costs more than the rest (a save or copy of
  // the gutter formats one per line).
  thread_local time_t lastSeconds = -1;
  thread_local tm local{};
  const time_t seconds = time_t(us / 1000000);
  if (seconds != lastSeconds) {
    if (!::localtime_r(&seconds, &local)) {
      lastSeconds = -1;
      return QString();
    }
    lastSeconds = seconds;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%06d", local.tm_hour, local.tm_min, local.tm_sec, int(us % 1000000));
  return QString::fromLatin1(text);
}

QString FormatSince(std::int64_t us) {
  char text[48];
  std::snprintf(text, sizeof text, "+%" PRId64 ".%06d", us / 1000000, int(us % 1000000));
  return QString::fromLatin1(text);
}

}  // namespace zef
