// Whether the suite runs under AddressSanitizer. It keeps freed memory in
// quarantine and counts the heap its own way, so figures of memory use mean
// nothing under it, and its checks make every operation several times slower.
#pragma once

namespace zef::testing {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// A bound on seconds that holds for the plain build, widened for the
// sanitized one.
inline constexpr double SecondsBound(double plain) { return kSanitized ? plain * 5 : plain; }

}  // namespace zef::testing
