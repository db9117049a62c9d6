#pragma once

namespace sp::hardening {

// Whether this build runs under AddressSanitizer, which slows every run down
// and adds its own memory to the resident set.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizerBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizerBuild = true;
#else
constexpr bool kSanitizerBuild = false;
#endif
#else
constexpr bool kSanitizerBuild = false;
#endif

}  // namespace sp::hardening
