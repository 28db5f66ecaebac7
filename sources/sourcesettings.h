// What the user turns on as a source of the monitor, without a display: a
// followed file, the kernel log, the local journal or a directory of journal
// files, and the section "Init.Sources" that keeps them.
//
// A source as one settings value (the kind, its options, then after the
// first ':' its argument):
//   file:/var/log/syslog             a file followed from its end
//   file,start:/tmp/app.log          ... from its beginning
//   kernel                           the kernel log from its oldest record
//   kernel,end                       ... only records from now on
//   journal:_SYSTEMD_UNIT=a.service PRIORITY=0..4
//   journal,last=100:                the local journal, its last 100 entries first
//   journal,all:                     ... from its oldest entry
//   journal-dir:/var/log/journal/remote
// A directory's matches are kept beside it (Matches<n>), since a path may
// hold any character.
// Everything read is untrusted (a hand-edited or damaged settings file):
// bounded lengths, known kinds and options only, each refusal in words.
#pragma once

#include "platform/system/datadirection.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace zef {

class CProfile;

enum class ESourceKind : int { File, Kernel, Journal, JournalDir };

inline bool IsJournal(ESourceKind kind) { return kind == ESourceKind::Journal || kind == ESourceKind::JournalDir; }
// Whether the kind's argument is a path (a file or a directory).
inline bool TakesPath(ESourceKind kind) { return kind == ESourceKind::File || kind == ESourceKind::JournalDir; }

struct SSource {
  // The most sources the monitor runs at once (a sender id each for files).
  static constexpr int kMaxSources = 4096;
  static constexpr int kMaxArgument = 4096;  // characters of a path or of the matches
  static constexpr int kMaxMatches = 64;
  static constexpr int kMaxLast = 1000000;

  ESourceKind kind = ESourceKind::File;
  // File: its path; JournalDir: the directory; Journal: matches
  // "FIELD=VALUE ..." ("+" between groups of alternatives), none for all;
  // Kernel: nothing.
  QString strArgument;
  // File: its present content first; Kernel: from the oldest record kept;
  // journal kinds: from the oldest entry (before nLast).
  bool bFromStart = false;
  // JournalDir: matches as a Journal's argument has them, none for all.
  QString strMatches;
  // Journal kinds: how many of the latest entries come first (0: from now).
  int nLast = 0;
  bool bEnabled = true;
  // Given on the command line: runs this session and is not saved.
  bool bSession = false;
  // Journal kinds: where the last session stopped reading (the journal's
  // cursor). A start with one goes on right after it, whatever the start
  // above says; it is kept across starts, never shown or compared for a
  // restart.
  QString strCursor;
  static constexpr int kMaxCursor = 1024;

  // The same source (kind, argument and matches), whatever its options.
  bool SameSource(const SSource& other) const {
    return kind == other.kind && strArgument == other.strArgument && strMatches == other.strMatches;
  }
  // A journal's matches: a Journal's argument, a JournalDir's strMatches.
  const QString& Matches() const { return kind == ESourceKind::Journal ? strArgument : strMatches; }
  // The same source started the same way: a running one needs no restart.
  bool SameStart(const SSource& other) const {
    return SameSource(other) && bFromStart == other.bFromStart && nLast == other.nLast;
  }
  friend bool operator==(const SSource&, const SSource&) = default;
};

// A new entry of `kind` with that kind's usual start.
SSource MakeSource(ESourceKind kind, const QString& argument = {});

// The settings value of `entry` (its kind, options and argument; not whether
// it is on).
QString PrintSource(const SSource& entry);
// Reads a settings value; false with `error` saying why when it is none.
bool ParseSource(const QString& text, SSource* entry, QString* error);
// Why `entry` cannot run, or an empty string when it can.
QString CheckSource(const SSource& entry);
// How a list shows it: "File /var/log/syslog, from its beginning".
QString DescribeSource(const SSource& entry);
// The kinds' names for a chooser, in ESourceKind order.
QStringList SourceKindNames();

// Section "Init.Sources": Count, then per source n (from 1) Source<n> (the
// entry's value), On<n> (0/1), for a journal Cursor<n> and for a directory of
// journal files Matches<n>. On load at most
// kMaxSources are read and a value that is no source (or a cursor that is
// none) is left out; each is one line of Problems(). A
// source given on the command line (bSession) is never written, and a load
// keeps those already in the list.
struct CSourceSettings {
  std::vector<SSource> m_vSources;

  void Exchange(CProfile& profile, DataDirection direction);
  // What the last load left out and why.
  const QStringList& Problems() const { return m_problems; }

  friend bool operator==(const CSourceSettings& a, const CSourceSettings& b) { return a.m_vSources == b.m_vSources; }

 private:
  QStringList m_problems;
};

}  // namespace zef
