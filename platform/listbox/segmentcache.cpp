#include "platform/listbox/segmentcache.h"

#include <span>

namespace zef {

CLineStore::SegmentCache::Pin* CLineStore::SegmentCache::Pins() {
  thread_local Pin pins[kPins];
  return pins;
}

const CLineStore::Segment& CLineStore::SegmentCache::Miss(const Segment& s) {
  thread_local std::uint64_t tick = 0;
  Pin* const pins = Pins();
  // The pin of `s`, else the one read longest ago.
  Pin* pin = pins;
  for (Pin& p : std::span(pins, kPins)) {
    if (p.nId == s.nPackId) {
      pin = &p;
      break;
    }
    if (p.nUsed < pin->nUsed) pin = &p;
  }
  if (pin->nId != s.nPackId) *pin = {s.nPackId, this, Find(s)};
  pin->nUsed = ++tick;
  t_nLastId = pin->nId;
  t_pLast = pin->plain.get();
  return *t_pLast;
}

std::shared_ptr<const CLineStore::Segment> CLineStore::SegmentCache::Find(const Segment& s) {
  const auto lookUp = [&]() -> std::shared_ptr<const Segment> {
    for (Entry& e : m_vEntries) {
      if (e.nId != s.nPackId) continue;
      e.nUsed = ++m_nTick;
      return e.plain;
    }
    return nullptr;
  };
  {
    const std::lock_guard lock(m_mutex);
    if (auto plain = lookUp()) return plain;
  }
  // Unpacked outside the lock, so that threads walking different stretches
  // do not wait on each other; a thread that raced this one wins.
  auto made = std::make_shared<const Segment>(s.Unpacked());
  const std::lock_guard lock(m_mutex);
  if (auto plain = lookUp()) return plain;
  const std::size_t bytes = SegmentBytes(*made);
  EvictOver(kBudget > bytes ? kBudget - bytes : 0);
  m_vEntries.push_back({s.nPackId, made, bytes, ++m_nTick});
  m_nBytes += bytes;
  return made;
}

void CLineStore::SegmentCache::EvictOver(std::size_t budget) {
  while (m_nBytes > budget && !m_vEntries.empty()) {
    const auto oldest = std::min_element(m_vEntries.begin(), m_vEntries.end(),
                                         [](const Entry& a, const Entry& b) { return a.nUsed < b.nUsed; });
    m_nBytes -= oldest->nBytes;
    m_vEntries.erase(oldest);
  }
}

void CLineStore::SegmentCache::Forget(std::uint64_t packId) {
  const std::lock_guard lock(m_mutex);
  const auto it = std::find_if(m_vEntries.begin(), m_vEntries.end(), [&](const Entry& e) { return e.nId == packId; });
  if (it == m_vEntries.end()) return;
  m_nBytes -= it->nBytes;
  m_vEntries.erase(it);
}

void CLineStore::SegmentCache::Clear() {
  {
    const std::lock_guard lock(m_mutex);
    m_vEntries.clear();
    m_vEntries.shrink_to_fit();
    m_nBytes = 0;
  }
  for (Pin& pin : std::span(Pins(), kPins))
    if (pin.pOwner == this) pin = {};
  t_nLastId = 0;
  t_pLast = nullptr;
}

std::size_t CLineStore::SegmentCache::Bytes() const {
  const std::lock_guard lock(m_mutex);
  return m_nBytes + m_vEntries.capacity() * sizeof(Entry);
}

}  // namespace zef
