// SPDX-License-Identifier: MIT
// A literal, unoptimised rendering of the kernel's escape-time loop, pass by pass, written
// from the loop's definition and not from the library's code. The kernel's tests and its
// fuzz target compare every returned byte with it, and the benchmark times the kernel against
// it. It has to be compiled with -ffp-contract=off -fno-fast-math, so that each product is
// rounded before it is added: linking the CMake target zorvakel_reference does that.
#pragma once

#if defined(__FAST_MATH__)
#error "reference_loop.h must be built without -ffast-math: its loop has to round like the kernel's"
#endif

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>

namespace kernel_model {

// The thirteen arguments of Mandelbrot, in the order of the call.
struct Args {
    double rmin = 0.0, rmax = 0.0, imin = 0.0, imax = 0.0;
    double maxIt = 259.0, mColors = 65536.0;
    std::int32_t width = 640, height = 480, row = 0, col = 0;
    double bailout = 4.0, stepR = 0.0, stepI = 0.0;
};

// The byte of a point that escaped on pass n: (MColors / MaxIt) * n truncated toward zero to a
// signed 64-bit integer, whose low 8 bits are returned. NaN and anything outside the int64
// range give 0x8000000000000000, as the x86 conversion (cvttsd2si) does.
inline std::uint8_t escapeByte(double mColors, double maxIt, double n)
{
    const double v = (mColors / maxIt) * n;
    const std::int64_t index = (std::isnan(v) || v >= 0x1p63 || v < -0x1p63)
                                   ? std::numeric_limits<std::int64_t>::min()
                                   : static_cast<std::int64_t>(v);
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(index) & 0xFFu);
}

namespace detail {

// The loop as defined; with `Capped`, it gives up, returning nothing, once `passCap` passes
// have been made without the loop ending (by an escape or by reaching MaxIt). Without, the
// cap is never looked at, so that the uncapped loop makes no comparison the definition lacks.
template <bool Capped>
inline std::optional<std::uint8_t> passes(const Args& a, [[maybe_unused]] double passCap)
{
    const double cr = static_cast<double>(a.col) * a.stepR + a.rmin;
    const double ci = static_cast<double>(a.row) * a.stepI + a.imin;
    double zr = 0.0, zi = 0.0, n = 0.0;
    for (;;) {
        n = n + 1.0;
        const double zr2 = zr * zr;
        const double zi2 = zi * zi;
        const double m = zr2 + zi2;
        const bool inside = m < a.bailout;
        if (inside) {
            const double product = zi * zr;
            zi = 2.0 * product + ci;
            zr = (zr2 - zi2) + cr;
        }
        if (n >= a.maxIt)
            return 0;
        if (!inside)
            return escapeByte(a.mColors, a.maxIt, n);
        if constexpr (Capped) {
            if (n >= passCap)
                return std::nullopt;
        }
    }
}

} // namespace detail

// The loop as defined. Gives up, returning nothing, once `passCap` passes have been made
// without the loop ending (by an escape or by reaching MaxIt).
inline std::optional<std::uint8_t> loopUpTo(const Args& a, double passCap)
{
    return detail::passes<true>(a, passCap);
}

// The loop without a cap: only for a MaxIt that the pass counter reaches, so that it ends.
inline std::uint8_t referenceLoop(const Args& a)
{
    return *detail::passes<false>(a, 0.0);
}

// referenceLoop with the kernel's signature (MandelbrotFn in zorvakel.h), the thirteen
// arguments in the order of the call.
inline std::uint8_t referenceMandelbrot(double rmin, double rmax, double imin, double imax,
                                        double maxIt, double mColors, std::int32_t width,
                                        std::int32_t height, std::int32_t row, std::int32_t col,
                                        double bailout, double stepR, double stepI)
{
    return referenceLoop(Args{rmin, rmax, imin, imax, maxIt, mColors, width, height, row, col,
                              bailout, stepR, stepI});
}

// All thirteen arguments, doubles in hexadecimal so that they can be typed back exactly.
inline std::string describe(const Args& a)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "Rmin=%a Rmax=%a Imin=%a Imax=%a MaxIt=%a MColors=%a W=%" PRId32
                  " H=%" PRId32 " Row=%" PRId32 " Col=%" PRId32 " Bailout=%a StepR=%a StepI=%a",
                  a.rmin, a.rmax, a.imin, a.imax, a.maxIt, a.mColors, a.width, a.height, a.row,
                  a.col, a.bailout, a.stepR, a.stepI);
    return text;
}

} // namespace kernel_model
