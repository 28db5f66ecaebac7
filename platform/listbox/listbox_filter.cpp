// Which held lines the list box shows: the owner's filter judges them, on
// the way in and all at once when it changes, hidden ranges take whole
// stretches out, and the shown lines are listed by their held indices.
#include "platform/listbox/listbox_p.h"

#include <numeric>
#include <thread>

namespace zef {

namespace {

using Ranges = std::vector<SHeldRange>;

// Below this many lines to judge, threads cost more than they save.
constexpr std::size_t kLinesPerThread = 1 << 16;

// Runs `judge(part, first, end)` over [0, count) cut into as many parts as
// there are cores (one when the work is small); returns the part count.
template <typename Judge>
std::size_t InParts(std::size_t count, const Judge& judge) {
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t parts = std::clamp<std::size_t>(count / kLinesPerThread, 1, cores);
  std::vector<std::thread> threads;
  for (std::size_t part = 1; part < parts; ++part)
    threads.emplace_back(
        [&judge, part, count, parts] { judge(part, count * part / parts, count * (part + 1) / parts); });
  judge(0, 0, count / parts);
  for (std::thread& thread : threads) thread.join();
  return parts;
}

// Keeps a part's entries: `judge` ran over `lines` in `parts` stretches,
// each keeping kept[part] entries at the front of its stretch; the
// stretches close up and the rest goes.
void CloseUp(std::vector<std::uint32_t>& lines, const std::vector<std::size_t>& kept, std::size_t parts) {
  auto size = std::ptrdiff_t(kept[0]);
  for (std::size_t part = 1; part < parts; ++part) {
    const auto first = lines.begin() + std::ptrdiff_t(lines.size() * part / parts);
    size = std::copy(first, first + std::ptrdiff_t(kept[part]), lines.begin() + size) - lines.begin();
  }
  lines.resize(std::size_t(size));
  // Room for every held line is within what the list may spend, but a
  // filter that shows few lines should not keep it.
  if (lines.size() < lines.capacity() / 4) lines.shrink_to_fit();
}

// The lines of `a` that no range of `b` holds; both ascending and disjoint.
Ranges Subtract(const Ranges& a, const Ranges& b) {
  Ranges out;
  auto cut = b.begin();
  for (SHeldRange range : a) {
    while (cut != b.end() && cut->nLast < range.nFirst) ++cut;
    for (auto c = cut; c != b.end() && c->nFirst <= range.nLast && range.nFirst <= range.nLast; ++c) {
      if (c->nFirst > range.nFirst) out.push_back({range.nFirst, c->nFirst - 1});
      range.nFirst = c->nLast + 1;
    }
    if (range.nFirst <= range.nLast) out.push_back(range);
  }
  return out;
}

}  // namespace

int CListBox::Private::ShownFrom(int held) const {
  if (!bFiltered) return std::min(held, store.Count());
  return int(std::lower_bound(vShown.begin(), vShown.end(), std::uint32_t(held)) - vShown.begin());
}

const SHeldRange* CListBox::Private::HiddenAt(int held) const {
  auto after = std::upper_bound(vHidden.begin(), vHidden.end(), held,
                                [](int line, const SHeldRange& range) { return line < range.nFirst; });
  if (after == vHidden.begin()) return nullptr;
  --after;
  return held <= after->nLast ? &*after : nullptr;
}

int CListBox::Private::Admit(int held, bool inserted) {
  const int at = ShownFrom(held);
  if (inserted) {
    for (auto it = vShown.begin() + at; it != vShown.end(); ++it) ++*it;
    // An insert goes before a shown line, so never inside a range.
    for (SHeldRange& range : vHidden)
      if (range.nFirst >= held) range = {range.nFirst + 1, range.nLast + 1};
  }
  if (filter && !filter(store.Line(held))) return -1;
  vShown.insert(vShown.begin() + at, std::uint32_t(held));
  return at;
}

std::vector<std::uint32_t> CListBox::Private::Admitted(const Ranges& runs) const {
  // Where each run starts in the list of all their lines.
  std::vector<std::size_t> starts(runs.size() + 1);
  for (std::size_t i = 0; i < runs.size(); ++i)
    starts[i + 1] = starts[i] + std::size_t(runs[i].nLast - runs[i].nFirst + 1);
  std::vector<std::uint32_t> lines(starts.back());
  if (!filter) {
    for (std::size_t i = 0; i < runs.size(); ++i)
      std::iota(lines.begin() + std::ptrdiff_t(starts[i]), lines.begin() + std::ptrdiff_t(starts[i + 1]),
                std::uint32_t(runs[i].nFirst));
    return lines;
  }
  std::vector<std::size_t> kept(std::thread::hardware_concurrency() + 1);
  const std::size_t parts = InParts(lines.size(), [&](std::size_t part, std::size_t first, std::size_t end) {
    std::size_t out = first;
    auto run = std::size_t(std::upper_bound(starts.begin(), starts.end(), first) - starts.begin()) - 1;
    for (std::size_t i = first; i < end; ++i) {
      while (i >= starts[run + 1]) ++run;
      const auto held = std::uint32_t(std::size_t(runs[run].nFirst) + i - starts[run]);
      if (filter(store.Line(int(held)))) lines[out++] = held;
    }
    kept[part] = out - first;
  });
  CloseUp(lines, kept, parts);
  return lines;
}

std::pair<int, int> CListBox::Private::HeldPlaces() const {
  const int count = Count();
  if (count == 0) return {0, 0};
  return {Held(std::clamp(nCaret, 0, count - 1)), Held(std::clamp(nTop, 0, count - 1))};
}

void CListBox::Private::CarryOver(std::pair<int, int> held) {
  const auto [caretHeld, topHeld] = held;
  // The shown line before the range that hides `line`; -1 when none does
  // or nothing is shown before it.
  const auto before = [this](int line) {
    const SHeldRange* range = HiddenAt(line);
    return range ? ShownFrom(range->nFirst) - 1 : -1;
  };
  // The caret to the line before its hiding range, else to the nearest
  // shown line; the top likewise, else to the first shown line at or after
  // the one on top.
  const int shown = Count();
  const int after = ShownFrom(caretHeld);
  nCaret = after;
  if (after == shown || (after > 0 && Held(after) - caretHeld >= caretHeld - Held(after - 1))) nCaret = after - 1;
  if (const int line = before(caretHeld); line >= 0) nCaret = line;
  nCaret = std::max(nCaret, 0);
  const int top = before(topHeld);
  nTop = std::min(top >= 0 ? top : ShownFrom(topHeld), MaxTop());
  MarkLayoutDirty();
  UpdateAll();
}

void CListBox::Private::Judge(bool narrowing) {
  const bool wasFiltered = bFiltered;
  const std::pair<int, int> places = HeldPlaces();
  bFiltered = bool(filter) || !vHidden.empty();
  if (!bFiltered) {
    vShown = {};
  } else if (narrowing && wasFiltered && filter) {
    // Only the shown lines, each part keeping what it shows at the front of
    // its own stretch of vShown; then the stretches close up.
    std::vector<std::size_t> kept(std::thread::hardware_concurrency() + 1);
    const std::size_t parts = InParts(vShown.size(), [&](std::size_t part, std::size_t first, std::size_t end) {
      std::size_t out = first;
      for (std::size_t i = first; i < end; ++i)
        if (filter(store.Line(int(vShown[i])))) vShown[out++] = vShown[i];
      kept[part] = out - first;
    });
    CloseUp(vShown, kept, parts);
  } else {
    vShown = {};
    vShown = Admitted(Subtract({{0, store.Count() - 1}}, vHidden));
  }
  CarryOver(places);
}

void CListBox::Private::Hide(Ranges ranges) {
  const int count = store.Count();
  std::erase_if(ranges, [count](const SHeldRange& range) { return range.nFirst >= count; });
  for (SHeldRange& range : ranges) range = {std::max(range.nFirst, 0), std::min(range.nLast, count - 1)};
  std::erase_if(ranges, [](const SHeldRange& range) { return range.nFirst > range.nLast; });
  if (ranges == vHidden) return;
  const std::pair<int, int> places = HeldPlaces();
  const bool wasFiltered = bFiltered;
  const Ranges hidden = Subtract(ranges, vHidden);
  const Ranges revealed = Subtract(vHidden, ranges);
  vHidden = std::move(ranges);
  bFiltered = bool(filter) || !vHidden.empty();
  if (!bFiltered) {
    vShown = {};
  } else if (!wasFiltered) {
    vShown = Admitted(Subtract({{0, count - 1}}, vHidden));
  } else {
    // Only the stretch where the hiding changed: its shown lines less the
    // newly hidden ones, merged with the lines shown again.
    const int lo =
        std::min(hidden.empty() ? count : hidden.front().nFirst, revealed.empty() ? count : revealed.front().nFirst);
    const int hi = std::max(hidden.empty() ? -1 : hidden.back().nLast, revealed.empty() ? -1 : revealed.back().nLast);
    const auto first = std::lower_bound(vShown.begin(), vShown.end(), std::uint32_t(lo));
    const auto end = std::upper_bound(first, vShown.end(), std::uint32_t(hi));
    const std::vector<std::uint32_t> joined = Admitted(revealed);
    std::vector<std::uint32_t> merged;
    merged.reserve(std::size_t(end - first) + joined.size());
    auto cut = hidden.begin();
    auto join = joined.begin();
    for (auto it = first; it != end; ++it) {
      const int held = int(*it);
      while (cut != hidden.end() && cut->nLast < held) ++cut;
      if (cut != hidden.end() && cut->nFirst <= held) {
        // The whole hidden run at once.
        it = std::upper_bound(it, end, std::uint32_t(cut->nLast)) - 1;
        continue;
      }
      while (join != joined.end() && *join < *it) merged.push_back(*join++);
      merged.push_back(*it);
    }
    merged.insert(merged.end(), join, joined.end());
    // In place of the stretch: one move of the lines after it.
    const auto stretch = std::size_t(end - first);
    if (merged.size() <= stretch) {
      vShown.erase(std::copy(merged.begin(), merged.end(), first), end);
    } else {
      std::copy(merged.begin(), merged.begin() + std::ptrdiff_t(stretch), first);
      vShown.insert(end, merged.begin() + std::ptrdiff_t(stretch), merged.end());
    }
    if (vShown.size() < vShown.capacity() / 4) vShown.shrink_to_fit();
  }
  CarryOver(places);
}

int CListBox::Private::Forget(int held) {
  std::erase_if(vHidden, [held](const SHeldRange& range) { return range.nLast < held; });
  for (SHeldRange& range : vHidden) range = {std::max(range.nFirst, held) - held, range.nLast - held};
  if (!bFiltered) return held;
  const auto first = std::lower_bound(vShown.begin(), vShown.end(), std::uint32_t(held));
  const int shown = int(first - vShown.begin());
  vShown.erase(vShown.begin(), first);
  for (std::uint32_t& index : vShown) index -= std::uint32_t(held);
  // The last hidden range went with the lines and no filter is set: every
  // line is shown, at no cost, as before anything was hidden.
  if (vHidden.empty() && !filter) {
    bFiltered = false;
    vShown = {};
  }
  return shown;
}

void CListBox::SetLineFilter(LineFilter shows, bool narrowing) {
  d->filter = std::move(shows);
  d->Judge(narrowing);
}

void CListBox::Refilter(bool narrowing) { d->Judge(narrowing); }

bool CListBox::HasLineFilter() const { return d->bFiltered; }

int CListBox::GetHeldCount() const { return d->store.Count(); }

int CListBox::HeldIndex(int shown) const { return d->IsValid(shown) ? d->Held(shown) : LB_ERR; }

int CListBox::ShownIndex(int held) const {
  if (held < 0 || held >= d->store.Count()) return LB_ERR;
  const int shown = d->ShownFrom(held);
  return shown < d->Count() && d->Held(shown) == held ? shown : LB_ERR;
}

void CListBox::SetRowBackground(RowBackground background) {
  d->background = std::move(background);
  d->UpdateAll();
}

void CListBox::SetRowSuffix(RowSuffix suffix) {
  d->suffix = std::move(suffix);
  d->UpdateAll();
}

void CListBox::SetHiddenRanges(std::vector<SHeldRange> ranges) { d->Hide(std::move(ranges)); }

const std::vector<SHeldRange>& CListBox::HiddenRanges() const { return d->vHidden; }

int CListBox::GetDepth(int index) const { return d->IsValid(index) ? d->store.Depth(d->Held(index)) : 0; }

}  // namespace zef
