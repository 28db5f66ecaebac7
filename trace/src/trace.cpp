// The process-wide emitter: the stderr mirror, the once-per-process monitor
// lookup and the hand-over of one line, locally or through the transport.
#include <zeftrace/trace.h>
#include <zeftrace/windowhost.h>

#include "client.h"
#include "errout.h"
#include "localhost.h"
#include "text.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace zef {
namespace {

enum class ERoute { kNone, kLocal, kRemote };

struct SEmitter {
  // One hand-over at a time per process: the monitor's buffer is one slot.
  std::mutex mutex;
  std::atomic<ETraceMirror> mirror{ETraceMirror::kOn};
  bool bLookupAttempted = false;
  ERoute eRoute = ERoute::kNone;
  HWND hMonitor = 0;
  HWND hBuffer = 0;
  CWindowClient client;
  // ZEFTRACE_TIMEOUT_MS: a hand-over that takes longer ends this process's
  // hand-overs; that line and all later ones go to standard error only.
  std::chrono::milliseconds timeout{0};
  bool bTimedOut = false;
  bool bCutSaid = false;
  // The fork generation of the lookup. A forked child is a process of its
  // own: it must not talk on its parent's connection (the replies would go
  // to whichever reads first), so it starts afresh with a lookup of its own.
  unsigned nLookupGeneration = 0;
};

// Counts the forks this process came through; bumped in the child, where
// only async-signal-safe work is allowed.
std::atomic<unsigned> g_nForkGeneration{0};
void CountFork() { g_nForkGeneration.fetch_add(1, std::memory_order_relaxed); }

// Never destroyed: lines emitted from other static destructors still work.
SEmitter& Emitter() {
  static SEmitter* emitter = [] {
    ::pthread_atfork(nullptr, nullptr, CountFork);
    return new SEmitter;
  }();
  return *emitter;
}

// Lines emitted by a window procedure while this thread is inside a
// hand-over (the monitor tracing into itself) wait here until it is done,
// instead of overwriting the buffer mid-hand-over.
thread_local bool t_bInHandOver = false;
thread_local std::deque<std::u16string>* t_pPending = nullptr;

void Mirror(std::u16string_view line, ETraceMirror mode) {
  if (errout::Gone()) return;
  std::string bytes = mode == ETraceMirror::kEscaped ? text::Utf16ToEscapedUtf8(line) : text::Utf16ToUtf8(line);
  bytes += '\n';
  errout::Write(bytes);
}

// Said once per process, when the timeout ends the hand-overs.
void SayTimedOut(SEmitter& e) {
  e.bTimedOut = true;
  e.eRoute = ERoute::kNone;
  errout::Write("zeftrace: the monitor took longer than " + std::to_string(e.timeout.count()) +
                " ms (ZEFTRACE_TIMEOUT_MS) to take a line; this and all later lines of this process go to "
                "standard error only\n");
}

// Caller holds the mutex. The lookup is made once per process: a monitor
// started later is never reached, and the handles are kept without checks.
void LookUpMonitor(SEmitter& e) {
  if (IWindowHost* host = GetLocalWindowHost()) {
    // The host's windows belong to its UI thread; the lookup waits for a
    // line from there.
    if (!IsLocalHostThread()) return;
    e.bLookupAttempted = true;
    e.nLookupGeneration = g_nForkGeneration.load(std::memory_order_relaxed);
    e.hMonitor = host->FindWindow(kMonitorTitle);
    if (e.hMonitor == 0) return;
    e.hBuffer = host->GetFirstChild(host->GetFirstChild(e.hMonitor));
    if (e.hBuffer != 0) e.eRoute = ERoute::kLocal;
    return;
  }
  e.bLookupAttempted = true;
  e.nLookupGeneration = g_nForkGeneration.load(std::memory_order_relaxed);
  e.timeout = TimeoutFromEnvironment();
  e.client.SetTimeout(e.timeout);
  if (!e.client.Connect(kMonitorTitle, nullptr)) {
    if (e.client.LastExchange() == EExchange::kTimedOut) SayTimedOut(e);
    return;
  }
  e.hMonitor = e.client.FindWindow(kMonitorTitle);
  if (e.hMonitor != 0) {
    const HWND view = e.client.GetFirstChild(e.hMonitor);
    e.hBuffer = view != 0 ? e.client.GetFirstChild(view) : 0;
  }
  if (e.hBuffer != 0) {
    e.eRoute = ERoute::kRemote;
  } else {
    // A monitor that hangs during the lookup counts as one that took too
    // long for a line.
    if (e.client.LastExchange() == EExchange::kTimedOut) SayTimedOut(e);
    e.client.Close();
  }
}

void ForgetParentAfterFork(SEmitter& e) {
  if (!e.bLookupAttempted || e.nLookupGeneration == g_nForkGeneration.load(std::memory_order_relaxed)) return;
  e.client.Close();  // drops only this process's reference
  e.bLookupAttempted = false;
  e.bTimedOut = false;
  e.bCutSaid = false;
  e.eRoute = ERoute::kNone;
  e.hMonitor = e.hBuffer = 0;
}

void HandOverLocked(SEmitter& e, std::u16string_view line) {
  const ETraceMirror mode = e.mirror.load(std::memory_order_relaxed);
  const bool mirrored = mode != ETraceMirror::kOff;
  if (mirrored) Mirror(line, mode);
  ForgetParentAfterFork(e);
  if (!e.bLookupAttempted) LookUpMonitor(e);
  if (e.bTimedOut) {
    if (!mirrored) Mirror(line, ETraceMirror::kOn);
    return;
  }
  switch (e.eRoute) {
    case ERoute::kNone:
      return;
    case ERoute::kLocal: {
      // The host may have been unregistered since (the monitor shutting down).
      // Another thread than the host's own would race its UI thread: such a
      // line goes to the mirror only.
      IWindowHost* host = GetLocalWindowHost();
      if (!host || !IsLocalHostThread()) return;
      host->SendMessage(e.hBuffer, WM_SETTEXT, 0, line, nullptr);
      host->SendMessage(e.hMonitor, WM_COMMAND, kEntryFromBufferCommand, {}, nullptr);
      host->SendMessage(e.hBuffer, WM_SETTEXT, 0, kBufferMarker, nullptr);
      return;
    }
    case ERoute::kRemote: {
      // A failed hand-over (the monitor went away) is ignored; the client is
      // closed then and later lines go to the mirror only.
      bool cut = false;
      const EExchange outcome = e.client.HandOver(e.hMonitor, e.hBuffer, line, &cut);
      if (cut && !e.bCutSaid) {
        e.bCutSaid = true;
        errout::Write("zeftrace: a line longer than " + std::to_string(kMaxLineUnits) +
                      " characters was cut for the monitor, where it ends in \u2026\n");
      }
      if (outcome == EExchange::kTimedOut) {
        SayTimedOut(e);
        if (!mirrored) Mirror(line, ETraceMirror::kOn);
      }
      return;
    }
  }
}

void Emit(std::u16string line) {
  if (t_bInHandOver) {
    if (!t_pPending) t_pPending = new std::deque<std::u16string>;
    t_pPending->push_back(std::move(line));
    return;
  }
  SEmitter& e = Emitter();
  std::lock_guard lock(e.mutex);
  t_bInHandOver = true;
  HandOverLocked(e, line);
  while (t_pPending && !t_pPending->empty()) {
    std::u16string next = std::move(t_pPending->front());
    t_pPending->pop_front();
    HandOverLocked(e, next);
  }
  t_bInHandOver = false;
}

}  // namespace

void TraceLine(std::string_view utf8Line) { Emit(text::Utf8ToUtf16(utf8Line)); }
void TraceLine(std::u16string_view line) { Emit(std::u16string(line)); }
void TraceLine(std::wstring_view line) { Emit(text::WideToUtf16(line)); }

bool TraceMonitorFound() {
  SEmitter& e = Emitter();
  std::lock_guard lock(e.mutex);
  ForgetParentAfterFork(e);
  if (!e.bLookupAttempted) LookUpMonitor(e);
  return e.eRoute != ERoute::kNone;
}

void SetTraceMirror(ETraceMirror mirror) { Emitter().mirror = mirror; }

CTraceScope::CTraceScope(std::string_view utf8Name) : m_strName(text::Utf8ToUtf16(utf8Name)) {
  Emit(m_strName + u" {");
}
CTraceScope::CTraceScope(std::u16string_view name) : m_strName(name) { Emit(m_strName + u" {"); }
CTraceScope::CTraceScope(std::wstring_view name) : m_strName(text::WideToUtf16(name)) { Emit(m_strName + u" {"); }

CTraceScope::~CTraceScope() {
  if (m_strResult.empty()) {
    Emit(u"} " + m_strName);
  } else {
    Emit(u"} " + m_strName + u" (" + m_strResult + u")");
  }
}

void CTraceScope::SetResult(std::string_view utf8Result) { m_strResult = text::Utf8ToUtf16(utf8Result); }
void CTraceScope::SetResult(std::u16string_view result) { m_strResult = result; }
void CTraceScope::SetResult(std::wstring_view result) { m_strResult = text::WideToUtf16(result); }

}  // namespace zef
