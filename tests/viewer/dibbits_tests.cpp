// SPDX-License-Identifier: MIT
// The pixel buffer (GetDIBBits): capturing a picture, setting single pixels by 1-based
// coordinates with row 1 at the top, and writing the buffer back.
#include "viewer_fixture.h"

#include "getdibbits.h"
#include "platform/picturebox.h"

#include <optional>

using namespace viewertest;
using platform::ErrorKind;

namespace {

constexpr int kWidth = 5;
constexpr int kHeight = 3;

class PixelBufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetModuleState();
        // Every pixel distinct: red = 10 x, green = 10 y.
        QImage picture(kWidth, kHeight, QImage::Format_RGB32);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                picture.setPixel(x, y, qRgb(10 * x, 10 * y, 7));
        box.setInnerSize(kWidth, kHeight);
        box.setPicture(picture);
        box.Cls();
        original = box.image().copy();
    }
    void TearDown() override { resetModuleState(); }

    void capture() { GetDIBBits::ReadDIBBits(box.hDC(), box.imageHandle()); }
    void writeBack() { GetDIBBits::WriteDIBBits(box.hDC(), box.imageHandle()); }

    std::vector<GetDIBBits::DIBPixel> buffer()
    {
        auto& bits = GetDIBBits::DIBBits;
        return {bits.data(), bits.data() + bits.size()};
    }

    platform::PictureBox box;
    QImage original;
};

bool samePixel(const GetDIBBits::DIBPixel& a, const GetDIBBits::DIBPixel& b)
{
    return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue && a.Reserved == b.Reserved;
}

template <typename Action>
ErrorKind errorOf(Action action)
{
    if (const auto error = platform::test::raised(action))
        return error->kind();
    ADD_FAILURE() << "no error";
    return ErrorKind::Internal;
}

} // namespace

// The buffer holds the rows bottom-up: element 0 is the bottom-left pixel.
TEST_F(PixelBufferTest, CaptureHoldsTheRowsBottomUp)
{
    capture();
    ASSERT_EQ(GetDIBBits::DIBBits.size(), kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const auto& p = GetDIBBits::DIBBits.at((kHeight - 1 - y) * kWidth + x);
            EXPECT_EQ(qRgb(p.Red, p.Green, p.Blue), qRgb(10 * x, 10 * y, 7)) << x << ", " << y;
        }
    EXPECT_EQ(GetDIBBits::DIBHeader.biWidth, kWidth);
    EXPECT_EQ(GetDIBBits::DIBHeader.biHeight, kHeight);
    EXPECT_EQ(GetDIBBits::DIBHeader.biBitCount, 32);
}

struct PixelCase {
    std::int16_t x, y;
    std::optional<int> element; // none: nothing changes
};

void PrintTo(const PixelCase& c, std::ostream* os) { *os << "(" << c.x << ", " << c.y << ")"; }

class SetPixelTest : public PixelBufferTest, public ::testing::WithParamInterface<PixelCase> {};

TEST_P(SetPixelTest, WritesOneElementOrNone)
{
    const PixelCase& c = GetParam();
    capture();
    const auto before = buffer();
    GetDIBBits::SetDIBPixel(c.x, c.y, 200, 100, 50);
    const auto after = buffer();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (c.element && static_cast<int>(i) == *c.element) {
            EXPECT_EQ(qRgb(after[i].Red, after[i].Green, after[i].Blue), qRgb(200, 100, 50));
            EXPECT_EQ(after[i].Reserved, before[i].Reserved);
        } else {
            EXPECT_TRUE(samePixel(after[i], before[i])) << "element " << i;
        }
    }

    // Written back, the change lands on pixel (x - 1, y - 1) of the picture.
    writeBack();
    QImage expected = original.copy();
    if (c.element)
        expected.setPixel(c.x - 1, c.y - 1, qRgb(200, 100, 50));
    EXPECT_TRUE(sameImage(box.image(), expected));
}

INSTANTIATE_TEST_SUITE_P(
    Coordinates, SetPixelTest,
    ::testing::Values(PixelCase{1, 1, (kHeight - 1) * kWidth},      // top-left
                      PixelCase{kWidth, 1, kWidth * kHeight - 1},   // top-right
                      PixelCase{1, kHeight, 0},                     // bottom-left
                      PixelCase{kWidth, kHeight, kWidth - 1},       // bottom-right
                      PixelCase{3, 2, 7},
                      PixelCase{0, 1, std::nullopt}, PixelCase{kWidth + 1, 1, std::nullopt},
                      PixelCase{1, 0, std::nullopt}, PixelCase{1, kHeight + 1, std::nullopt},
                      PixelCase{-1, -1, std::nullopt}, PixelCase{32767, 32767, std::nullopt}),
    [](const ::testing::TestParamInfo<PixelCase>& info) {
        auto n = [](int v) { return v < 0 ? "m" + std::to_string(-v) : std::to_string(v); };
        return "x" + n(info.param.x) + "_y" + n(info.param.y);
    });

TEST_F(PixelBufferTest, ChannelsAreClampedAndReservedIsKept)
{
    capture();
    auto& element = GetDIBBits::DIBBits.at(7); // pixel (3, 2)
    element.Reserved = 0x5A;
    GetDIBBits::SetDIBPixel(3, 2, 300, -5, 255);
    EXPECT_EQ(element.Red, 255);
    EXPECT_EQ(element.Green, 0);
    EXPECT_EQ(element.Blue, 255);
    EXPECT_EQ(element.Reserved, 0x5A);
    GetDIBBits::SetDIBPixel(3, 2, 0, 32767, -32768);
    EXPECT_EQ(element.Red, 0);
    EXPECT_EQ(element.Green, 255);
    EXPECT_EQ(element.Blue, 0);
}

TEST_F(PixelBufferTest, CaptureAndWriteBackLeaveThePictureUnchanged)
{
    capture();
    writeBack();
    EXPECT_TRUE(sameImage(box.image(), original));
}

TEST_F(PixelBufferTest, SettingAPixelBeforeAnyCaptureChangesNothing)
{
    GetDIBBits::SetDIBPixel(1, 1, 200, 100, 50);
    EXPECT_EQ(GetDIBBits::DIBBits.size(), 0);
    EXPECT_EQ(GetDIBBits::DIBBits.data(), nullptr);
    EXPECT_TRUE(sameImage(box.image(), original));
}

TEST_F(PixelBufferTest, PictureWithoutPixelsCannotBeCapturedOrWritten)
{
    platform::PictureBox empty;
    empty.setInnerSize(0, 0);
    EXPECT_EQ(errorOf([&] { GetDIBBits::ReadDIBBits(empty.hDC(), empty.imageHandle()); }),
              ErrorKind::SubscriptOutOfRange);
    EXPECT_EQ(GetDIBBits::DIBBits.size(), 0);

    // No buffer: writing back raises and leaves the picture as it is.
    EXPECT_EQ(errorOf([&] { writeBack(); }), ErrorKind::SubscriptOutOfRange);
    EXPECT_TRUE(sameImage(box.image(), original));
}

// A capture of a picture of the same size as the last one holds exactly the new picture's
// pixels, whatever the last capture's buffer held.
TEST_F(PixelBufferTest, ASecondCaptureOfTheSameSizeHoldsOnlyTheNewPicture)
{
    capture();
    for (int16_t y = 1; y <= kHeight; ++y)
        for (int16_t x = 1; x <= kWidth; ++x)
            GetDIBBits::SetDIBPixel(x, y, 1, 2, 3);

    platform::PictureBox other;
    other.setInnerSize(kWidth, kHeight);
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(qRgb(90, 80, 70));
    picture.setPixel(kWidth - 1, 0, qRgb(200, 0, 9));
    other.setPicture(picture);
    other.Cls();
    GetDIBBits::ReadDIBBits(other.hDC(), other.imageHandle());

    ASSERT_EQ(GetDIBBits::DIBBits.size(), kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const auto& p = GetDIBBits::DIBBits.at((kHeight - 1 - y) * kWidth + x);
            EXPECT_EQ(qRgb(p.Red, p.Green, p.Blue), picture.pixel(x, y)) << x << ", " << y;
        }
}
