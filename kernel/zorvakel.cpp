// SPDX-License-Identifier: MIT
#include "zorvakel.h"

#include <algorithm>
#include <bit>
#include <cmath>

// Every result is defined bit for bit by the escape-time loop below, run pass by pass in
// double precision with each product rounded before it is added (the library is built with
// -ffp-contract=off). The only shortcut taken is one that cannot change a returned byte: an
// orbit that comes back to a state it has already been in, bit for bit, without escaping,
// repeats that cycle forever, so it never escapes and the loop ends with 0 when MaxIt is
// reached.

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

// Colour index of a point that escaped on pass n: the quotient first, then the product.
std::uint8_t colourIndex(double MColors, double MaxIt, double n)
{
    const double v = (MColors / MaxIt) * n;
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(truncateToInt64(v)) & 0xFFu);
}

// The pass counter n is a double: it counts exactly up to 2^53 and then stays there.
constexpr double kLastPassCount = 9007199254740992.0; // 2^53

// The loop for MaxIt > 1 or NaN. Up to 2^53 it always ends: the pass counter is an integer
// (exact like the double one in this range) and the loop stops after ceil(MaxIt) passes,
// which is when n >= MaxIt first holds. Beyond 2^53 (infinity included), and for a NaN MaxIt,
// no pass count reaches MaxIt (the double counter stops growing at 2^53, and n >= NaN never
// holds): only an escape or a repeat ends the loop in practice. The loop is still finite by
// construction, bounded by INT64_MAX passes, so that no compiler may assume it ends and make
// up a result (C++ lets a compiler take a loop without side effects as one that ends).
//
// Repeat detection: now and then the state (zr, zi) after a pass is saved, and every later
// state is compared with it bit for bit (bits rather than ==, which takes 0.0 for -0.0). A
// state is compared only after a pass that did not escape, and the saved state is the input
// of a pass that has since been made without escaping, so a match means the orbit is in a
// cycle of states none of which escapes: the loop would run on until MaxIt and return 0.
// (A NaN state always escapes on its next pass, so it is never a saved one and never
// matches.) Points inside the set mostly settle into an exact cycle after a few hundred
// passes, where the loop would otherwise make all MaxIt of them.
//
// The match comes one period after the first save made inside the cycle. Saving every
// max(8, n/16) passes keeps that delay at about 1/16 of the passes already made, while the
// growing interval still outlasts long periods (a save interval shorter than the period
// finds nothing until the interval has grown past it).
std::uint8_t loopWithRepeatDetection(double cr, double ci, double MaxIt, double MColors,
                                     double Bailout)
{
    const std::int64_t passes = MaxIt <= kLastPassCount ? static_cast<std::int64_t>(std::ceil(MaxIt))
                                                        : INT64_MAX;
    double zr = 0.0, zi = 0.0;
    std::uint64_t savedR = std::bit_cast<std::uint64_t>(zr);
    std::uint64_t savedI = std::bit_cast<std::uint64_t>(zi);
    std::int64_t n = 0;
    for (;;) {
        const std::int64_t stop = n + std::min(passes - n, std::max<std::int64_t>(8, n / 16));
        do {
            ++n;
            const double zr2 = zr * zr;
            const double zi2 = zi * zi;
            const double m = zr2 + zi2;
            if (!(m < Bailout)) {
                if (n >= passes)
                    return 0;
                return colourIndex(MColors, MaxIt, static_cast<double>(n));
            }
            zi = 2.0 * (zi * zr) + ci;
            zr = (zr2 - zi2) + cr;
            if (std::bit_cast<std::uint64_t>(zr) == savedR &&
                std::bit_cast<std::uint64_t>(zi) == savedI)
                return 0;
        } while (n < stop);
        if (n >= passes)
            return 0;
        savedR = std::bit_cast<std::uint64_t>(zr);
        savedI = std::bit_cast<std::uint64_t>(zi);
    }
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
    // Pass 1 ends with n = 1 >= MaxIt: 0 whether or not the point escapes on it.
    if (MaxIt <= 1.0)
        return 0;
    // Beyond 2^53, and for NaN, the loop ends only by escaping. A point whose orbit repeats a
    // state never escapes, and such a point's colour index is 0 whatever MaxIt is; without the
    // repeat check a MaxIt typed as 1e20 would keep the program computing for ever. A NaN
    // MaxIt is the same kind of limit, one that no pass count reaches, and is served by the
    // same rule rather than by a loop whose end the compiler would decide.
    return loopWithRepeatDetection(cr, ci, MaxIt, MColors, Bailout);
}
