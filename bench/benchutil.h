// A small timing harness shared by the benchmark programs, native and Windows:
// runs an operation in batches and prints the median time per call.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace qp::bench {

template <typename Fn>
double MedianNanos(int batches, int callsPerBatch, Fn&& fn) {
  std::vector<double> perCall;
  perCall.reserve(static_cast<std::size_t>(batches));
  for (int b = 0; b < batches; ++b) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < callsPerBatch; ++i) fn();
    const auto end = std::chrono::steady_clock::now();
    perCall.push_back(std::chrono::duration<double, std::nano>(end - start).count() / callsPerBatch);
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

inline void Report(const char* what, double nanos) {
  if (nanos >= 1e6) {
    std::printf("%-58s %10.3f ms\n", what, nanos / 1e6);
  } else if (nanos >= 1e3) {
    std::printf("%-58s %10.3f us\n", what, nanos / 1e3);
  } else {
    std::printf("%-58s %10.1f ns\n", what, nanos);
  }
  std::fflush(stdout);
}

template <typename Fn>
void Time(const char* what, int batches, int callsPerBatch, Fn&& fn) {
  Report(what, MedianNanos(batches, callsPerBatch, fn));
}

// Keeps a result alive so the optimiser cannot drop the call.
template <typename T>
void Keep(const T& value) {
  asm volatile("" : : "g"(&value) : "memory");
}

}  // namespace qp::bench
