#include "localhost.h"

#include <zeftrace/windowhost.h>

#include <atomic>
#include <thread>

namespace zef {
namespace {
std::atomic<IWindowHost*> g_localHost{nullptr};
// The thread that registered the host, taken to be its UI thread.
std::atomic<std::thread::id> g_localHostThread{};
}  // namespace

void SetLocalWindowHost(IWindowHost* host) {
  g_localHostThread = host ? std::this_thread::get_id() : std::thread::id();
  g_localHost = host;
}

IWindowHost* GetLocalWindowHost() { return g_localHost; }

bool IsLocalHostThread() { return g_localHostThread.load() == std::this_thread::get_id(); }

}  // namespace zef
