// SPDX-License-Identifier: MIT
// Known colour indices of the kernel, each worked out by hand from the escape-time rule:
// a point escaping on pass n < MaxIt gets the low byte of trunc((MColors / MaxIt) * n).
#include "zorvakel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// One argument block of Mandelbrot(); defaults are the viewer's usual settings.
struct Call {
    double rmin = 0.0;
    double rmax = 1.0;
    double imin = 0.0;
    double imax = 1.0;
    double maxIt = 259.0;
    double mColors = 65536.0;
    std::int32_t width = 640;
    std::int32_t height = 480;
    std::int32_t row = 0;
    std::int32_t col = 0;
    double bailout = 4.0;
    double stepR = 0.01;
    double stepI = 0.01;
};

std::uint8_t run(const Call& c)
{
    return Mandelbrot(c.rmin, c.rmax, c.imin, c.imax, c.maxIt, c.mColors, c.width, c.height,
                      c.row, c.col, c.bailout, c.stepR, c.stepI);
}

// The call for the single point c = re + im*i (grid point 0, 0).
Call at(double re, double im, Call base = {})
{
    base.rmin = re;
    base.imin = im;
    base.row = 0;
    base.col = 0;
    return base;
}

struct Case {
    std::string name;
    Call call;
    int expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// With MaxIt 259 and 65536 colours, escaping on pass n gives the low byte of
// trunc(253.0347... * n): 1 -> 253, 2 -> 250, 3 -> 247, 4 -> 244, 5 -> 241, 6 -> 238,
// 31 -> 164, 34 -> 155, 258 -> 2.
std::vector<Case> knownCases()
{
    return {
        // Points inside the set never escape.
        {"Origin", at(0, 0), 0},
        {"MinusOneTwoCycle", at(-1, 0), 0},
        {"TipOnBailoutCircle", at(-2, 0), 250}, // |z|^2 == 4 on pass 2 escapes
        {"TwoPlusTwoI", at(2, 2), 250},
        {"One", at(1, 0), 247},
        {"ThreeQuarters", at(0.75, 0), 244},
        {"PointSix", at(0.6, 0), 241},
        {"OneHalf", at(0.5, 0), 238},
        {"PointTwoSix", at(0.26, 0), 164},
        {"SeahorseValley", at(-0.75, 0.1), 155},
        // 0.250147 escapes on pass 258 (found by bisection along the real axis).
        {"EscapeOnPass258", at(0.250147, 0), 2},
        {"EscapeOnPass258ReachesMaxIt258", at(0.250147, 0, {.maxIt = 258}), 0},

        // MaxIt <= 1 stops every point on pass 1, escaping or not.
        {"MaxItOneEscapingPoint", at(2, 2, {.maxIt = 1}), 0},
        {"MaxItOneBailoutNaN", at(0, 0, {.maxIt = 1, .bailout = kNaN}), 0},
        {"MaxItHalf", at(2, 2, {.maxIt = 0.5, .bailout = kNaN}), 0},
        {"MaxItZero", at(-2, 0, {.maxIt = 0, .bailout = -1}), 0},
        {"MaxItNegative", at(2, 2, {.maxIt = -3, .bailout = 0}), 0},
        {"MaxItMinusInfinity", at(2, 2, {.maxIt = -kInf, .bailout = 0}), 0},
        // With bailout 4 nothing escapes before pass 2, so MaxIt 2 gives 0 everywhere.
        {"MaxItTwoEscapeOnPass2", at(2, 2, {.maxIt = 2}), 0},
        {"MaxItTwoFarPoint", at(1e6, -1e6, {.maxIt = 2}), 0},
        // A fractional MaxIt acts as its ceiling: 2.5 lets pass 2 escape, not pass 3.
        {"MaxItTwoAndAHalfEscapeOnPass2", at(2, 2, {.maxIt = 2.5}), 204}, // 52428.8
        {"MaxItTwoAndAHalfEscapeOnPass3", at(1, 0, {.maxIt = 2.5}), 0},
        {"MaxItThreeEscapeOnPass3", at(1, 0, {.maxIt = 3}), 0},
        {"MaxItJustAboveThree", at(1, 0, {.maxIt = 3.0000001}), 255}, // 65535.99...
        // MaxIt that is never reached: escaping points still end, with v = NaN or 0.
        {"MaxItNaN", at(-2, 0, {.maxIt = kNaN}), 0},
        {"MaxItInfinity", at(-2, 0, {.maxIt = kInf, .mColors = 1e300}), 0},
        {"MaxItHuge", at(-2, 0, {.maxIt = 1e10, .mColors = 1e12}), 200},

        // Inside points with MaxIt as large as the pass counter can reach (it counts exactly
        // up to 2^53): the loop ends, with 0, however long it takes to get there.
        {"InsideFixedPointMaxIt2Pow53", at(0.249, 0, {.maxIt = 0x1p53}), 0},
        {"InsideCycleMaxIt2Pow53", at(0.3, 0.5, {.maxIt = 0x1p53}), 0},
        {"InsidePeriod6MaxIt2Pow53", at(-1.76, 0, {.maxIt = 0x1p53}), 0},
        {"InsideFractionalMaxItBelow2Pow53", at(-0.5, 0, {.maxIt = 0x1p51 + 0.5}), 0},

        // The colour: quotient first, then times n, truncated toward zero, low byte.
        // (1002 / 62) * 31 = 500.99999999999994 -> 500, where 1002 * 31 / 62 would be 501.
        {"QuotientTakenFirst", at(0.26, 0, {.maxIt = 62, .mColors = 1002}), 244},
        {"NegativeColoursTruncateTowardZero", at(-2, 0, {.mColors = -65536}), 6}, // -506.07
        {"LargeColourIndexKeepsLowByte",
         at(-2, 0, {.maxIt = 4, .mColors = 0x1p53 + 14}), 7}, // v = 2^52 + 7
        {"ColoursNaN", at(-2, 0, {.mColors = kNaN}), 0},
        {"ColoursInfinity", at(-2, 0, {.mColors = kInf}), 0},
        {"ColoursMinusInfinity", at(-2, 0, {.mColors = -kInf}), 0},
        {"ColourBeyondInt64", at(-2, 0, {.maxIt = 4, .mColors = 0x1p70 + 0x1p20}), 0},
        {"ColourBeyondInt64Negative", at(-2, 0, {.maxIt = 4, .mColors = -0x1p70}), 0},

        // Bailout: the test is m < Bailout, so 0, negative and NaN escape on pass 1.
        // For c = 0 the state would be (0, 0) again after that pass: escaping comes first.
        {"BailoutZeroEscapesOnPass1", at(0, 0, {.bailout = 0}), 253},
        {"BailoutNegativeEscapesOnPass1", at(-1, 0, {.bailout = -1}), 253},
        {"BailoutNaNEscapesOnPass1", at(0, 0, {.bailout = kNaN}), 253},
        {"BailoutMinusInfinity", at(0, 0, {.bailout = -kInf}), 253},
        {"Bailout100", at(2, 2, {.bailout = 100}), 247}, // |z|^2 = 8, then 104
        // z = 0, -2, 2, 2, ...: just above 4 the fixed point 2 is kept forever.
        {"FixedPointJustInsideBailout", at(-2, 0, {.bailout = std::nextafter(4.0, 5.0)}), 0},
        // Bailout infinity: an orbit that overflows still escapes (inf < inf is false).
        {"BailoutInfinityOverflow", at(1e200, 0, {.bailout = kInf}), 250},
        {"BailoutInfinityInside", at(-1, 0, {.bailout = kInf}), 0},

        // A NaN point: the state turns NaN on pass 1 and escapes on pass 2, even though
        // the NaN state is the same bits every pass.
        {"NaNRealPart", at(kNaN, 0), 250},
        {"NaNImaginaryPart", at(0, kNaN), 250},
        {"NaNPoint", at(kNaN, kNaN), 250},
        {"InfinitePoint", at(kInf, 0), 250},

        // Grid mapping: c = Col*StepR + Rmin, Row*StepI + Imin, indices taken as they are.
        {"NegativeRowAndColumn",
         {.rmin = 0, .imin = 2, .row = -4, .col = -8, .stepR = 0.25, .stepI = 0.5}, 250},
        {"ExtremeRowAndColumn",
         {.rmin = 0, .imin = -32767 * 0x1p-20, .row = 32767, .col = -32768,
          .stepR = 0x1p-14, .stepI = 0x1p-20},
         250}, // c = -2 exactly
        {"GridPointInsideSet",
         {.rmin = -2, .imin = -1.25, .row = 250, .col = 300, .stepR = 2.5 / 639,
          .stepI = 2.5 / 479},
         0},
        // c = -1 (inside); swapping Row and Col, or the steps, would land outside.
        {"GridPointRowIsImaginaryColIsReal",
         {.rmin = -1, .imin = -4, .row = 2, .col = 0, .stepR = 1, .stepI = 2}, 0},
    };
}

class KernelKnownCases : public testing::TestWithParam<Case> {};

TEST_P(KernelKnownCases, GivesExpectedColourIndex)
{
    EXPECT_EQ(static_cast<int>(run(GetParam().call)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, KernelKnownCases, testing::ValuesIn(knownCases()),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Beyond 2^53 (infinity included) the pass counter, which stops growing at 2^53, never reaches
// MaxIt, and n >= MaxIt never holds for a NaN MaxIt; but an inside point whose orbit comes back
// to a state it was in never escapes, and its colour index is 0, as for any point that never
// escapes. Without that the program would hang on a MaxIt typed as 1e20. For NaN the kernel
// must not leave the result to the compiler, which may take an endless loop without side
// effects for one that ends: the same rule decides it under every compiler.
TEST(KernelUnreachableMaxIt, InsidePointWithARepeatingOrbitGivesZero)
{
    for (const double maxIt : {kNaN, -kNaN, kInf, 0x1p53 + 2, 1e20, 1e300})
        for (const Call& call : {at(-1, 0, {.maxIt = maxIt}), at(0.3, 0.5, {.maxIt = maxIt}),
                                 at(0, 0, {.maxIt = maxIt})})
            EXPECT_EQ(run(call), 0) << "MaxIt " << maxIt << ", c = " << call.rmin << " + " << call.imin << "i";
}

// ... while an escaping point still returns, with v = (MColors / MaxIt) * n.
TEST(KernelUnreachableMaxIt, EscapingPointStillReturns)
{
    EXPECT_EQ(run(at(-2, 0, {.maxIt = kNaN})), 0);                        // v is NaN
    EXPECT_EQ(run(at(-2, 0, {.maxIt = 0x1p53 + 2, .mColors = 0x1p55 + 8})), 8); // 4 * 2
    EXPECT_EQ(run(at(-2, 0, {.maxIt = 0x1p60, .mColors = 0x1p65})), 64);          // 32 * 2
    EXPECT_EQ(run(at(0.250147, 0, {.maxIt = kInf, .mColors = kInf})), 0);  // v is NaN
}

// Rmax, Imax, ImageWidth and ImageHeight are passed along by the viewer but must not change
// any result, whatever their values.
TEST(KernelUnusedArguments, DoNotChangeTheResult)
{
    struct Unused {
        double rmax, imax;
        std::int32_t width, height;
    };
    const Unused variants[] = {
        {kNaN, kNaN, 0, 0},
        {-kInf, kInf, -1, -1},
        {1e300, -1e300, std::numeric_limits<std::int32_t>::min(),
         std::numeric_limits<std::int32_t>::max()},
        {-2.0, -1.25, 1, 1},
        {0.0, -0.0, 640, 480},
    };
    for (const Case& c : knownCases()) {
        SCOPED_TRACE(c.name);
        for (const Unused& u : variants) {
            Call call = c.call;
            call.rmax = u.rmax;
            call.imax = u.imax;
            call.width = u.width;
            call.height = u.height;
            EXPECT_EQ(static_cast<int>(run(call)), c.expected);
        }
    }
}

} // namespace
