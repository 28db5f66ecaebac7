#include <zeftrace/windowhost.h>

#include <atomic>

namespace zef {
namespace {
std::atomic<IWindowHost*> g_localHost{nullptr};
}
void SetLocalWindowHost(IWindowHost* host) { g_localHost = host; }
IWindowHost* GetLocalWindowHost() { return g_localHost; }
}  // namespace zef
