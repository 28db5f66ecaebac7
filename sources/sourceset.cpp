#include "sources/sourceset.h"

#include "platform/window/peer.h"
#include "sources/filefollow.h"
#include "sources/journal.h"
#include "sources/kernellog.h"

#include <algorithm>

namespace zef {

std::uint32_t CSourceSet::KernelId() { return kFirstSourceId + kMaxFileIds; }
std::uint32_t CSourceSet::FirstJournalId() { return KernelId() + 1; }

CSourceSet::CSourceSet(LineSink sink) : m_sink(std::move(sink)) {}

CSourceSet::~CSourceSet() = default;

void CSourceSet::Apply(const std::vector<SSource>& entries) {
  std::vector<const SSource*> wanted;
  for (const SSource& entry : entries) {
    if (!entry.bEnabled || int(wanted.size()) >= SSource::kMaxSources) continue;
    if (std::none_of(wanted.begin(), wanted.end(), [&](const SSource* w) { return w->SameSource(entry); }))
      wanted.push_back(&entry);
  }
  std::erase_if(m_running, [&](const SRunning& running) {
    return std::none_of(wanted.begin(), wanted.end(), [&](const SSource* w) { return w->SameStart(running.entry); });
  });
  for (const SSource* entry : wanted) {
    const bool runs = std::any_of(m_running.begin(), m_running.end(),
                                  [&](const SRunning& running) { return running.entry.SameStart(*entry); });
    if (!runs) Start(*entry);
  }
}

std::vector<SSource> CSourceSet::Running() const {
  std::vector<SSource> entries;
  for (const SRunning& running : m_running) entries.push_back(running.entry);
  return entries;
}

std::uint32_t CSourceSet::SenderOf(const SSource& entry) const {
  for (const SRunning& running : m_running)
    if (running.entry.SameSource(entry)) return running.id;
  return 0;
}

QString CSourceSet::CursorOf(const SSource& entry) const {
  for (const SRunning& running : m_running) {
    if (!running.entry.SameSource(entry)) continue;
    if (const auto* journal = dynamic_cast<const CJournalSource*>(running.source.get())) return journal->Cursor();
  }
  return {};
}

void CSourceSet::Start(const SSource& entry) {
  SRunning& running = m_running.emplace_back();
  running.entry = entry;
  if (const QString why = CheckSource(entry); !why.isEmpty()) {
    // Only an entry that never passed the dialog or the command line: said
    // under the monitor's own sender, once while it stays listed.
    m_sink(QStringLiteral("Source \"%1\" not started: %2").arg(PrintSource(entry).left(200), why), 0, QString(), 0);
    return;
  }
  switch (entry.kind) {
    case ESourceKind::File:
      StartFile(entry, running);
      break;
    case ESourceKind::Kernel:
      StartKernel(entry, running);
      break;
    case ESourceKind::Journal:
    case ESourceKind::JournalDir:
      StartJournal(entry, running);
      break;
  }
}

void CSourceSet::StartFile(const SSource& entry, SRunning& running) {
  const QString label = CFileFollow::LabelFor(entry.strArgument);
  auto found = m_fileIds.constFind(entry.strArgument);
  if (found == m_fileIds.cend()) {
    if (std::uint32_t(m_fileIds.size()) >= kMaxFileIds) {
      m_sink(QStringLiteral("Not followed: this session has followed %1 files already; restart ZEFMON to follow more.")
                 .arg(kMaxFileIds),
             0, QString(), 0);
      return;
    }
    found = m_fileIds.insert(entry.strArgument, kFirstSourceId + std::uint32_t(m_fileIds.size()));
  }
  running.id = *found;
  const auto add = [sink = m_sink, id = running.id, label](const QString& text) { sink(text, id, label, 0); };
  auto follow = std::make_unique<CFileFollow>(entry.strArgument, add, add);
  follow->Start(entry.bFromStart);
  running.source = std::move(follow);
}

void CSourceSet::StartKernel(const SSource& entry, SRunning& running) {
  running.id = KernelId();
  auto log = std::make_unique<CKernelLog>([sink = m_sink, id = running.id](const QString& text, std::int64_t timeUs) {
    sink(text, id, CKernelLog::Label(), timeUs);
  });
  log->Start(m_strKernelPath, entry.bFromStart ? CKmsgReader::EStart::kOldest : CKmsgReader::EStart::kNow);
  running.source = std::move(log);
}

void CSourceSet::StartJournal(const SSource& entry, SRunning& running) {
  if (!m_pJournalSenders) m_pJournalSenders = std::make_shared<CJournalSenders>(FirstJournalId(), kMaxJournalIds);
  const bool local = entry.kind == ESourceKind::Journal;
  auto journal = std::make_unique<CJournalSource>(local ? QString() : entry.strArgument, m_pJournalSenders, m_sink);
  CJournalSource::SStart start;
  if (!entry.strCursor.isEmpty()) start = {CJournalSource::EStart::kCursor, 0, entry.strCursor};
  else if (entry.bFromStart) start.kind = CJournalSource::EStart::kAll;
  else if (entry.nLast > 0) start = {CJournalSource::EStart::kLast, entry.nLast, {}};
  const QStringList matches = entry.Matches().split(u' ', Qt::SkipEmptyParts);
  // The source's own sender: its notices' (its entries have their own).
  QString name = journal->Name();
  running.id = m_pJournalSenders->IdFor(&name);
  if (journal->Start(matches, start)) running.source = std::move(journal);
}

}  // namespace zef
