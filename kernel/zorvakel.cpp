// SPDX-License-Identifier: MIT
#include "zorvakel.h"

#include <cmath>

namespace {

// Truncation toward zero to a signed 64-bit integer. Values that have no such integer (NaN,
// magnitudes of 2^63 and beyond) give the x86 "integer indefinite" INT64_MIN, as the hardware
// conversion does, so every argument block yields a defined byte.
std::int64_t truncateToInt64(double v)
{
    if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0))
        return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

} // namespace

extern "C" ZORVAKEL_API std::uint8_t Mandelbrot(double Rmin, double /*Rmax*/, double Imin,
                                                double /*Imax*/, double MaxIt, double MColors,
                                                std::int32_t /*ImageWidth*/,
                                                std::int32_t /*ImageHeight*/, std::int32_t Row,
                                                std::int32_t Col, double Bailout, double StepR,
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
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(truncateToInt64(v)) & 0xFFu);
}
