// The plain forms of recently read packed segments, shared by the threads
// that read one line store. Private to the line store's units.
//
// A thread reads through its own pins: the last kPins segments it read
// stay alive for it whatever other threads do, so a line read in place
// stays valid until the store changes or the same thread has read lines of
// kPins other packed segments since. Reading the segment read last costs
// one comparison; another pinned one, a few; anything else takes the lock
// once, and unpacks the segment unless the cache has it.
#pragma once

#include "platform/listbox/linesegment.h"

#include <memory>
#include <mutex>

namespace zef {

class CLineStore::SegmentCache {
 public:
  // The plain forms kept beside the ones threads have pinned; at least the
  // last one read is kept whatever its size.
  static constexpr std::size_t kBudget = std::size_t(4) << 20;
  static constexpr int kPins = 4;

  // The plain form of the packed segment `s`.
  const Segment& Get(const Segment& s) {
    if (t_nLastId == s.nPackId) return *t_pLast;
    return Miss(s);
  }
  // Frees the plain form of a packing no segment holds any more.
  void Forget(std::uint64_t packId);
  // Frees every plain form, and the calling thread's pins of this cache.
  void Clear();
  // Bytes of the plain forms held (not counting other threads' pins).
  std::size_t Bytes() const;

 private:
  struct Entry {
    std::uint64_t nId;
    std::shared_ptr<const Segment> plain;
    std::size_t nBytes;
    std::uint64_t nUsed;  // m_nTick when last read
  };
  struct Pin {
    std::uint64_t nId = 0;
    const SegmentCache* pOwner = nullptr;
    std::shared_ptr<const Segment> plain;
    std::uint64_t nUsed = 0;  // when last switched to, on the thread's count
  };

  const Segment& Miss(const Segment& s);
  // The cache's plain form of `s`, unpacked now if needed.
  std::shared_ptr<const Segment> Find(const Segment& s);
  void EvictOver(std::size_t budget);

  // What the calling thread read last: one of its pins.
  inline static thread_local std::uint64_t t_nLastId = 0;
  inline static thread_local const Segment* t_pLast = nullptr;
  // The calling thread's pins.
  static Pin* Pins();

  mutable std::mutex m_mutex;
  std::vector<Entry> m_vEntries;
  std::size_t m_nBytes = 0;
  std::uint64_t m_nTick = 0;
};

// The segment as read: a plain one itself, a packed one's plain form.
inline const CLineStore::Segment& CLineStore::Plain(int segment) const {
  const Segment& s = m_vSegments[std::size_t(segment)];
  return s.IsPacked() ? m_pCache->Get(s) : s;
}

}  // namespace zef
