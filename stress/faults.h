// Real faults of this process, for the "&ZEF" commands. No handler is
// installed for any of them anywhere in the program: each goes to the
// system's default action (the process ends by the signal, and may dump
// core) unless a debugger takes it.
#pragma once

#include <cstdint>

namespace zef {

// The operands of the division: written by nothing, but volatile, so every
// division reads them at run time and no build folds them into constants.
extern volatile std::int32_t g_nNumerator;    // 1
extern volatile std::int32_t g_nDenominator;  // 0

// g_nNumerator / g_nDenominator as a signed 32-bit division: SIGFPE while
// the denominator is 0.
std::int32_t DivideNumeratorByDenominator();

// Reads through a null pointer that the compiler cannot see is null:
// SIGSEGV. Returns what it read if a debugger lets it go on.
std::int32_t ReadRefusedAddress();

// Sleeps 100 ms at a time, forever, so the process hangs without using the
// processor.
[[noreturn]] void SleepForever();

// Calls itself until the stack is exhausted: SIGSEGV. Every call takes a
// new frame at every optimisation level.
void Recurse();

}  // namespace zef
