#pragma once

namespace zef {
// Registers the icon and the help pages; the resource library is static, so
// its data is not registered by itself. Safe to call more than once.
void InitResources();
}  // namespace zef
