// Time taken by the helper objects, for the benchmarks: microseconds from
// the performance counter.
#pragma once

#include <windows.h>

namespace standin {

class Stopwatch {
 public:
  Stopwatch() { ::QueryPerformanceCounter(&start_); }
  long long ElapsedMicros() const {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - start_.QuadPart) * 1000000 / frequency.QuadPart;
  }

 private:
  LARGE_INTEGER start_;
};

}  // namespace standin
