// The calls folded in the monitor list, kept by the held index of their
// enter and leave lines: what they hide (each call's inner lines and its
// leave line; a fold inside another's lines adds nothing, and stays folded
// when the outer one opens), and how they move when the held lines move.
// A view only: no line's text changes.
#pragma once

#include "platform/listbox/linestore.h"

#include <cstdint>
#include <vector>

namespace zef {

class CCallFolds {
 public:
  struct SFold {
    int nEnter = 0;           // held index of the enter line
    int nLeave = 0;           // held index of the leave line, after nEnter
    std::int64_t nSpan = -1;  // the call's duration in microseconds; negative: none

    // The lines between the enter and the leave line.
    int InnerLines() const { return nLeave - nEnter - 1; }
  };

  // Folds each call of `folds` whose enter line is not folded yet; false
  // when none was new.
  bool Fold(const std::vector<SFold>& folds);
  // Unfolds the call whose enter line is held `enter`; false when none is.
  bool Unfold(int enter);
  void Clear() { m_vFolds.clear(); }
  bool IsEmpty() const { return m_vFolds.empty(); }
  // The folded call whose enter line is held `enter`; null when none is.
  const SFold* Find(int enter) const;

  // The held lines the folds hide: ascending and disjoint.
  std::vector<SHeldRange> Hidden() const;

  // The first `held` held lines went: a fold whose enter line went is
  // forgotten, the others move up.
  void Dropped(int held);
  // A line was put before held line `held` (never inside a fold's hidden
  // lines, which are not shown): the folds from it on move down.
  void Inserted(int held);

 private:
  std::vector<SFold> m_vFolds;  // by enter line, ascending
};

}  // namespace zef
