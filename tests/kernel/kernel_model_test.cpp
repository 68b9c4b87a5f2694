// SPDX-License-Identifier: MIT
// The kernel against a literal, unoptimised rendering of its escape-time loop, over many
// generated argument blocks. Every returned byte has to match.
#include "reference_loop.h"
#include "zorvakel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using kernel_model::Args;
using kernel_model::describe;
using kernel_model::referenceLoop;

std::uint8_t kernel(const Args& a)
{
    return Mandelbrot(a.rmin, a.rmax, a.imin, a.imax, a.maxIt, a.mColors, a.width, a.height,
                      a.row, a.col, a.bailout, a.stepR, a.stepI);
}

void expectKernelMatchesReference(const std::vector<Args>& cases)
{
    ASSERT_FALSE(cases.empty());
    std::size_t mismatches = 0;
    for (const Args& a : cases) {
        const int expected = referenceLoop(a);
        const int actual = kernel(a);
        if (expected != actual && ++mismatches <= 10)
            ADD_FAILURE() << "expected " << expected << ", got " << actual << " for "
                          << describe(a);
    }
    EXPECT_EQ(mismatches, 0u) << "out of " << cases.size() << " argument blocks";
}

// Deterministic generator: values come from mt19937_64's raw output only, so every standard
// library produces the same cases.
class Gen {
public:
    explicit Gen(std::uint64_t seed) : engine_(seed) {}

    double unit() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    std::int64_t integer(std::int64_t lo, std::int64_t hi) // inclusive
    {
        return lo + static_cast<std::int64_t>(engine_() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    bool chance(double p) { return unit() < p; }
    template <typename T, std::size_t N> T pick(const T (&items)[N])
    {
        return items[static_cast<std::size_t>(integer(0, N - 1))];
    }
    double sign() { return chance(0.5) ? 1.0 : -1.0; }

    // MaxIt as the viewer might pass it: mostly whole, sometimes fractional or <= 1.
    double maxIt()
    {
        const double r = unit();
        if (r < 0.08) {
            static const double low[] = {1.0, 0.999, 0.5, 0.0, -0.0, -1.0, -1e300, -kInf};
            return chance(0.5) ? pick(low) : uniform(-5.0, 1.0);
        }
        if (r < 0.55)
            return static_cast<double>(integer(2, 300));
        if (r < 0.8)
            return uniform(1.0, 300.0);
        if (r < 0.9)
            return static_cast<double>(integer(2, 4)) + pick(kSmallFractions);
        return static_cast<double>(integer(300, 3000));
    }

    double colours()
    {
        const double r = unit();
        if (r < 0.5)
            return 65536.0;
        if (r < 0.6)
            return -65536.0;
        if (r < 0.7) {
            static const double odd[] = {256.0, 255.0, 1.0, 0.0, -1.0, 1e6, 1e19, -1e19,
                                         1e300, kInf, -kInf, kNaN, 0x1p53 + 14};
            return pick(odd);
        }
        return sign() * uniform(0.0, 1e7);
    }

    double bailout()
    {
        const double r = unit();
        if (r < 0.7)
            return 4.0;
        if (r < 0.8) {
            static const double odd[] = {0.0,  -0.0, -1.0, kNaN, kInf, -kInf,
                                         1e-300, std::nextafter(4.0, 0.0),
                                         std::nextafter(4.0, 5.0), 1e300};
            return pick(odd);
        }
        return std::exp2(uniform(-4.0, 12.0));
    }

    // Grid arguments that map (Row, Col) close to the point re + im*i: the kernel recomputes
    // c from them with its own rounding, so the point lands near, not exactly on, the target.
    void aimAt(Args& a, double re, double im, std::int32_t row, std::int32_t col)
    {
        a.row = row;
        a.col = col;
        a.stepR = sign() * std::exp2(uniform(-40.0, -2.0));
        a.stepI = sign() * std::exp2(uniform(-40.0, -2.0));
        a.rmin = re - static_cast<double>(col) * a.stepR;
        a.imin = im - static_cast<double>(row) * a.stepI;
        a.rmax = uniform(-3.0, 3.0);
        a.imax = uniform(-3.0, 3.0);
        a.width = static_cast<std::int32_t>(integer(1, 4096));
        a.height = static_cast<std::int32_t>(integer(1, 4096));
    }

    std::int32_t smallIndex() { return static_cast<std::int32_t>(integer(-1000, 1000)); }

    static constexpr double kSmallFractions[] = {0.0, 1e-12, 0.25, 0.5, 0.75, 1.0 - 1e-12};

private:
    std::mt19937_64 engine_;
};

// A point on the boundary of the main cardioid (angle t) or of the period-2 disc, pushed
// in or out by a distance between 1e-1 and 1e-12.
void nearBoundary(Gen& g, double& re, double& im)
{
    const double t = g.uniform(0.0, 2.0 * std::numbers::pi);
    if (g.chance(0.7)) {
        re = 0.5 * std::cos(t) - 0.25 * std::cos(2.0 * t);
        im = 0.5 * std::sin(t) - 0.25 * std::sin(2.0 * t);
    } else {
        re = -1.0 + 0.25 * std::cos(t);
        im = 0.25 * std::sin(t);
    }
    const double d = std::pow(10.0, -g.uniform(1.0, 12.0));
    const double a = g.uniform(0.0, 2.0 * std::numbers::pi);
    re += d * std::cos(a);
    im += d * std::sin(a);
}

// A point inside the main cardioid whose attracting fixed point has multiplier of modulus rho,
// or inside the period-2 disc at relative radius rho. The orbit converges to its fixed point
// or 2-cycle, slowly when rho is close to 1, and in floating point usually ends up repeating
// some cycle of states exactly.
void insideComponent(Gen& g, double rho, double& re, double& im)
{
    const double t = g.uniform(0.0, 2.0 * std::numbers::pi);
    if (g.chance(0.7)) {
        const double lr = rho * std::cos(t), li = rho * std::sin(t);
        re = 0.5 * lr - 0.25 * (lr * lr - li * li);
        im = 0.5 * li - 0.25 * (2.0 * lr * li);
    } else {
        re = -1.0 + 0.25 * rho * std::cos(t);
        im = 0.25 * rho * std::sin(t);
    }
}

// Arbitrary points of the usual viewing window with arbitrary parameters.
TEST(KernelMatchesReferenceLoop, WindowPoints)
{
    Gen g(0x5eed0001);
    std::vector<Args> cases;
    for (int i = 0; i < 40000; ++i) {
        Args a;
        g.aimAt(a, g.uniform(-2.2, 0.8), g.uniform(-1.3, 1.3), g.smallIndex(), g.smallIndex());
        a.maxIt = g.maxIt();
        a.mColors = g.colours();
        a.bailout = g.bailout();
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// Near the boundary orbits take long to escape or to settle.
TEST(KernelMatchesReferenceLoop, PointsNearTheBoundary)
{
    Gen g(0x5eed0002);
    std::vector<Args> cases;
    for (int i = 0; i < 25000; ++i) {
        Args a;
        double re, im;
        nearBoundary(g, re, im);
        g.aimAt(a, re, im, g.smallIndex(), g.smallIndex());
        a.maxIt = g.chance(0.9) ? g.maxIt() : static_cast<double>(g.integer(3000, 20000));
        a.mColors = g.colours();
        a.bailout = g.chance(0.8) ? 4.0 : g.bailout();
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// Row and Col anywhere in the int32 range, in particular around -32768 and 32767.
TEST(KernelMatchesReferenceLoop, ExtremeGridIndices)
{
    Gen g(0x5eed0003);
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    auto index = [&g]() -> std::int32_t {
        switch (g.integer(0, 4)) {
        case 0: return static_cast<std::int32_t>(g.integer(-32768, -32700));
        case 1: return static_cast<std::int32_t>(g.integer(32700, 32767));
        case 2: return static_cast<std::int32_t>(g.integer(kMin, kMin + 100));
        case 3: return static_cast<std::int32_t>(g.integer(kMax - 100, kMax));
        default: return static_cast<std::int32_t>(g.integer(kMin, kMax));
        }
    };
    std::vector<Args> cases;
    for (int i = 0; i < 15000; ++i) {
        Args a;
        double re = g.uniform(-2.2, 0.8), im = g.uniform(-1.3, 1.3);
        if (g.chance(0.5))
            nearBoundary(g, re, im);
        g.aimAt(a, re, im, index(), index());
        if (g.chance(0.2)) { // the grid's own origin well away from the point
            a.rmin = g.uniform(-2.0, 2.0);
            a.imin = g.uniform(-2.0, 2.0);
            a.stepR = g.uniform(-1e-4, 1e-4);
            a.stepI = g.uniform(-1e-4, 1e-4);
        }
        a.maxIt = g.maxIt();
        a.mColors = g.colours();
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// Unusual values everywhere: far, infinite and NaN points, odd bailouts and colour counts.
TEST(KernelMatchesReferenceLoop, UnusualArguments)
{
    Gen g(0x5eed0004);
    static const double special[] = {0.0, -0.0, kNaN, kInf, -kInf, 1e300, -1e300, 1e-310,
                                     -2.0, 2.0, 0.25, -0.75, 1e154, -1e154};
    auto value = [&g]() {
        switch (g.integer(0, 3)) {
        case 0: return g.pick(special);
        case 1: return g.uniform(-4.0, 4.0);
        case 2: return g.sign() * std::exp2(g.uniform(-1074.0, 1023.0));
        default: return g.uniform(-2.0, 1.0);
        }
    };
    std::vector<Args> cases;
    for (int i = 0; i < 20000; ++i) {
        Args a;
        a.rmin = value();
        a.imin = value();
        a.rmax = value();
        a.imax = value();
        a.stepR = value();
        a.stepI = value();
        a.row = static_cast<std::int32_t>(g.integer(-3, 3));
        a.col = static_cast<std::int32_t>(g.integer(-3, 3));
        a.width = static_cast<std::int32_t>(g.integer(-5, 5));
        a.height = static_cast<std::int32_t>(g.integer(-5, 5));
        a.maxIt = g.maxIt();
        a.mColors = g.chance(0.5) ? g.colours() : value();
        a.bailout = g.chance(0.5) ? g.bailout() : value();
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// On the real axis between -2 and 1/4 orbits stay bounded; a subnormal imaginary part is
// amplified by the chaotic part of that segment until the point escapes. The passes this takes
// depend on the exact rounding of subnormal products (and on them not being flushed to zero).
TEST(KernelMatchesReferenceLoop, SubnormalImaginaryParts)
{
    Gen g(0x5eed0005);
    std::vector<Args> cases;
    for (int i = 0; i < 10000; ++i) {
        Args a;
        a.col = static_cast<std::int32_t>(g.integer(-100, 100));
        a.stepR = g.uniform(-1e-3, 1e-3);
        const double re = g.chance(0.7) ? g.uniform(-2.0, -1.4) : g.uniform(-2.0, 0.25);
        a.rmin = re - static_cast<double>(a.col) * a.stepR;
        a.row = 0; // c's imaginary part is exactly Imin
        a.stepI = g.uniform(-1.0, 1.0);
        a.imin = g.sign() * (g.chance(0.5) ? static_cast<double>(g.integer(1, 1000)) * 0x1p-1074
                                           : std::exp2(g.uniform(-1074.0, -1000.0)));
        a.maxIt = static_cast<double>(g.integer(500, 3000));
        a.mColors = g.colours();
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// Large MaxIt: points inside the set, many of them converging slowly, and points of the
// window, some of which escape only after thousands of passes.
TEST(KernelMatchesReferenceLoop, LargeMaxIt)
{
    Gen g(0x5eed0006);
    std::vector<Args> cases;
    for (int i = 0; i < 1500; ++i) {
        Args a;
        double re, im;
        switch (g.integer(0, 3)) {
        case 0: insideComponent(g, g.uniform(0.0, 1.0), re, im); break;
        case 1: insideComponent(g, 1.0 - std::pow(10.0, -g.uniform(1.0, 4.0)), re, im); break;
        case 2: nearBoundary(g, re, im); break;
        default:
            re = g.uniform(-2.0, 0.5);
            im = g.uniform(-1.25, 1.25);
        }
        g.aimAt(a, re, im, g.smallIndex(), g.smallIndex());
        a.maxIt = static_cast<double>(g.integer(5000, 100000));
        if (g.chance(0.3))
            a.maxIt += g.uniform(0.0, 1.0);
        if (g.chance(0.1))
            a.bailout = g.chance(0.5) ? std::exp2(g.uniform(-2.0, 8.0)) : kInf;
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// Just outside a parabolic point of the boundary an orbit creeps past the vanished fixed
// point or 2-cycle, changing by about the distance to the boundary each pass, for up to
// millions of passes before it escapes: nearly repeating is not repeating. Here the points
// are c = 1/4 + e (escape after about pi / sqrt(e) passes) and c = -3/4 + d i (about pi / d).
TEST(KernelMatchesReferenceLoop, SlowEscapesNearParabolicPoints)
{
    Gen g(0x5eed0008);
    std::vector<Args> cases;
    for (int i = 0; i < 16; ++i) {
        Args a;
        if (i % 2 == 0)
            g.aimAt(a, 0.25 + std::pow(10.0, -g.uniform(6.0, 12.0)), 0.0, 0, g.smallIndex());
        else
            g.aimAt(a, -0.75, g.sign() * std::pow(10.0, -g.uniform(3.0, 6.0)), 0, 0);
        a.maxIt = 2e7;
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// An orbit converging to the attracting fixed point z* = lambda / 2 of a point in the main
// cardioid (lambda its multiplier), with the bailout set within a few ulps to a few parts in
// 10^4 of |z*|^2. Whether and when it escapes is decided in the last bits of states that by
// then change very little from pass to pass.
TEST(KernelMatchesReferenceLoop, BailoutAtTheAttractor)
{
    Gen g(0x5eed0009);
    std::vector<Args> cases;
    for (int i = 0; i < 3000; ++i) {
        Args a;
        const double rho = g.chance(0.5) ? g.uniform(0.3, 0.99) : 1.0 - std::pow(10.0, -g.uniform(2.0, 4.0));
        const double t = g.chance(0.3) ? 0.0 : g.uniform(0.0, 2.0 * std::numbers::pi);
        const double lr = rho * std::cos(t), li = rho * std::sin(t);
        a.rmin = 0.5 * lr - 0.25 * (lr * lr - li * li);
        a.imin = 0.5 * li - 0.25 * (2.0 * lr * li);
        a.bailout = 0.25 * rho * rho * (1.0 + g.sign() * std::pow(10.0, -g.uniform(4.0, 16.0)));
        a.maxIt = static_cast<double>(g.integer(2000, 20000));
        cases.push_back(a);
    }
    expectKernelMatchesReference(cases);
}

// For a few dozen orbits, every whole and half MaxIt up to 700: wherever the pass count
// ends, before, on or after the pass where an orbit starts repeating or escapes, the byte
// is the same.
TEST(KernelMatchesReferenceLoop, EveryMaxItUpTo700)
{
    Gen g(0x5eed0007);
    std::vector<Args> cases;
    for (int point = 0; point < 40; ++point) {
        Args a;
        double re, im;
        if (point < 24)
            insideComponent(g, g.uniform(0.0, 0.95), re, im);
        else
            nearBoundary(g, re, im);
        g.aimAt(a, re, im, g.smallIndex(), g.smallIndex());
        a.mColors = point % 2 ? 65536.0 : -1000.0;
        if (point % 8 == 7)
            a.bailout = g.uniform(0.5, 4.0); // cuts some inside orbits short
        for (int k = 1; k <= 700; ++k) {
            for (const double fraction : {0.0, 0.5}) {
                a.maxIt = k + fraction;
                cases.push_back(a);
            }
        }
    }
    expectKernelMatchesReference(cases);
}

} // namespace
