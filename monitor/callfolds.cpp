#include "monitor/callfolds.h"

#include <algorithm>

namespace zef {
namespace {

bool EntersBefore(const CCallFolds::SFold& fold, int enter) { return fold.nEnter < enter; }

}  // namespace

bool CCallFolds::Fold(const std::vector<SFold>& folds) {
  const auto byEnter = [](const SFold& a, const SFold& b) { return a.nEnter < b.nEnter; };
  std::vector<SFold> added;
  for (const SFold& fold : folds)
    if (fold.nEnter < fold.nLeave && !Find(fold.nEnter)) added.push_back(fold);
  if (added.empty()) return false;
  // Merged once for the lot: folding every call at a depth adds many.
  std::sort(added.begin(), added.end(), byEnter);
  added.erase(
      std::unique(added.begin(), added.end(), [](const SFold& a, const SFold& b) { return a.nEnter == b.nEnter; }),
      added.end());
  const auto middle = std::ptrdiff_t(m_vFolds.size());
  m_vFolds.insert(m_vFolds.end(), added.begin(), added.end());
  std::inplace_merge(m_vFolds.begin(), m_vFolds.begin() + middle, m_vFolds.end(), byEnter);
  return true;
}

bool CCallFolds::Unfold(int enter) {
  const auto at = std::lower_bound(m_vFolds.begin(), m_vFolds.end(), enter, EntersBefore);
  if (at == m_vFolds.end() || at->nEnter != enter) return false;
  m_vFolds.erase(at);
  return true;
}

const CCallFolds::SFold* CCallFolds::Find(int enter) const {
  const auto at = std::lower_bound(m_vFolds.begin(), m_vFolds.end(), enter, EntersBefore);
  if (at != m_vFolds.end() && at->nEnter == enter) return &*at;
  return nullptr;
}

std::vector<SHeldRange> CCallFolds::Hidden() const {
  std::vector<SHeldRange> ranges;
  for (const SFold& fold : m_vFolds) {
    // By enter line, so a fold that starts within the last range joins it
    // (calls of two senders may overlap without nesting).
    if (!ranges.empty() && fold.nEnter + 1 <= ranges.back().nLast + 1) {
      ranges.back().nLast = std::max(ranges.back().nLast, fold.nLeave);
    } else {
      ranges.push_back({fold.nEnter + 1, fold.nLeave});
    }
  }
  return ranges;
}

void CCallFolds::Dropped(int held) {
  std::erase_if(m_vFolds, [held](const SFold& fold) { return fold.nEnter < held; });
  for (SFold& fold : m_vFolds) {
    fold.nEnter -= held;
    fold.nLeave -= held;
  }
}

void CCallFolds::Inserted(int held) {
  for (SFold& fold : m_vFolds) {
    if (fold.nEnter >= held) ++fold.nEnter;
    if (fold.nLeave >= held) ++fold.nLeave;
  }
}

}  // namespace zef
