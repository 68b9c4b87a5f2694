// SPDX-License-Identifier: MIT
#include "kernel_speed.h"

#include "reference_loop.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr double kRmin = -2.0, kRmax = 0.5, kImin = -1.25, kImax = 1.25;
constexpr double kMaxIt = 5000.0, kColours = 65536.0, kBailout = 4.0;
constexpr int kRows = kHeight + 2, kCols = kWidth + 2; // rows 0..481, columns 0..641
constexpr int kRuns = 3;

// Seconds for one pass over the grid with `kernel`, results into `out` (row-major).
double gridSeconds(MandelbrotFn kernel, std::vector<std::uint8_t>& out)
{
    const double stepR = (kRmax - kRmin) / (kWidth - 1);
    const double stepI = (kImax - kImin) / (kHeight - 1);
    const auto start = std::chrono::steady_clock::now();
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            out[static_cast<std::size_t>(row) * kCols + col] =
                kernel(kRmin, kRmax, kImin, kImax, kMaxIt, kColours, kWidth, kHeight, row, col,
                       kBailout, stepR, stepI);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void requireIdentical(const std::vector<std::uint8_t>& plain,
                      const std::vector<std::uint8_t>& shipped)
{
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] != shipped[i]) {
            std::fprintf(stderr,
                         "kernel speed: the shipped kernel returns %d where the plain loop "
                         "returns %d, at row %zu, column %zu (640x480 grid, MaxIt 5000); if the kernel "
                         "passes its tests, check that kernel_speed.cpp is built with "
                         "-ffp-contract=off\n",
                         shipped[i], plain[i], i / kCols, i % kCols);
            std::abort();
        }
    }
}

} // namespace

double measureKernelSpeedup(MandelbrotFn shipped)
{
    // Both loops are called through a function pointer, so neither is inlined into the
    // timing loop; the volatile read keeps the compiler from resolving this one.
    MandelbrotFn volatile plainPointer = &kernel_model::referenceMandelbrot;
    const MandelbrotFn plain = plainPointer;

    std::vector<std::uint8_t> plainOut(static_cast<std::size_t>(kRows) * kCols);
    std::vector<std::uint8_t> shippedOut(plainOut.size());
    double plainBest = 1e300, shippedBest = 1e300;
    // Alternating the two spreads any drift of the machine's speed over both.
    for (int run = 0; run < kRuns; ++run) {
        plainBest = std::min(plainBest, gridSeconds(plain, plainOut));
        shippedBest = std::min(shippedBest, gridSeconds(shipped, shippedOut));
        requireIdentical(plainOut, shippedOut);
    }
    return plainBest / shippedBest;
}
