// Timing for the benchmarks: a monotonic clock and the median of samples.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace bench {

// Microseconds on the performance counter (the same clock in every process).
inline double NowUs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace bench
