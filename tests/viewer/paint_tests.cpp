// SPDX-License-Identifier: MIT
// Painting the grid (mLoadFractal::DrawFractal): the colour of each grid value, which grid point
// each pixel shows, points outside the grid, the picture's size and the progress bar.
#include "viewer_fixture.h"

#include "platform/controls.h"
#include "platform/picturebox.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <functional>
#include <optional>
#include <string>

using namespace viewertest;
using mLoadFractal::FractalGrid;

namespace {

class PaintTest : public ::testing::Test {
protected:
    void SetUp() override { resetModuleState(); }
    void TearDown() override { resetModuleState(); }

    // The picture as it is before the paint: every pixel `colour`.
    void preparePicture(int width, int height, QRgb colour)
    {
        box.setInnerSize(width, height);
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(colour);
        box.setPicture(picture);
        box.Cls();
    }

    void fillGrid(std::int32_t upperX, std::int32_t upperY,
                  const std::function<std::uint8_t(std::int32_t, std::int32_t)>& value)
    {
        FractalGrid.recreate(upperX, upperY);
        for (std::int32_t y = 0; y <= upperY; ++y)
            for (std::int32_t x = 0; x <= upperX; ++x)
                FractalGrid.set(x, y, value(x, y));
    }

    void paint(std::int32_t range, double maxIt, std::int16_t width, std::int16_t height)
    {
        mLoadFractal::SnapMaxIt = maxIt;
        mLoadFractal::SnapWidth = width;
        mLoadFractal::SnapHeight = height;
        mLoadFractal::DrawFractal(box, range, bar);
    }

    // With range 1 and MaxIt 1 the colour is the leading-digit code itself: red = d.
    int shownCode(int x, int y) { return qRed(box.image().pixel(x, y)); }

    platform::PictureBox box;
    platform::ProgressBar bar;
};

} // namespace

// The colour index of a grid value is the code of its first decimal digit, in the table that
// painting reads. Pins an intended behaviour (docs/behaviour.md): only the leading digit counts.
TEST_F(PaintTest, ColourIndexIsTheLeadingDigitCode)
{
    struct Case {
        std::uint8_t value;
        int code;
    };
    const std::array<Case, 12> cases{{{0, 48}, {1, 49}, {7, 55}, {9, 57}, {10, 49}, {19, 49},
                                      {99, 57}, {100, 49}, {199, 49}, {200, 50}, {209, 50}, {255, 50}}};
    for (const Case& c : cases)
        EXPECT_EQ(mLoadFractal::digitCode(mLoadFractal::kLeadingDigit[c.value]), c.code) << int(c.value);

    // The same through a paint: one grid point per case in row 1.
    fillGrid(static_cast<std::int32_t>(cases.size()), 1, [&](std::int32_t x, std::int32_t y) {
        return y == 1 && x >= 1 ? cases[static_cast<std::size_t>(x - 1)].value : std::uint8_t{0};
    });
    preparePicture(static_cast<int>(cases.size()), 1, qRgb(1, 2, 3));
    paint(1, 1.0, static_cast<std::int16_t>(cases.size()), 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(shownCode(static_cast<int>(i), 0), cases[i].code) << int(cases[i].value);
        EXPECT_EQ(qGreen(box.image().pixel(static_cast<int>(i), 0)), 0);
        EXPECT_EQ(qBlue(box.image().pixel(static_cast<int>(i), 0)), 0);
    }
}

struct ColourCase {
    const char* name;
    std::uint8_t value;
    std::int32_t range;
    double maxIt;
    std::optional<std::array<int, 3>> rgb; // none: the pixel keeps its colour
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name; }

class PaintColourTest : public PaintTest, public ::testing::WithParamInterface<ColourCase> {};

// colour = (range / MaxIt) * code, rounded half to even to 32 bits; red = low byte,
// green = next byte, blue = third byte / 65535. A colour beyond 32 bits sets no pixel. Pins an
// intended behaviour (docs/behaviour.md): the division by 65535 and the pixels left unset.
TEST_P(PaintColourTest, GridValueGivesItsColour)
{
    const ColourCase& c = GetParam();
    const QRgb before = qRgb(1, 2, 3);
    fillGrid(4, 3, [&](std::int32_t, std::int32_t) { return c.value; });
    preparePicture(3, 2, before);
    paint(c.range, c.maxIt, 3, 2);
    const QRgb expected = c.rgb ? qRgb((*c.rgb)[0], (*c.rgb)[1], (*c.rgb)[2]) : before;
    ASSERT_EQ(box.image().size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const QRgb p = box.image().pixel(x, y);
            EXPECT_EQ(std::make_tuple(qRed(p), qGreen(p), qBlue(p)),
                      std::make_tuple(qRed(expected), qGreen(expected), qBlue(expected)))
                << "pixel (" << x << ", " << y << ")";
        }
}

INSTANTIATE_TEST_SUITE_P(
    Colours, PaintColourTest,
    ::testing::Values(
        // The default range and MaxIt.
        ColourCase{"InsideTheSet", 0, 5000000, 259, std::array{177, 35, 14}},
        ColourCase{"Value255", 255, 5000000, 259, std::array{131, 186, 14}},
        // 1193046 / 48 * 48 = 0x123456.
        ColourCase{"ThreeBytes", 0, 1193046, 48, std::array{0x56, 0x34, 0x12}},
        // 49 / 2 = 24.5 and 51 / 2 = 25.5: halves go to the even neighbour.
        ColourCase{"HalfRoundsDownToEven", 1, 1, 2, std::array{24, 0, 0}},
        ColourCase{"HalfRoundsUpToEven", 3, 1, 2, std::array{26, 0, 0}},
        // 2147483647 / 52 * 52 is the largest 32-bit value; * 53 is beyond it.
        ColourCase{"LargestColour", 4, 2147483647, 52, std::array{255, 255, 255}},
        ColourCase{"ColourBeyond32Bits", 5, 2147483647, 52, std::nullopt},
        // A negative colour is taken bit for bit: -926641 = 0xFFF1DC4F.
        ColourCase{"NegativeMaxIt", 0, 5000000, -259, std::array{0x4F, 0xDC, 241}},
        ColourCase{"RangeZero", 255, 0, 259, std::array{0, 0, 0}},
        ColourCase{"MaxItZero", 7, 5000000, 0, std::nullopt},
        ColourCase{"RangeAndMaxItZero", 7, 0, 0, std::nullopt}),
    [](const ::testing::TestParamInfo<ColourCase>& info) { return std::string(info.param.name); });

// Pixel (x, y) shows grid point (x + 1, y + 1); the grid's row 0 and column 0 are never shown,
// and the picture takes the snapshot's size whatever size it had. Pins an intended behaviour
// (docs/behaviour.md): the shift by one point.
TEST_F(PaintTest, PixelShowsTheGridPointBelowRightOfIt)
{
    // Row and column 0 hold 9 (code 57); every other point a digit from 0 to 8.
    auto value = [](std::int32_t x, std::int32_t y) {
        return static_cast<std::uint8_t>(x == 0 || y == 0 ? 9 : (x * 3 + y) % 9);
    };
    fillGrid(6, 5, value);
    preparePicture(41, 17, qRgb(1, 2, 3));
    paint(1, 1.0, 5, 4);
    ASSERT_EQ(box.image().size(), QSize(5, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(shownCode(x, y), 48 + value(x + 1, y + 1)) << "pixel (" << x << ", " << y << ")";
}

// A point outside the grid takes the colour of the point painted before it, across rows too.
TEST_F(PaintTest, PointsOutsideTheGridRepeatThePreviousColour)
{
    fillGrid(3, 2, [](std::int32_t x, std::int32_t y) { return static_cast<std::uint8_t>(x + 3 * y); });
    preparePicture(6, 4, qRgb(1, 2, 3));
    paint(1, 1.0, 6, 4);
    const int expected[4][6] = {
        {52, 53, 54, 54, 54, 54}, // grid row 1: 4 5 6, then 6 again
        {55, 56, 57, 57, 57, 57}, // grid row 2: 7 8 9, then 9 again
        {57, 57, 57, 57, 57, 57}, // rows 3 and 4 lie outside: the last colour, 9
        {57, 57, 57, 57, 57, 57},
    };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(shownCode(x, y), expected[y][x]) << "pixel (" << x << ", " << y << ")";
}

// With no grid at all every point repeats the colour before the first one: 0, black.
TEST_F(PaintTest, WithoutGridEveryPixelIsBlack)
{
    ASSERT_TRUE(FractalGrid.empty());
    preparePicture(4, 3, qRgb(255, 255, 255));
    paint(5000000, 259, 4, 3);
    QImage black(4, 3, QImage::Format_RGB32);
    black.fill(qRgb(0, 0, 0));
    EXPECT_TRUE(sameImage(box.image(), black));
}

TEST_F(PaintTest, ProgressEndsAtZeroWithMaximumOfHeightPlusOne)
{
    fillGrid(12, 9, [](std::int32_t, std::int32_t) { return std::uint8_t{3}; });
    preparePicture(10, 7, qRgb(1, 2, 3));
    float highest = 0;
    QObject::connect(&bar, &QProgressBar::valueChanged, &bar, [&] { highest = std::max(highest, bar.Value()); });
    paint(5000000, 259, 10, 7);
    EXPECT_EQ(bar.Max(), 8.0f);
    EXPECT_EQ(bar.Value(), 0.0f);
    EXPECT_EQ(highest, 8.0f); // one step per painted row, rows 0..7
}

// A picture larger than the memory the program may have: the paint goes on as far as it can,
// the render ends, and the user is told that the picture could not be made, rather than being
// shown an incomplete picture as if all were well. Run in a child process that may have 700 MB
// more than it uses now: enough for the grid of 256 MB, not for the picture of 1 GB. The limit
// is on the address space, or, where the address sanitizer reserves a huge one of its own, on
// the size of any one allocation.
namespace {

void limitAddressSpace()
{
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (rlim_t{700} << 20);
    const rlimit addressSpace{limit, limit};
    setrlimit(RLIMIT_AS, &addressSpace);
}

[[noreturn]] void renderBeyondMemory()
{
    if (!kAddressSanitizer)
        limitAddressSpace();

    kernelbinding::setLibraryPaths({QStringLiteral(ZORVAKEL_LIBRARY_PATH)});
    std::vector<ReportedError> seen;
    platform::setErrorReporter([&](const platform::RuntimeError& e) {
        seen.push_back({e.kind(), QString::fromUtf8(e.what())});
    });
    form1 window;
    window.Form_Load();
    window.txtWidth->setText(QStringLiteral("16000"));
    window.txtHeight->setText(QStringLiteral("16000"));
    window.txtMaxIt->setText(QStringLiteral("1"));
    platform::runEventProcedure([&] { window.cmdRender_Click(); });

    const bool told = seen.size() == 1 && seen[0].kind == platform::ErrorKind::OutOfMemory &&
                      seen[0].message.contains(QStringLiteral("16000"));
    std::fprintf(stderr, "errors %zu, status %s\n", seen.size(), qPrintable(window.lblProcess->Caption()));
    std::_Exit(told && window.lblProcess->Caption() == QStringLiteral("None") ? 0 : 1);
}

} // namespace

TEST(PaintWithoutMemory, TellsTheUserThePictureCouldNotBeMade)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child is this program started again: it reads the sanitizer's options anew.
    const char* const inherited = std::getenv("ASAN_OPTIONS");
    const std::string saved = inherited ? inherited : "";
    if (kAddressSanitizer)
        setenv("ASAN_OPTIONS", (saved + ":allocator_may_return_null=1:max_allocation_size_mb=700").c_str(), 1);
    EXPECT_EXIT(renderBeyondMemory(), ::testing::ExitedWithCode(0), "errors 1, status None");
    if (inherited)
        setenv("ASAN_OPTIONS", saved.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
}
