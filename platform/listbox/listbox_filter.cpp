// Which held lines the list box shows: the owner's filter judges them, on
// the way in and all at once when it changes, and the shown lines are
// listed by their held indices.
#include "platform/listbox/listbox_p.h"

#include <thread>

namespace zef {

namespace {

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

}  // namespace

int CListBox::Private::ShownFrom(int held) const {
  if (!bFiltered) return std::min(held, store.Count());
  return int(std::lower_bound(vShown.begin(), vShown.end(), std::uint32_t(held)) - vShown.begin());
}

int CListBox::Private::Admit(int held, bool inserted) {
  const int at = ShownFrom(held);
  if (inserted)
    for (auto it = vShown.begin() + at; it != vShown.end(); ++it) ++*it;
  if (!filter(store.Line(held))) return -1;
  vShown.insert(vShown.begin() + at, std::uint32_t(held));
  return at;
}

void CListBox::Private::Judge(bool narrowing) {
  const bool wasFiltered = bFiltered;
  const int count = Count();
  const int caretHeld = count > 0 ? Held(std::clamp(nCaret, 0, count - 1)) : 0;
  const int topHeld = count > 0 ? Held(std::clamp(nTop, 0, count - 1)) : 0;

  bFiltered = bool(filter);
  if (!bFiltered) {
    vShown = {};
  } else {
    // Every held line is judged, or when narrowing only the shown ones. The
    // parts judge consecutive stretches, each keeping what it shows at the
    // front of its own stretch of vShown; then the stretches close up.
    const bool all = !(narrowing && wasFiltered);
    if (all) vShown.resize(std::size_t(store.Count()));
    std::vector<std::size_t> kept(std::thread::hardware_concurrency() + 1);
    const std::size_t parts = InParts(vShown.size(), [&](std::size_t part, std::size_t first, std::size_t end) {
      std::size_t out = first;
      for (std::size_t i = first; i < end; ++i) {
        const auto held = all ? std::uint32_t(i) : vShown[i];
        if (filter(store.Line(int(held)))) vShown[out++] = held;
      }
      kept[part] = out - first;
    });
    auto size = std::ptrdiff_t(kept[0]);
    for (std::size_t part = 1; part < parts; ++part) {
      const auto first = vShown.begin() + std::ptrdiff_t(vShown.size() * part / parts);
      size = std::copy(first, first + std::ptrdiff_t(kept[part]), vShown.begin() + size) - vShown.begin();
    }
    vShown.resize(std::size_t(size));
    // Room for every held line is within what the list may spend, but a
    // filter that shows few lines should not keep it.
    if (vShown.size() < vShown.capacity() / 4) vShown.shrink_to_fit();
  }

  // The caret to the nearest shown line, the top to the first shown line at
  // or after the one on top.
  const int shown = Count();
  const int after = ShownFrom(caretHeld);
  nCaret = after;
  if (after == shown || (after > 0 && Held(after) - caretHeld >= caretHeld - Held(after - 1))) nCaret = after - 1;
  nCaret = std::max(nCaret, 0);
  nTop = std::min(ShownFrom(topHeld), MaxTop());
  MarkLayoutDirty();
  UpdateAll();
}

int CListBox::Private::Forget(int held) {
  if (!bFiltered) return held;
  const auto first = std::lower_bound(vShown.begin(), vShown.end(), std::uint32_t(held));
  const int shown = int(first - vShown.begin());
  vShown.erase(vShown.begin(), first);
  for (std::uint32_t& index : vShown) index -= std::uint32_t(held);
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

}  // namespace zef
