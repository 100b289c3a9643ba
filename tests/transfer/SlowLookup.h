#pragma once

// Host names whose lookup takes SlowLookupSeconds in a test executable that links SlowLookup.cpp
// (they then resolve to 127.0.0.1).

namespace testing_support {

inline constexpr const char* SlowLookupDomain = "slow-lookup.test";
inline constexpr int SlowLookupSeconds = 15;

} // namespace testing_support
