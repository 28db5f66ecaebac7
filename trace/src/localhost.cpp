#include <zeftrace/windowhost.h>

namespace zef {
namespace {
IWindowHost* g_localHost = nullptr;
}
void SetLocalWindowHost(IWindowHost* host) { g_localHost = host; }
IWindowHost* GetLocalWindowHost() { return g_localHost; }
}  // namespace zef
