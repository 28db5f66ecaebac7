// The fault routines are built without sanitizer checks: a sanitizer would
// report the division by zero or the null read itself and abort, and the
// point is the real signal.
#include "stress/faults.h"

#include <chrono>
#include <thread>

#define ZEF_NO_SANITIZE __attribute__((no_sanitize("address", "undefined")))

namespace zef {

volatile std::int32_t g_nNumerator = 1;
volatile std::int32_t g_nDenominator = 0;

namespace {

// Null, but read at run time: a pointer the compiler knows to be null would
// be turned into a trap instruction (SIGILL) instead of the refused access.
int* volatile g_pRefused = nullptr;

// Written only after Recurse's self-call returns, which keeps that call out
// of tail position: it can never become a jump.
volatile std::int32_t g_nRecursionReturns = 0;

}  // namespace

ZEF_NO_SANITIZE std::int32_t DivideNumeratorByDenominator() {
  const std::int32_t numerator = g_nNumerator;
  const std::int32_t denominator = g_nDenominator;
  return numerator / denominator;
}

ZEF_NO_SANITIZE std::int32_t ReadRefusedAddress() { return *static_cast<volatile int*>(g_pRefused); }

void SleepForever() {
  for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// The recursion without end is the point of the routine.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
ZEF_NO_SANITIZE __attribute__((noinline)) void Recurse() {
  Recurse();
  g_nRecursionReturns = g_nRecursionReturns + 1;
}
#pragma GCC diagnostic pop

}  // namespace zef
