// Processor time of this process: what some work costs, whatever else the machine runs. Tests
// that bound the cost of hostile input compare it with generous limits.
#pragma once

#include <ctime>

namespace ixoral::test {

inline double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace ixoral::test
