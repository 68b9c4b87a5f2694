// SPDX-License-Identifier: MIT
// Picture boxes: the persistent image and its size, Cls, Line, Refresh, and the mouse events.
#include "platform/picturebox.h"
#include "test_support.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <set>
#include <utility>
#include <vector>

namespace platform {
namespace {

using test::PaintCounter;
using test::raised;
using Point = std::pair<int, int>;

// A distinct value for every pixel, so any misplaced pixel shows.
QRgb patternAt(int x, int y)
{
    return qRgb((x * 37 + y * 11) & 0xFF, (x * 5 + y * 71) & 0xFF, (x ^ y) & 0xFF);
}

void paintPattern(PictureBox& box)
{
    QImage* surface = box.hDC()->surface;
    for (int y = 0; y < surface->height(); ++y)
        for (int x = 0; x < surface->width(); ++x)
            surface->setPixel(x, y, patternAt(x, y));
}

std::set<Point> pixelsOf(const QImage& image, QRgb colour)
{
    std::set<Point> found;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour)
                found.insert({x, y});
    return found;
}

// ---- Size ----------------------------------------------------------------------------------

TEST(PictureBoxSize, ImageFollowsTheWidgetAlsoWhileHidden)
{
    PictureBox box;
    ASSERT_FALSE(box.isVisible());
    for (const QSize size : {QSize(50, 30), QSize(320, 240), QSize(7, 300), QSize(1, 1)}) {
        box.resize(size);
        EXPECT_EQ(box.image().size(), size);
        EXPECT_EQ(box.ScaleWidth(), static_cast<float>(size.width()));
        EXPECT_EQ(box.ScaleHeight(), static_cast<float>(size.height()));
        EXPECT_EQ(box.hDC()->surface->size(), size) << "the device context draws into the image";
        EXPECT_EQ(box.imageHandle()->image->size(), size);
    }
}

TEST(PictureBoxSize, ImageFollowsTheWidgetWhileShown)
{
    QWidget window;
    window.resize(400, 300);
    PictureBox box(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    box.resize(123, 45);
    EXPECT_EQ(box.image().size(), QSize(123, 45));
    EXPECT_EQ(box.image().format(), QImage::Format_RGB32);
}

struct TwipsCase {
    float widthTwips, heightTwips;
    QSize pixels;
};

class PictureBoxTwips : public ::testing::TestWithParam<TwipsCase> {};

TEST_P(PictureBoxTwips, FifteenTwipsToThePixel)
{
    const TwipsCase& c = GetParam();
    PictureBox box;
    box.setOuterWidthTwips(c.widthTwips);
    box.setOuterHeightTwips(c.heightTwips);
    EXPECT_EQ(box.size(), c.pixels);
    if (c.pixels.isEmpty()) {
        EXPECT_TRUE(box.image().isNull());
        EXPECT_EQ(box.ScaleWidth(), 0.0f);
        EXPECT_EQ(box.ScaleHeight(), 0.0f);
    } else {
        EXPECT_EQ(box.image().size(), c.pixels);
        EXPECT_EQ(box.ScaleWidth(), static_cast<float>(c.pixels.width()));
        EXPECT_EQ(box.ScaleHeight(), static_cast<float>(c.pixels.height()));
    }
}

INSTANTIATE_TEST_SUITE_P(PictureBox, PictureBoxTwips,
                         ::testing::Values(TwipsCase{4800.0f, 3600.0f, QSize(320, 240)},
                                           TwipsCase{4815.0f, 3615.0f, QSize(321, 241)},
                                           TwipsCase{15.0f, 15.0f, QSize(1, 1)},
                                           TwipsCase{4807.0f, 3608.0f, QSize(320, 241)},
                                           TwipsCase{0.0f, 3600.0f, QSize(0, 240)}));

class PictureBoxBadTwips : public ::testing::TestWithParam<float> {};

TEST_P(PictureBoxBadTwips, RaiseInvalidPropertyValueAndKeepTheBox)
{
    PictureBox box;
    box.setOuterWidthTwips(4800.0f);
    box.setOuterHeightTwips(3600.0f);
    paintPattern(box);
    const QImage before = box.image().copy();

    for (const bool width : {true, false}) {
        const auto error = raised([&] {
            if (width)
                box.setOuterWidthTwips(GetParam());
            else
                box.setOuterHeightTwips(GetParam());
        });
        ASSERT_TRUE(error) << (width ? "width " : "height ") << GetParam();
        EXPECT_EQ(error->kind(), ErrorKind::InvalidPropertyValue);
    }
    EXPECT_EQ(box.size(), QSize(320, 240));
    EXPECT_EQ(box.image(), before);
}

INSTANTIATE_TEST_SUITE_P(PictureBox, PictureBoxBadTwips,
                         ::testing::Values(-15.0f, -4800.0f, -1.0f, -0.5f,
                                           std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity(), 1e30f));

TEST(PictureBoxSize, AnImageTooLargeToAllocateRaisesOutOfMemoryAndKeepsTheBox)
{
    PictureBox box;
    box.setInnerSize(40, 30);
    paintPattern(box);
    const QImage before = box.image().copy();
    const auto error = raised([&] { box.setInnerSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), ErrorKind::OutOfMemory);
    EXPECT_EQ(box.size(), QSize(40, 30));
    EXPECT_EQ(box.image(), before);
}

TEST(PictureBoxSize, ResizingKeepsTheOverlapOfTheOldPixels)
{
    PictureBox box;
    box.setOuterWidthTwips(60 * 15.0f);
    box.setOuterHeightTwips(40 * 15.0f);
    paintPattern(box);
    const QRgb background = box.backColor().rgb();

    for (const QSize size : {QSize(90, 50), QSize(30, 45), QSize(75, 20)}) {
        const QImage old = box.image().copy();
        box.setOuterWidthTwips(size.width() * 15.0f);
        box.setOuterHeightTwips(size.height() * 15.0f);
        const QImage& now = box.image();
        ASSERT_EQ(now.size(), size);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const bool overlap = x < old.width() && y < old.height();
                ASSERT_EQ(now.pixel(x, y), overlap ? old.pixel(x, y) : background)
                    << "at " << x << "," << y << " after resizing to " << size.width() << "x" << size.height();
            }
    }
}

// ---- Cls -----------------------------------------------------------------------------------

class PictureBoxCls : public ::testing::Test {
protected:
    void SetUp() override
    {
        box.setInnerSize(32, 24);
        background = box.backColor().rgb();
    }

    QImage pattern(QSize size, QImage::Format format)
    {
        QImage image(size, format);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, patternAt(x + 3, y + 5));
        return image;
    }

    PictureBox box;
    QRgb background = 0;
};

TEST_F(PictureBoxCls, FillsWithTheBackgroundColourWithoutAPicture)
{
    paintPattern(box);
    box.Cls();
    EXPECT_EQ(pixelsOf(box.image(), background).size(), 32u * 24u);
}

TEST_F(PictureBoxCls, RestoresThePictureExactlyEveryTime)
{
    const QImage picture = pattern(QSize(32, 24), QImage::Format_RGB32);
    box.setPicture(picture);
    for (int round = 0; round < 3; ++round) {
        box.Line(0, 0, 31, 23, 0x00FFFFFF);
        paintPattern(box);
        box.Cls();
        ASSERT_EQ(box.image(), picture) << "round " << round;
    }
    // Drawing after Cls changes the box, never the picture it restores.
    box.Line(0, 5, 31, 5, 0x000000FF);
    box.Cls();
    EXPECT_EQ(box.image(), picture);
}

TEST_F(PictureBoxCls, RestoresAPictureOfAnotherFormatPixelForPixel)
{
    const QImage picture = pattern(QSize(32, 24), QImage::Format_ARGB32);
    box.setPicture(picture);
    paintPattern(box);
    box.Cls();
    EXPECT_EQ(box.image().format(), QImage::Format_RGB32) << "the device layer needs 32-bit RGB";
    EXPECT_EQ(box.image(), picture.convertToFormat(QImage::Format_RGB32));
}

TEST_F(PictureBoxCls, ASmallerPictureLeavesTheRestInTheBackgroundColour)
{
    const QImage picture = pattern(QSize(10, 8), QImage::Format_RGB32);
    box.setPicture(picture);
    paintPattern(box);
    box.Cls();
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(box.image().pixel(x, y), x < 10 && y < 8 ? picture.pixel(x, y) : background)
                << x << "," << y;
}

TEST_F(PictureBoxCls, ThePictureTakenFromTheBoxSurvivesLaterDrawing)
{
    // The zoom selection keeps the box's own image as its picture and draws over it.
    paintPattern(box);
    const QImage original = box.image().copy();
    box.setPicture(box.image());
    box.Line(0, 0, 31, 0, 0x00000000);
    box.hDC()->surface->setPixel(5, 5, qRgb(1, 2, 3));
    box.Cls();
    EXPECT_EQ(box.image(), original);
}

// ---- Line ----------------------------------------------------------------------------------

struct LineCase {
    const char* name;
    float x1, y1, x2, y2;
    std::vector<Point> expected;
};

std::vector<Point> row(int y, int from, int to)
{
    std::vector<Point> points;
    for (int x = from; x <= to; ++x)
        points.push_back({x, y});
    return points;
}

std::vector<Point> column(int x, int from, int to)
{
    std::vector<Point> points;
    for (int y = from; y <= to; ++y)
        points.push_back({x, y});
    return points;
}

class PictureBoxLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(PictureBoxLine, DrawsTheOnePixelLineIncludingBothEnds)
{
    const LineCase& c = GetParam();
    PictureBox box;
    box.setInnerSize(10, 8);
    box.Cls();
    const QRgb background = box.backColor().rgb();
    box.Line(c.x1, c.y1, c.x2, c.y2, 0x00336699);
    const QRgb drawn = qRgb(0x99, 0x66, 0x33); // 0x00BBGGRR
    const std::set<Point> expected(c.expected.begin(), c.expected.end());
    EXPECT_EQ(pixelsOf(box.image(), drawn), expected);
    EXPECT_EQ(pixelsOf(box.image(), background).size(), 80u - expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    PictureBox, PictureBoxLine,
    ::testing::Values(
        LineCase{"Horizontal", 2, 3, 6, 3, row(3, 2, 6)},
        LineCase{"HorizontalBackwards", 6, 3, 2, 3, row(3, 2, 6)},
        LineCase{"Vertical", 4, 1, 4, 6, column(4, 1, 6)},
        LineCase{"Diagonal", 0, 0, 7, 7, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}}},
        LineCase{"AntiDiagonalBackwards", 7, 0, 0, 7, {{7, 0}, {6, 1}, {5, 2}, {4, 3}, {3, 4}, {2, 5}, {1, 6}, {0, 7}}},
        LineCase{"Shallow", 0, 0, 6, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}}},
        LineCase{"SinglePoint", 3, 5, 3, 5, {{3, 5}}},
        LineCase{"BottomRightCorner", 9, 7, 9, 7, {{9, 7}}},
        LineCase{"ClippedBothEnds", -5, 2, 20, 2, row(2, 0, 9)},
        LineCase{"ClippedVertically", 9, -100, 9, 100, column(9, 0, 7)},
        LineCase{"FromOutsideInto", -3, 4, 2, 4, row(4, 0, 2)},
        LineCase{"WhollyOutside", -5, -5, -1, -1, {}},
        LineCase{"BelowTheBox", 0, 8, 9, 8, {}},
        LineCase{"FractionalCoordinatesRound", 1.4f, 2.6f, 3.4f, 2.6f, row(3, 1, 3)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PictureBoxLineColour, UsesTheRedGreenBlueBytesOfTheColourValue)
{
    PictureBox box;
    box.setInnerSize(4, 4);
    for (const auto& [colour, pixel] : std::vector<std::pair<std::uint32_t, QRgb>>{
             {0x000000FF, qRgb(255, 0, 0)}, {0x0000FF00, qRgb(0, 255, 0)},
             {0x00FF0000, qRgb(0, 0, 255)}, {0x00000000, qRgb(0, 0, 0)},
             {0x00FFFFFF, qRgb(255, 255, 255)}, {0xFF123456, qRgb(0x56, 0x34, 0x12)}}) {
        box.Line(1, 1, 1, 1, colour);
        EXPECT_EQ(box.image().pixel(1, 1), pixel) << std::hex << colour;
    }
}

// A steep line has exactly one pixel in every row between its ends, each next to the last.
TEST(PictureBoxLineShape, SteepLinesAreConnectedWithOnePixelPerRow)
{
    PictureBox box;
    box.setInnerSize(20, 40);
    box.Cls();
    box.Line(2, 1, 11, 38, 0x0000FF00);
    const auto drawn = pixelsOf(box.image(), qRgb(0, 255, 0));
    ASSERT_EQ(drawn.size(), 38u);
    int lastX = -1;
    for (int y = 1; y <= 38; ++y) {
        int inRow = 0, x = -1;
        for (const auto& [px, py] : drawn)
            if (py == y) {
                ++inRow;
                x = px;
            }
        ASSERT_EQ(inRow, 1) << "row " << y;
        if (lastX >= 0) {
            EXPECT_TRUE(x == lastX || x == lastX + 1) << "row " << y;
        }
        lastX = x;
    }
    EXPECT_TRUE(drawn.count({2, 1}) && drawn.count({11, 38}));
}

// ---- Refresh -------------------------------------------------------------------------------

// A 60 x 40 box at (10, 20) of a shown 120 x 100 window, and what the screen shows of it.
struct BoxOnScreen {
    QWidget window;
    PictureBox box{&window};

    BoxOnScreen()
    {
        window.resize(120, 100);
        box.setInnerSize(60, 40);
        box.move(10, 20);
        window.show();
    }

    // The box's part of the window as the screen shows it now, one pixel per box pixel.
    QImage shown() const
    {
        const QImage screen = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        if (screen.isNull())
            return {};
        const qreal ratio = screen.devicePixelRatio();
        QImage part(box.size(), QImage::Format_RGB32);
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x)
                part.setPixel(x, y, screen.pixel(int((box.x() + x) * ratio), int((box.y() + y) * ratio)));
        return part;
    }
};

TEST(PictureBoxRefresh, PutsTheImageOnScreenBeforeReturning)
{
    BoxOnScreen s;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
    s.box.Cls();
    s.box.Refresh();
    QCoreApplication::processEvents();

    PaintCounter paints(&s.box);
    s.box.Line(0, 10, 59, 10, 0x000000FF);
    s.box.Refresh();
    EXPECT_EQ(paints.count, 1) << "Refresh paints at once, without the event loop";

    // What the window shows now, still without returning to the event loop.
    const QImage shown = s.shown();
    ASSERT_FALSE(shown.isNull());
    for (int x = 0; x < 60; ++x)
        ASSERT_EQ(shown.pixel(x, 10), qRgb(255, 0, 0)) << x;
    EXPECT_NE(shown.pixel(5, 5), qRgb(255, 0, 0));
}

TEST(PictureBoxRefresh, ShowsWhatWasDrawnInAGrab)
{
    PictureBox box;
    box.setInnerSize(30, 20);
    box.Cls();
    box.Line(0, 19, 29, 19, 0x0000FF00);
    box.Refresh(); // hidden: nothing to paint, and no harm
    const QImage grabbed = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(grabbed.size(), QSize(30, 20));
    EXPECT_EQ(grabbed, box.image());
}

// Every change of the image reaches the screen once the event loop runs, without a Refresh:
// clearing, line drawing, and drawing through the device context or into the bitmap.
struct ScreenCase {
    const char* name;
    void (*change)(PictureBox& box);
};

void PrintTo(const ScreenCase& c, std::ostream* out)
{
    *out << c.name;
}

class PictureBoxScreen : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(PictureBoxScreen, FollowsTheImageWithoutARefresh)
{
    BoxOnScreen s;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.window));
    paintPattern(s.box);
    s.box.setPicture(s.box.image().copy()); // what Cls brings back
    s.box.Line(0, 0, 59, 39, 0x00FFFFFF);
    s.box.Refresh();
    QCoreApplication::processEvents();

    GetParam().change(s.box);
    const QImage expected = s.box.image().copy();
    QCoreApplication::processEvents();

    const QImage shown = s.shown();
    ASSERT_FALSE(shown.isNull());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            ASSERT_EQ(shown.pixel(x, y), expected.pixel(x, y)) << "pixel " << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, PictureBoxScreen,
    ::testing::Values(
        ScreenCase{"ClsBringsBackThePicture", [](PictureBox& box) { box.Cls(); }},
        ScreenCase{"Line", [](PictureBox& box) { box.Line(59, 0, 0, 39, 0x000000FF); }},
        ScreenCase{"StretchBltIntoTheContext",
                   [](PictureBox& box) {
                       QImage source(2, 2, QImage::Format_RGB32);
                       source.fill(qRgb(0, 200, 0));
                       DeviceContext from{&source, false};
                       StretchBlt(box.hDC(), 5, 5, 30, 20, &from, 0, 0, 2, 2, SRCCOPY);
                   }},
        ScreenCase{"SetDIBitsIntoTheBitmap",
                   [](PictureBox& box) {
                       BITMAPINFOHEADER header{};
                       header.biSize = sizeof header;
                       header.biWidth = 60;
                       header.biHeight = -40;
                       header.biPlanes = 1;
                       header.biBitCount = 32;
                       std::vector<std::uint32_t> bits(60 * 40, 0x00123456);
                       SetDIBits(box.hDC(), box.imageHandle(), 0, 40, bits.data(), &header, DIB_RGB_COLORS);
                   }}),
    [](const ::testing::TestParamInfo<ScreenCase>& info) { return std::string(info.param.name); });

// ---- Mouse ---------------------------------------------------------------------------------

struct MouseRecord {
    char what;
    std::int16_t button, shift;
    float x, y;
    bool operator==(const MouseRecord&) const = default;
};

void PrintTo(const MouseRecord& r, std::ostream* out)
{
    *out << r.what << "(button " << r.button << ", shift " << r.shift << ", " << r.x << ", " << r.y << ")";
}

// A picture box inside a larger window, so the pointer can leave the box and stay in the window.
class PictureBoxMouse : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(300, 250);
        box = new PictureBox(&window);
        box->setInnerSize(100, 80);
        box->move(50, 60);
        QObject::connect(box, &PictureBox::MouseDown, [this](std::int16_t b, std::int16_t s, float x, float y) {
            records.push_back({'D', b, s, x, y});
        });
        QObject::connect(box, &PictureBox::MouseMove, [this](std::int16_t b, std::int16_t s, float x, float y) {
            records.push_back({'M', b, s, x, y});
        });
        QObject::connect(box, &PictureBox::MouseUp, [this](std::int16_t b, std::int16_t s, float x, float y) {
            records.push_back({'U', b, s, x, y});
        });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void TearDown() override
    {
        // Leave no button held for the next test.
        for (const Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
            if (QGuiApplication::mouseButtons() & b)
                QTest::mouseRelease(window.windowHandle(), b, {}, QPoint(1, 1));
    }

    // Pointer events as the window system delivers them, in window coordinates, so that Qt's
    // own routing (the implicit grab of a pressed button included) decides who gets them.
    QWindow* handle() { return window.windowHandle(); }
    static QPoint inWindow(QPoint boxPoint) { return boxPoint + QPoint(50, 60); }

    QWidget window;
    PictureBox* box = nullptr;
    std::vector<MouseRecord> records;
};

struct ButtonCase {
    Qt::MouseButton button;
    Qt::KeyboardModifiers modifiers;
    std::int16_t code, shift;
};

class PictureBoxMouseButtons : public PictureBoxMouse, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(PictureBoxMouseButtons, PressMoveReleaseInInnerPixels)
{
    const ButtonCase& c = GetParam();
    QTest::mousePress(handle(), c.button, c.modifiers, inWindow(QPoint(10, 20)));
    QTest::mouseEvent(QTest::MouseMove, handle(), Qt::NoButton, c.modifiers, inWindow(QPoint(30, 25)));
    QTest::mouseRelease(handle(), c.button, c.modifiers, inWindow(QPoint(30, 25)));
    const std::vector<MouseRecord> expected = {
        {'D', c.code, c.shift, 10, 20}, {'M', c.code, c.shift, 30, 25}, {'U', c.code, c.shift, 30, 25}};
    EXPECT_EQ(records, expected);
}

INSTANTIATE_TEST_SUITE_P(
    PictureBox, PictureBoxMouseButtons,
    ::testing::Values(ButtonCase{Qt::LeftButton, Qt::NoModifier, 1, 0},
                      ButtonCase{Qt::RightButton, Qt::NoModifier, 2, 0},
                      ButtonCase{Qt::MiddleButton, Qt::NoModifier, 4, 0},
                      ButtonCase{Qt::LeftButton, Qt::ShiftModifier, 1, 1},
                      ButtonCase{Qt::LeftButton, Qt::ControlModifier, 1, 2},
                      ButtonCase{Qt::RightButton, Qt::AltModifier, 2, 4},
                      ButtonCase{Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier, 1, 3}));

TEST_F(PictureBoxMouse, AMoveReportsTheSumOfTheButtonsHeld)
{
    QTest::mousePress(handle(), Qt::LeftButton, {}, inWindow(QPoint(5, 5)));
    QTest::mousePress(handle(), Qt::RightButton, {}, inWindow(QPoint(5, 5)));
    QTest::mouseMove(handle(), inWindow(QPoint(6, 7)));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, inWindow(QPoint(6, 7)));
    QTest::mouseMove(handle(), inWindow(QPoint(8, 9)));
    QTest::mouseRelease(handle(), Qt::RightButton, {}, inWindow(QPoint(8, 9)));
    const std::vector<MouseRecord> expected = {{'D', 1, 0, 5, 5}, {'D', 2, 0, 5, 5}, {'M', 3, 0, 6, 7},
                                               {'U', 1, 0, 6, 7}, {'M', 2, 0, 8, 9}, {'U', 2, 0, 8, 9}};
    EXPECT_EQ(records, expected);
}

TEST_F(PictureBoxMouse, AfterAPressTheBoxFollowsThePointerOutside)
{
    QTest::mousePress(handle(), Qt::LeftButton, {}, inWindow(QPoint(90, 70)));
    QTest::mouseMove(handle(), inWindow(QPoint(120, 95)));   // right of and below the box
    QTest::mouseMove(handle(), QPoint(5, 5));                 // above and left of it
    QTest::mouseMove(handle(), QPoint(-20, 400));             // outside the window too
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, QPoint(-20, 400));
    const std::vector<MouseRecord> expected = {{'D', 1, 0, 90, 70},
                                               {'M', 1, 0, 120, 95},
                                               {'M', 1, 0, -45, -55},
                                               {'M', 1, 0, -70, 340},
                                               {'U', 1, 0, -70, 340}};
    EXPECT_EQ(records, expected);
}

TEST_F(PictureBoxMouse, APressOutsideTheBoxIsNotTheBoxs)
{
    QTest::mousePress(handle(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(handle(), inWindow(QPoint(20, 20)));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, inWindow(QPoint(20, 20)));
    EXPECT_TRUE(records.empty()) << records.size() << " events";
}

TEST_F(PictureBoxMouse, ADisabledBoxEmitsNothing)
{
    box->setEnabled(false);
    QTest::mousePress(handle(), Qt::LeftButton, {}, inWindow(QPoint(10, 10)));
    QTest::mouseMove(handle(), inWindow(QPoint(20, 20)));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, inWindow(QPoint(20, 20)));
    EXPECT_TRUE(records.empty()) << records.size() << " events";

    box->setEnabled(true);
    QTest::mousePress(handle(), Qt::LeftButton, {}, inWindow(QPoint(10, 10)));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, inWindow(QPoint(10, 10)));
    EXPECT_EQ(records.size(), 2u);
}

} // namespace
} // namespace platform
