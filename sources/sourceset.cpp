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

void CSourceSet::Apply(const std::vector<SSourceSpec>& specs) {
  std::vector<const SSourceSpec*> wanted;
  for (const SSourceSpec& spec : specs) {
    if (!spec.bEnabled || int(wanted.size()) >= SSourceSpec::kMaxSources) continue;
    if (std::none_of(wanted.begin(), wanted.end(), [&](const SSourceSpec* w) { return w->SameSource(spec); }))
      wanted.push_back(&spec);
  }
  std::erase_if(m_running, [&](const SRunning& running) {
    return std::none_of(wanted.begin(), wanted.end(), [&](const SSourceSpec* w) { return w->SameStart(running.spec); });
  });
  for (const SSourceSpec* spec : wanted) {
    const bool runs = std::any_of(m_running.begin(), m_running.end(),
                                  [&](const SRunning& running) { return running.spec.SameStart(*spec); });
    if (!runs) Start(*spec);
  }
}

std::vector<SSourceSpec> CSourceSet::Running() const {
  std::vector<SSourceSpec> specs;
  for (const SRunning& running : m_running) specs.push_back(running.spec);
  return specs;
}

std::uint32_t CSourceSet::SenderOf(const SSourceSpec& spec) const {
  for (const SRunning& running : m_running)
    if (running.spec.SameSource(spec)) return running.id;
  return 0;
}

QString CSourceSet::CursorOf(const SSourceSpec& spec) const {
  for (const SRunning& running : m_running) {
    if (!running.spec.SameSource(spec)) continue;
    if (const auto* journal = dynamic_cast<const CJournalSource*>(running.source.get())) return journal->Cursor();
  }
  return {};
}

void CSourceSet::Start(const SSourceSpec& spec) {
  SRunning& running = m_running.emplace_back();
  running.spec = spec;
  if (const QString why = CheckSourceSpec(spec); !why.isEmpty()) {
    // Only a spec that never passed the dialog or the command line: said
    // under the monitor's own sender, once while it stays listed.
    m_sink(QStringLiteral("Source \"%1\" not started: %2").arg(PrintSourceSpec(spec).left(200), why), 0, QString(), 0);
    return;
  }
  switch (spec.kind) {
    case ESourceKind::File:
      StartFile(spec, running);
      break;
    case ESourceKind::Kernel:
      StartKernel(spec, running);
      break;
    case ESourceKind::Journal:
    case ESourceKind::JournalDir:
      StartJournal(spec, running);
      break;
  }
}

void CSourceSet::StartFile(const SSourceSpec& spec, SRunning& running) {
  const QString label = CFileFollow::LabelFor(spec.strArgument);
  auto found = m_fileIds.constFind(spec.strArgument);
  if (found == m_fileIds.cend()) {
    if (std::uint32_t(m_fileIds.size()) >= kMaxFileIds) {
      m_sink(QStringLiteral("Not followed: this session has followed %1 files already; restart ZEFMON to follow more.")
                 .arg(kMaxFileIds),
             0, QString(), 0);
      return;
    }
    found = m_fileIds.insert(spec.strArgument, kFirstSourceId + std::uint32_t(m_fileIds.size()));
  }
  running.id = *found;
  const auto add = [sink = m_sink, id = running.id, label](const QString& text) { sink(text, id, label, 0); };
  auto follow = std::make_unique<CFileFollow>(spec.strArgument, add, add);
  follow->Start(spec.bFromStart);
  running.source = std::move(follow);
}

void CSourceSet::StartKernel(const SSourceSpec& spec, SRunning& running) {
  running.id = KernelId();
  auto log = std::make_unique<CKernelLog>([sink = m_sink, id = running.id](const QString& text, std::int64_t timeUs) {
    sink(text, id, CKernelLog::Label(), timeUs);
  });
  log->Start(m_strKernelPath, spec.bFromStart ? CKmsgReader::EStart::kOldest : CKmsgReader::EStart::kNow);
  running.source = std::move(log);
}

void CSourceSet::StartJournal(const SSourceSpec& spec, SRunning& running) {
  if (!m_pJournalSenders) m_pJournalSenders = std::make_shared<CJournalSenders>(FirstJournalId(), kMaxJournalIds);
  const bool local = spec.kind == ESourceKind::Journal;
  auto journal = std::make_unique<CJournalSource>(local ? QString() : spec.strArgument, m_pJournalSenders, m_sink);
  CJournalSource::SStart start;
  if (!spec.strCursor.isEmpty()) start = {CJournalSource::EStart::kCursor, 0, spec.strCursor};
  else if (spec.bFromStart) start.kind = CJournalSource::EStart::kAll;
  else if (spec.nLast > 0) start = {CJournalSource::EStart::kLast, spec.nLast, {}};
  const QStringList matches = spec.Matches().split(u' ', Qt::SkipEmptyParts);
  // The source's own sender: its notices' (its entries have their own).
  QString name = journal->Name();
  running.id = m_pJournalSenders->IdFor(&name);
  if (journal->Start(matches, start)) running.source = std::move(journal);
}

}  // namespace zef
