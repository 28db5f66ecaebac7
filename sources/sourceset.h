// The sources that run, matched to a list of entries.
//
//   CSourceSet set([&](const QString& text, std::uint32_t id, const QString& label, std::int64_t us) {
//     intake.AddSourceLine(text, id, label, us);
//   });
//   set.Apply(settings.m_vSources);   // again after each change of the list
//
// Apply runs each distinct enabled source once (kind and argument; the first
// entry of a source decides how it starts). A source whose entry did not change
// keeps running untouched: it is not reopened and reads nothing twice. A
// changed one (its start) is stopped and started again; one no longer
// listed, or switched off, stops. A source that cannot run says why in one
// line of its own sender and never stops the others.
//
// Sender ids (above every peer id): a file's id comes from its path and
// stays the same for the whole session, however often it stops and starts,
// from kFirstSourceId up to kFirstSourceId + kMaxFileIds - 1; the kernel log
// is kKernelId; the journal's senders count from kFirstJournalId up, one per
// distinct label, at most kMaxJournalIds, the last shared by the rest.
#pragma once

#include "sources/sourcesettings.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zef {

class CJournalSenders;

class CSourceSet {
 public:
  // One line of a source: its text, sender id, sender label and time
  // (microseconds since the epoch, 0 for now). From the UI thread. Sender
  // id 0 (with no label) is the monitor's own line: why a source did not
  // start.
  using LineSink =
      std::function<void(const QString& text, std::uint32_t senderId, const QString& label, std::int64_t timeUs)>;

  static constexpr std::uint32_t kMaxFileIds = 0x8000;
  // Up to the last id but one: the last of all is used by nothing.
  static constexpr std::uint32_t kMaxJournalIds = 0x7FFE;
  static std::uint32_t KernelId();
  static std::uint32_t FirstJournalId();

  explicit CSourceSet(LineSink sink);
  ~CSourceSet();
  CSourceSet(const CSourceSet&) = delete;
  CSourceSet& operator=(const CSourceSet&) = delete;

  void Apply(const std::vector<SSource>& entries);

  // The entries that run now, in the order they started.
  std::vector<SSource> Running() const;
  // The sender id of a running source like `entry`; 0 when none runs.
  std::uint32_t SenderOf(const SSource& entry) const;
  // Where a running journal like `entry` has read to (its cursor); empty
  // when none runs or it has read nothing yet.
  QString CursorOf(const SSource& entry) const;
  // Where the kernel log is read from (tests give a file of records).
  void SetKernelPath(const QString& path) { m_strKernelPath = path; }

 private:
  struct SRunning {
    SSource entry;
    std::uint32_t id = 0;
    std::unique_ptr<QObject> source;  // null for a source that only said why it cannot run
  };
  void Start(const SSource& entry);
  void StartFile(const SSource& entry, SRunning& running);
  void StartKernel(const SSource& entry, SRunning& running);
  void StartJournal(const SSource& entry, SRunning& running);

  LineSink m_sink;
  QString m_strKernelPath = QStringLiteral("/dev/kmsg");
  std::vector<SRunning> m_running;
  QHash<QString, std::uint32_t> m_fileIds;  // by path, for the session
  // The journals' senders, shared by all of them for the session: one id
  // per label, never one id for two labels.
  std::shared_ptr<CJournalSenders> m_pJournalSenders;
};

}  // namespace zef
