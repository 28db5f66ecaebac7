// Which thread owns the local window host: hand-overs to it are direct calls
// and are only safe on that thread.
#pragma once

namespace zef {

bool IsLocalHostThread();

}  // namespace zef
