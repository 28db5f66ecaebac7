// How zefdb writes text that other programs chose (database names, record
// strings) to a terminal: shown, never obeyed.
#pragma once

#include <string>
#include <string_view>

namespace zef::store::tool {

// Whether a terminal or a bidi-aware display would act on `c` instead of
// showing it: C0 and C1 controls but the tab, DEL, the invisible format
// characters (Unicode category Cf: bidi embeddings, overrides and isolates,
// U+200B..U+200F, U+061C, U+FEFF, ...) and the line and paragraph
// separators. The same set the monitor replaces in its own lines.
bool IsObeyed(char32_t c);

// Appends `text` to `out` as UTF-8 with every character IsObeyed names, and
// every unpaired surrogate, replaced by U+FFFD: a name or string can then
// neither start a line of its own, nor move the cursor, nor reorder what
// follows it.
void AppendShown(std::u16string_view text, std::string* out);

}  // namespace zef::store::tool
