// What the hand-timed benchmarks report: seconds of a steady clock, and the
// median of several rounds, which a noisy, shared machine disturbs least.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace pw::bench {

inline double Seconds(const std::chrono::steady_clock::duration& d) {
  return std::chrono::duration<double>(d).count();
}

template <class T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace pw::bench
