#pragma once
// The median the benchmarks report: robust against the odd slow round on a noisy machine.

#include <algorithm>
#include <vector>

namespace qm::bench {

// Middle value of v (the mean of the two middle ones for an even count); v must not be empty.
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace qm::bench
