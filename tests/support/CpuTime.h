// Processor time of this process: what some work costs, whatever else the machine runs. Tests
// that bound the cost of hostile input compare it with generous limits.
#pragma once

#include <ctime>

namespace ixoral::test {

inline double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// Cost bounds hold for the optimised program only: an unoptimised or sanitised build does the same
// work many times slower, and its tests check the results alone.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
inline constexpr bool kCostBoundsApply = true;
#else
inline constexpr bool kCostBoundsApply = false;
#endif

}  // namespace ixoral::test
