// SPDX-License-Identifier: MIT
#include "kernel_speed.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(__FAST_MATH__)
#error "kernel_speed.cpp must be built without -ffast-math: its loop has to round like the kernel's"
#endif

namespace {

// The escape-time loop exactly as defined, one pass at a time with no shortcut: the baseline.
// Built with -ffp-contract=off, every product is rounded before it is added.
std::uint8_t plainLoop(double Rmin, double /*Rmax*/, double Imin, double /*Imax*/, double MaxIt,
                       double MColors, std::int32_t /*ImageWidth*/, std::int32_t /*ImageHeight*/,
                       std::int32_t Row, std::int32_t Col, double Bailout, double StepR,
                       double StepI)
{
    const double cr = static_cast<double>(Col) * StepR + Rmin;
    const double ci = static_cast<double>(Row) * StepI + Imin;
    double zr = 0.0, zi = 0.0, n = 0.0;
    for (;;) {
        n = n + 1.0;
        const double zr2 = zr * zr;
        const double zi2 = zi * zi;
        const double m = zr2 + zi2;
        if (m < Bailout) {
            zi = 2.0 * (zi * zr) + ci;
            zr = (zr2 - zi2) + cr;
        }
        if (n >= MaxIt)
            return 0;
        if (!(m < Bailout))
            break;
    }
    const double v = (MColors / MaxIt) * n;
    // NaN and values beyond the int64 range truncate to INT64_MIN, as x86's cvttsd2si does.
    const std::int64_t index = (v > -9223372036854775808.0 && v < 9223372036854775808.0)
                                   ? static_cast<std::int64_t>(v)
                                   : INT64_MIN;
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(index) & 0xFFu);
}

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
    MandelbrotFn volatile plainPointer = &plainLoop;
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
