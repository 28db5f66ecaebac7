#include "monitor/callstats.h"

#include "trace/events/traceevents.h"

#include <QHashFunctions>

#include <algorithm>

namespace zef {

namespace {

// The name a leave line gives its call, as the trace event file names it.
QStringView LeaveName(QStringView leaveLine) {
  const std::u16string_view name =
      events::CallNameOfLeaveLine(std::u16string_view(leaveLine.utf16(), std::size_t(leaveLine.size())));
  return QStringView(name.data(), qsizetype(name.size()));
}

}  // namespace

CCallStatistics::SCalls& CCallStatistics::Find(std::uint32_t sender) {
  // Lines come in runs from one sender.
  if (m_nLast < m_vSenders.size() && m_vSenders[m_nLast].nSender == sender) return m_vSenders[m_nLast];
  const auto [it, added] = m_senderAt.try_emplace(sender, m_vSenders.size());
  if (added) {
    m_vSenders.emplace_back();
    m_vSenders.back().nSender = sender;
  }
  m_nLast = it->second;
  return m_vSenders[m_nLast];
}

CCallStatistics::SName& CCallStatistics::NameEntry(SCalls& calls, QStringView name) {
  const std::size_t hash = qHash(name);
  const auto [head, added] = calls.heads.try_emplace(hash, calls.vNames.size());
  if (!added) {
    for (std::size_t at = head->second; at != SIZE_MAX; at = calls.vNames[at].nNext)
      if (calls.vNames[at].strName == name) return calls.vNames[at];
    // A new name of a hash already met: first in its chain.
    calls.vNames.push_back(SName{name.toString(), {}, 0, head->second});
    head->second = calls.vNames.size() - 1;
    return calls.vNames.back();
  }
  calls.vNames.push_back(SName{name.toString(), {}, 0, SIZE_MAX});
  return calls.vNames.back();
}

void CCallStatistics::Add(std::uint32_t sender, bool closes, bool opens, std::int64_t span, QStringView text) {
  if (!closes && !opens) return;
  SCalls& calls = Find(sender);
  // '}' before '{', as the nesting rules count them: "} else {" leaves one
  // call and enters the next.
  if (closes) {
    if (calls.nOpen > 0) {
      --calls.nOpen;
    } else {
      ++calls.nUnmatchedLeaves;
    }
    if (NeedsText(closes, span)) {
      SName& name = NameEntry(calls, LeaveName(text));
      name.vSpans.push_back(span);
      name.nTotal += span;
    }
  }
  if (opens) ++calls.nOpen;
}

void CCallStatistics::Merge(CCallStatistics&& later) {
  for (SCalls& next : later.m_vSenders) {
    SCalls& calls = Find(next.nSender);
    // The later lines' first leaves end this part's innermost open calls.
    const std::int64_t matched = std::min(calls.nOpen, next.nUnmatchedLeaves);
    calls.nOpen += next.nOpen - matched;
    calls.nUnmatchedLeaves += next.nUnmatchedLeaves - matched;
    for (SName& name : next.vNames) {
      SName& entry = NameEntry(calls, name.strName);
      if (entry.vSpans.empty()) {
        entry.vSpans = std::move(name.vSpans);
      } else {
        entry.vSpans.insert(entry.vSpans.end(), name.vSpans.begin(), name.vSpans.end());
      }
      entry.nTotal += name.nTotal;
    }
  }
}

std::vector<CCallStatistics::SSender> CCallStatistics::Result() const {
  std::vector<SSender> result;
  for (const SCalls& calls : m_vSenders) {
    SSender sender;
    sender.nSender = calls.nSender;
    sender.nOpen = calls.nOpen;
    // The longest total first; a tie by name, so that the order never
    // depends on the order of the lines.
    std::vector<const SName*> names;
    names.reserve(calls.vNames.size());
    for (const SName& name : calls.vNames) names.push_back(&name);
    std::sort(names.begin(), names.end(), [](const SName* a, const SName* b) {
      return a->nTotal != b->nTotal ? a->nTotal > b->nTotal : a->strName < b->strName;
    });
    for (const SName* name : names) {
      const auto count = std::int64_t(name->vSpans.size());
      sender.nCalls += count;
      if (int(sender.vRows.size()) == kMaxRows) {
        ++sender.nMoreNames;
        sender.nMoreCalls += count;
        sender.nMoreTotal += name->nTotal;
        continue;
      }
      SRow row;
      row.strName = name->strName;
      row.nCount = count;
      row.nTotal = name->nTotal;
      row.nMean = name->nTotal / count;
      const auto [min, max] = std::minmax_element(name->vSpans.begin(), name->vSpans.end());
      row.nMin = *min;
      row.nMax = *max;
      // Nearest rank: the ceil(0.95 n)-th smallest.
      std::vector<std::int64_t> spans = name->vSpans;
      const auto rank = std::size_t((count * 95 + 99) / 100) - 1;
      std::nth_element(spans.begin(), spans.begin() + std::ptrdiff_t(rank), spans.end());
      row.nP95 = spans[rank];
      sender.vRows.push_back(std::move(row));
    }
    if (sender.nCalls > 0 || sender.nOpen > 0) result.push_back(std::move(sender));
  }
  return result;
}

}  // namespace zef
