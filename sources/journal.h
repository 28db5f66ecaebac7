// The systemd journal as a source of the monitor, through sd-journal: the
// local journal, or a directory of journal files (what
// systemd-journal-remote writes, one file per machine).
//
// Each entry is one line (a MESSAGE of several lines, several lines) under
// the sender named by its fields: the unit (_SYSTEMD_UNIT), else the command
// and its process (_COMM[_PID], else SYSLOG_IDENTIFIER[SYSLOG_PID]), then
// "@" and the host (_HOSTNAME); a field that is missing is left out, and an
// entry naming nothing at all is "journal". It is stamped with the entry's
// own time (its realtime stamp).
//
// It starts from now, the last N entries, everything, or right after a
// saved position (Cursor()), then follows: the journal's inotify descriptor
// through a QSocketNotifier, and a look every kRecheckMs besides (a
// directory on a file system inotify does not see). A pass reads at most
// kMaxPassEntries and queues the next one behind the events waiting, so a
// long catch-up never freezes the window.
//
// A journal's fields are untrusted: a MESSAGE is decoded as UTF-8 with each
// malformed sequence made U+FFFD, cut at kMaxLineBytes (a notice says so);
// a field that names the sender is cut at kMaxLabelField bytes; and the
// senders share a bounded set of ids (CJournalSenders).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;
struct sd_journal;

namespace zef {

// The sender ids of the journal sources of one monitor: one per distinct
// label, from a range of `count` ids from `first`. Sources that share one
// give a label the same id, and never the same id to two labels. Once all
// but the last are given, or the labels given hold `maxLabelChars`
// characters in all, every further label gets the last, shared id.
class CJournalSenders {
 public:
  CJournalSenders(std::uint32_t first, std::uint32_t count, qsizetype maxLabelChars = 1 << 20);

  // The id of `*label`, and *label as the gutter shows it: a field's
  // control characters made U+FFFD (ShownLabel), once per label. When it
  // gets the shared id, *label becomes SharedLabel(), and *overflow is true
  // if this was the first label so.
  std::uint32_t IdFor(QString* label, bool* overflow = nullptr);
  // The label shown for the shared id.
  static QString SharedLabel() { return QStringLiteral("journal (other senders)"); }
  std::uint32_t Capacity() const { return m_nCount - 1; }

 private:
  std::uint32_t m_nFirst;
  std::uint32_t m_nCount;
  qsizetype m_nMaxLabelChars;
  qsizetype m_nLabelChars = 0;
  struct SSender {
    std::uint32_t id;
    QString shown;
  };
  QHash<QString, SSender> m_senders;  // by the label as the fields gave it
  bool m_bOverflowSaid = false;
};

class CJournalSource : public QObject {
  Q_OBJECT
 public:
  // A line, its sender (id and label) and its time in microseconds since
  // the epoch; from the UI thread, during a pass or Start().
  using LineSink =
      std::function<void(const QString& text, std::uint32_t senderId, const QString& label, std::int64_t timeUs)>;

  enum class EStart { kNow, kLast, kAll, kCursor };
  struct SStart {
    EStart kind = EStart::kNow;
    int nLast = 0;   // kLast: how many
    QString cursor;  // kCursor: a position Cursor() gave
  };

  static constexpr int kMaxPassEntries = 2000;
  static constexpr int kRecheckMs = 1000;
  static constexpr qsizetype kMaxLineBytes = 512 * 1024;
  static constexpr qsizetype kMaxLabelField = 256;
  static constexpr qsizetype kMaxMatches = 256;

  // Reads the local journal (`directory` empty) or the journal files in
  // `directory`. Nothing is read before Start().
  CJournalSource(QString directory, std::shared_ptr<CJournalSenders> senders, LineSink onLine,
                 QObject* parent = nullptr);
  ~CJournalSource() override;
  CJournalSource(const CJournalSource&) = delete;
  CJournalSource& operator=(const CJournalSource&) = delete;

  // The matches of `words` ("FIELD=VALUE"; PRIORITY=A..B is each priority
  // from A to B), in the form sd_journal_add_match takes them. Entries must
  // match every field named, and one of the values given for a field; a
  // word "+" between two such groups takes an entry that satisfies either
  // (it stays "+" in `matches`). False with *error saying which word is
  // wrong and why.
  static bool ParseMatches(const QStringList& words, QList<QByteArray>* matches, QString* error);
  // Parses "now", "all" or a count N (the last N entries).
  static bool ParseStart(const QString& word, SStart* start);

  // Opens the journal with `matches` and reads from `start`. False: a line
  // said why (a bad match, a journal that cannot be opened), and nothing
  // more comes from this source.
  bool Start(const QStringList& matches, const SStart& start);
  // One pass now. Tests call it to step without waiting for an event.
  void Pass();

  // Where the last entry read is, for SStart::cursor at the next start;
  // empty before the first entry.
  const QString& Cursor() const { return m_strCursor; }
  // "journal", or "journal:DIR": the label of the source's own notices.
  QString Name() const;

 private:
  void Notice(const QString& text);
  bool Seek(const SStart& start);
  void ReadEntry();
  void Emit(QByteArray message, const QString& label, std::int64_t timeUs);
  void SchedulePass();

  QString m_strDirectory;
  std::shared_ptr<CJournalSenders> m_pSenders;
  LineSink m_onLine;
  sd_journal* m_pJournal = nullptr;
  bool m_bOnEntry = false;  // positioned on an entry not read yet
  bool m_bPassQueued = false;
  bool m_bSaidReadError = false;
  QString m_strCursor;
  QSocketNotifier* m_pNotifier = nullptr;
  QTimer* m_pRecheck = nullptr;
};

}  // namespace zef
