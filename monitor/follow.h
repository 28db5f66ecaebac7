// Following new lines: while the reader is at the end of the list, the
// lines that arrive keep the last line in view, one scroll per screen
// refresh however fast they come. The reader pauses it by moving away from
// the end (scrolling up, paging, the caret off the last line) and resumes
// it by coming back (End, scrolling to the bottom, the marker). While it is
// paused, a marker over the bottom of the list counts the lines that
// arrived below ("↓ 1,204 new lines"); clicking it resumes.
//
// The list's owner tells it what happened: lines added (only while the
// Follow setting is on), the caret moved or the view scrolled by the
// reader's hand. Moves the program makes itself are not the reader's and
// never pause it.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QToolButton;

namespace zef {

class CListBox;

// "1,204": a count of lines with its thousands grouped, as the monitor's
// own texts show counts.
QString GroupedCount(qint64 count);

class CFollow : public QObject {
  Q_OBJECT
 public:
  // `list` must outlive the follower; the marker is a child of it.
  explicit CFollow(CListBox& list);
  ~CFollow() override;

  // Lines were appended while following is on: the view catches up at the
  // next frame, or the marker counts them while paused.
  void LinesAdded();
  // Following was switched on: it follows from now when the last line is in
  // view or the caret is on it.
  void Start();
  // Following was switched off: no marker, no pending scroll.
  void Stop();
  // The reader moved the caret (keys, a click): following when it is on the
  // last line, paused otherwise.
  void CaretMoved();
  // The reader scrolled the view: following when the last line is in view,
  // paused otherwise, unless the move was `towardEnd`: lines arriving
  // within the frame keep the view a little behind, and catching up with
  // them must not pause.
  void Scrolled(bool towardEnd);
  // The view was taken to the end (a command, the marker): following again.
  void Resume();
  // The list was emptied.
  void Reset();
  // The oldest `shown` shown lines left the list (its memory limit).
  void LinesDropped(int shown);

  bool IsFollowing() const { return m_bFollowing; }
  // Lines that arrived below the view while paused.
  int NewLines() const;
  // The marker ("↓ n new lines"); hidden unless paused with new lines.
  QToolButton* Marker() const { return m_pMarker; }

 private:
  bool AtEnd() const;
  bool CaretOnLast() const;
  void Pause();
  void Follow();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Tick();
  void PlaceMarker();

  CListBox& m_list;
  QToolButton* m_pMarker;
  QTimer m_frame;  // one catch-up per frame
  bool m_bFollowing = true;
  // The reader put the caret on the last line: it stays on the last line
  // while following.
  bool m_bCaretTracks = false;
  int m_nSeen = 0;  // lines the view had caught up with
};

}  // namespace zef
