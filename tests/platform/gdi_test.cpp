// SPDX-License-Identifier: MIT
// The graphics operations over picture-box images: StretchBlt, GetObjectA, GetDIBits and
// SetDIBits, and memory contexts.
#include "platform/gdi.h"
#include "platform/gdihandles.h"
#include "platform/picturebox.h"
#include "test_support.h"

#include <QImage>

#include <cstring>
#include <string>
#include <vector>

namespace platform {
namespace {

// Every pixel tells where it came from: red and green the low bytes of x and y, blue their
// high bits.
QRgb origin(int x, int y)
{
    return qRgb(x & 0xFF, y & 0xFF, ((x >> 8) & 0x0F) | (((y >> 8) & 0x0F) << 4));
}

QImage originImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, origin(x, y));
    return image;
}

QImage filled(int width, int height, QRgb colour = qRgb(0xAB, 0xCD, 0xEF))
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The source column and row a destination pixel was copied from.
std::pair<int, int> sourceOf(QRgb pixel)
{
    return {qRed(pixel) | ((qBlue(pixel) & 0x0F) << 8), qGreen(pixel) | ((qBlue(pixel) >> 4) << 8)};
}

// ---- StretchBlt ----------------------------------------------------------------------------

struct MapCase {
    int sourceExtent, destExtent;
    std::vector<int> sourceIndices;
};

class StretchBltMapping : public ::testing::TestWithParam<MapCase> {};

// Nearest neighbour with floor mapping, the same along both axes.
TEST_P(StretchBltMapping, TakesTheFlooredSourceIndex)
{
    const MapCase& c = GetParam();
    QImage source = originImage(c.sourceExtent, c.sourceExtent);
    QImage dest = filled(c.destExtent, c.destExtent);
    DeviceContext from{&source, false}, to{&dest, false};
    ASSERT_EQ(StretchBlt(&to, 0, 0, c.destExtent, c.destExtent, &from, 0, 0, c.sourceExtent, c.sourceExtent,
                         SRCCOPY),
              1);
    for (int y = 0; y < c.destExtent; ++y)
        for (int x = 0; x < c.destExtent; ++x)
            ASSERT_EQ(sourceOf(dest.pixel(x, y)), std::make_pair(c.sourceIndices[x], c.sourceIndices[y]))
                << "destination " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Gdi, StretchBltMapping,
                         ::testing::Values(MapCase{3, 7, {0, 0, 0, 1, 1, 2, 2}},
                                           MapCase{2, 5, {0, 0, 0, 1, 1}},
                                           MapCase{5, 5, {0, 1, 2, 3, 4}},
                                           MapCase{7, 3, {0, 2, 4}},
                                           MapCase{8, 3, {0, 2, 5}},
                                           MapCase{4, 1, {0}},
                                           MapCase{1, 4, {0, 0, 0, 0}}));

// The display copy of the viewer: one column and one row more than the picture.
TEST(StretchBlt, OneLargerDuplicatesExactlyOneColumnAndOneRow)
{
    QImage source = originImage(320, 240);
    QImage dest = filled(321, 241);
    DeviceContext from{&source, false}, to{&dest, false};
    ASSERT_EQ(StretchBlt(&to, 0, 0, 321, 241, &from, 0, 0, 320, 240, SRCCOPY), 1);

    auto checkAxis = [&](int destExtent, int sourceExtent, bool columns) {
        std::vector<int> uses(static_cast<std::size_t>(sourceExtent), 0);
        int previous = -1;
        for (int d = 0; d < destExtent; ++d) {
            const auto [sx, sy] = sourceOf(dest.pixel(columns ? d : 0, columns ? 0 : d));
            const int s = columns ? sx : sy;
            ASSERT_GE(s, previous) << "order broken at " << d;
            ASSERT_LT(s, sourceExtent);
            previous = s;
            ++uses[static_cast<std::size_t>(s)];
        }
        int twice = 0;
        for (int s = 0; s < sourceExtent; ++s) {
            ASSERT_GE(uses[static_cast<std::size_t>(s)], 1) << "source " << s << " lost";
            ASSERT_LE(uses[static_cast<std::size_t>(s)], 2);
            twice += uses[static_cast<std::size_t>(s)] == 2;
        }
        EXPECT_EQ(twice, 1);
    };
    checkAxis(321, 320, true);
    checkAxis(241, 240, false);
    // Every pixel agrees with its column's and its row's source.
    for (int y = 0; y < 241; ++y)
        for (int x = 0; x < 321; ++x)
            ASSERT_EQ(sourceOf(dest.pixel(x, y)),
                      std::make_pair(sourceOf(dest.pixel(x, 0)).first, sourceOf(dest.pixel(0, y)).second));
}

TEST(StretchBlt, EqualSizesCopyPixelForPixelWithOffsets)
{
    QImage source = originImage(40, 30);
    QImage dest = filled(50, 50);
    const QImage untouched = dest.copy();
    DeviceContext from{&source, false}, to{&dest, false};
    ASSERT_EQ(StretchBlt(&to, 7, 9, 12, 10, &from, 3, 4, 12, 10, SRCCOPY), 1);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x) {
            const bool inside = x >= 7 && x < 19 && y >= 9 && y < 19;
            ASSERT_EQ(dest.pixel(x, y), inside ? origin(x - 7 + 3, y - 9 + 4) : untouched.pixel(x, y))
                << x << "," << y;
        }
}

TEST(StretchBlt, SourceOutsideItsImageLeavesTheDestinationPixel)
{
    QImage source = originImage(6, 6);
    QImage dest = filled(8, 8);
    const QRgb before = dest.pixel(0, 0);
    DeviceContext from{&source, false}, to{&dest, false};
    // Columns -2..5 and rows 3..10 of the source: the first two columns and the last five rows
    // lie outside it.
    ASSERT_EQ(StretchBlt(&to, 0, 0, 8, 8, &from, -2, 3, 8, 8, SRCCOPY), 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int sx = x - 2, sy = y + 3;
            const bool inSource = sx >= 0 && sx < 6 && sy < 6;
            ASSERT_EQ(dest.pixel(x, y), inSource ? origin(sx, sy) : before) << x << "," << y;
        }
}

TEST(StretchBlt, ClipsAtTheDestinationEdges)
{
    QImage source = originImage(10, 10);
    QImage dest = filled(6, 6);
    DeviceContext from{&source, false}, to{&dest, false};
    ASSERT_EQ(StretchBlt(&to, -3, 2, 10, 10, &from, 0, 0, 10, 10, SRCCOPY), 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(dest.pixel(x, y), y >= 2 ? origin(x + 3, y - 2) : qRgb(0xAB, 0xCD, 0xEF)) << x << "," << y;
}

TEST(StretchBlt, WithinOneImageReadsTheOriginalPixels)
{
    QImage image = originImage(10, 4);
    DeviceContext context{&image, false};
    // Shift right by one column onto itself: a copy in place would smear column 0 across.
    ASSERT_EQ(StretchBlt(&context, 1, 0, 9, 4, &context, 0, 0, 9, 4, SRCCOPY), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 1; x < 10; ++x)
            ASSERT_EQ(image.pixel(x, y), origin(x - 1, y)) << x << "," << y;
}

struct RejectedBlt {
    const char* name;
    std::int32_t width, height, sourceWidth, sourceHeight;
    std::uint32_t rop;
};

class StretchBltRejects : public ::testing::TestWithParam<RejectedBlt> {};

TEST_P(StretchBltRejects, CopiesNothingAndReturnsZero)
{
    const RejectedBlt& c = GetParam();
    QImage source = originImage(8, 8);
    QImage dest = filled(8, 8);
    const QImage before = dest.copy();
    DeviceContext from{&source, false}, to{&dest, false};
    EXPECT_EQ(StretchBlt(&to, 0, 0, c.width, c.height, &from, 0, 0, c.sourceWidth, c.sourceHeight, c.rop), 0);
    EXPECT_EQ(dest, before);
}

INSTANTIATE_TEST_SUITE_P(
    Gdi, StretchBltRejects,
    ::testing::Values(RejectedBlt{"ZeroWidth", 0, 8, 8, 8, SRCCOPY}, RejectedBlt{"ZeroHeight", 8, 0, 8, 8, SRCCOPY},
                      RejectedBlt{"ZeroSourceWidth", 8, 8, 0, 8, SRCCOPY},
                      RejectedBlt{"ZeroSourceHeight", 8, 8, 8, 0, SRCCOPY},
                      RejectedBlt{"NegativeWidth", -4, 8, 8, 8, SRCCOPY},
                      RejectedBlt{"NegativeSourceHeight", 8, 8, 8, -4, SRCCOPY},
                      RejectedBlt{"MirroredBoth", -8, -8, -8, -8, SRCCOPY},
                      RejectedBlt{"SourcePaint", 8, 8, 8, 8, 0x00EE0086},
                      RejectedBlt{"SourceAnd", 8, 8, 8, 8, 0x008800C6},
                      RejectedBlt{"NoOperation", 8, 8, 8, 8, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StretchBlt, NeedsTwoContextsWithImages)
{
    QImage image = originImage(4, 4);
    QImage empty;
    DeviceContext context{&image, false}, nullImage{&empty, false};
    const QImage before = image.copy();
    HDC memory = CreateCompatibleDC(&context);
    EXPECT_EQ(StretchBlt(nullptr, 0, 0, 4, 4, &context, 0, 0, 4, 4, SRCCOPY), 0);
    EXPECT_EQ(StretchBlt(&context, 0, 0, 4, 4, nullptr, 0, 0, 4, 4, SRCCOPY), 0);
    EXPECT_EQ(StretchBlt(&context, 0, 0, 4, 4, memory, 0, 0, 4, 4, SRCCOPY), 0);
    EXPECT_EQ(StretchBlt(&context, 0, 0, 4, 4, &nullImage, 0, 0, 4, 4, SRCCOPY), 0);
    EXPECT_EQ(StretchBlt(&nullImage, 0, 0, 4, 4, &context, 0, 0, 4, 4, SRCCOPY), 0);
    EXPECT_EQ(image, before);
    DeleteDC(memory);
}

TEST(StretchBlt, BetweenPictureBoxes)
{
    PictureBox big, small;
    big.setInnerSize(64, 48);
    small.setInnerSize(16, 12);
    *big.hDC()->surface = originImage(64, 48);
    ASSERT_EQ(StretchBlt(small.hDC(), 0, 0, 16, 12, big.hDC(), 0, 0, 64, 48, SRCCOPY), 1);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(small.image().pixel(x, y), origin(x * 4, y * 4));
}

// ---- GetObjectA ----------------------------------------------------------------------------

TEST(GetObjectA, DescribesThePictureBoxImage)
{
    PictureBox box;
    box.setInnerSize(320, 240);
    BITMAP description;
    std::memset(&description, 0x5A, sizeof description);
    EXPECT_EQ(GetObjectA(box.imageHandle(), sizeof(BITMAP), &description), static_cast<std::int32_t>(sizeof(BITMAP)));
    EXPECT_EQ(description.bmType, 0);
    EXPECT_EQ(description.bmWidth, 320);
    EXPECT_EQ(description.bmHeight, 240);
    EXPECT_EQ(description.bmWidthBytes, 320 * 4);
    EXPECT_EQ(description.bmPlanes, 1);
    EXPECT_EQ(description.bmBitsPixel, 32);
    EXPECT_EQ(description.bmBits, nullptr);

    // The handle stays valid and describes the image as it is now.
    box.setInnerSize(17, 5);
    ASSERT_EQ(GetObjectA(box.imageHandle(), sizeof(BITMAP), &description), static_cast<std::int32_t>(sizeof(BITMAP)));
    EXPECT_EQ(description.bmWidth, 17);
    EXPECT_EQ(description.bmHeight, 5);
}

TEST(GetObjectA, WritesNothingForANullHandleOrTooSmallABuffer)
{
    PictureBox box;
    box.setInnerSize(8, 8);
    BITMAP description;
    std::memset(&description, 0x5A, sizeof description);
    BITMAP untouched = description;
    EXPECT_EQ(GetObjectA(nullptr, sizeof(BITMAP), &description), 0);
    EXPECT_EQ(GetObjectA(box.imageHandle(), sizeof(BITMAP) - 1, &description), 0);
    EXPECT_EQ(GetObjectA(box.imageHandle(), sizeof(BITMAP), nullptr), 0);
    EXPECT_EQ(std::memcmp(&description, &untouched, sizeof description), 0);
}

// ---- GetDIBits / SetDIBits -----------------------------------------------------------------

class DibTransfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        box.setInnerSize(kWidth, kHeight);
        *box.hDC()->surface = originImage(kWidth, kHeight);
        memory = CreateCompatibleDC(box.hDC());
    }
    void TearDown() override { DeleteDC(memory); }

    static BITMAPINFOHEADER header(std::int32_t height)
    {
        BITMAPINFOHEADER h{};
        h.biSize = sizeof h;
        h.biWidth = kWidth;
        h.biHeight = height;
        h.biPlanes = 1;
        h.biBitCount = 32;
        h.biCompression = BI_RGB;
        return h;
    }

    // The 4 bytes of pixel x in buffer row `row`.
    const unsigned char* bytesAt(const std::vector<unsigned char>& buffer, int row, int x)
    {
        return buffer.data() + (static_cast<std::size_t>(row) * kWidth + x) * 4;
    }

    static constexpr int kWidth = 7, kHeight = 5;
    PictureBox box;
    HDC memory = nullptr;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kWidth * kHeight * 4, 0xEE);
};

TEST_F(DibTransfer, GetBottomUpPutsTheBottomRowFirstAsBlueGreenRed)
{
    BITMAPINFOHEADER h = header(kHeight);
    ASSERT_EQ(GetDIBits(memory, box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), kHeight);
    EXPECT_EQ(h.biSizeImage, static_cast<std::uint32_t>(kWidth * kHeight * 4));
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb pixel = origin(x, kHeight - 1 - row);
            const unsigned char* b = bytesAt(buffer, row, x);
            ASSERT_EQ(b[0], qBlue(pixel)) << row << "," << x;
            ASSERT_EQ(b[1], qGreen(pixel)) << row << "," << x;
            ASSERT_EQ(b[2], qRed(pixel)) << row << "," << x;
        }
}

TEST_F(DibTransfer, GetTopDownPutsTheTopRowFirst)
{
    BITMAPINFOHEADER h = header(-kHeight);
    ASSERT_EQ(GetDIBits(memory, box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), kHeight);
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb pixel = origin(x, row);
            const unsigned char* b = bytesAt(buffer, row, x);
            ASSERT_EQ((std::vector<int>{b[0], b[1], b[2]}), (std::vector<int>{qBlue(pixel), qGreen(pixel), qRed(pixel)}))
                << row << "," << x;
        }
}

TEST_F(DibTransfer, SetStoresBlueGreenRedRowsInTheHeadersOrder)
{
    for (const int sign : {1, -1}) {
        for (int row = 0; row < kHeight; ++row)
            for (int x = 0; x < kWidth; ++x) {
                unsigned char* b = buffer.data() + (static_cast<std::size_t>(row) * kWidth + x) * 4;
                b[0] = static_cast<unsigned char>(10 + x); // blue
                b[1] = static_cast<unsigned char>(100 + row); // green
                b[2] = static_cast<unsigned char>(200 + sign); // red
                b[3] = 0;
            }
        const BITMAPINFOHEADER h = header(sign * kHeight);
        ASSERT_EQ(SetDIBits(box.hDC(), box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int row = sign > 0 ? kHeight - 1 - y : y;
                ASSERT_EQ(box.image().pixel(x, y), qRgb(200 + sign, 100 + row, 10 + x)) << x << "," << y;
            }
    }
}

TEST_F(DibTransfer, ARoundTripLeavesTheImageUnchanged)
{
    const QImage original = box.image().copy();
    for (const int height : {kHeight, -kHeight}) {
        BITMAPINFOHEADER h = header(height);
        ASSERT_EQ(GetDIBits(memory, box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), kHeight);
        ASSERT_EQ(SetDIBits(box.hDC(), box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), kHeight);
        EXPECT_EQ(box.image(), original) << "biHeight " << height;
    }
    // And the same buffer carries the picture into another box of the same size.
    PictureBox other;
    other.setInnerSize(kWidth, kHeight);
    BITMAPINFOHEADER h = header(kHeight);
    GetDIBits(memory, box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS);
    ASSERT_EQ(SetDIBits(other.hDC(), other.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), kHeight);
    EXPECT_EQ(other.image(), original);
}

TEST_F(DibTransfer, LinesAreCountedFromTheBottomAndClampedToTheImage)
{
    BITMAPINFOHEADER h = header(kHeight);
    // Lines 1 and 2 from the bottom are image rows kHeight-2 and kHeight-3.
    ASSERT_EQ(GetDIBits(memory, box.imageHandle(), 1, 2, buffer.data(), &h, DIB_RGB_COLORS), 2);
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(bytesAt(buffer, row, x)[2], qRed(origin(x, kHeight - 2 - row)));
    EXPECT_EQ(bytesAt(buffer, 2, 0)[0], 0xEE) << "wrote past the lines asked for";

    EXPECT_EQ(GetDIBits(memory, box.imageHandle(), 3, 100, buffer.data(), &h, DIB_RGB_COLORS), kHeight - 3);
    EXPECT_EQ(GetDIBits(memory, box.imageHandle(), kHeight, 1, buffer.data(), &h, DIB_RGB_COLORS), 0);
}

struct BadHeader {
    const char* name;
    std::int32_t width;
    std::uint16_t bitCount;
    std::uint32_t compression;
};

class DibTransferRejects : public DibTransfer, public ::testing::WithParamInterface<BadHeader> {};

TEST_P(DibTransferRejects, AMismatchedHeaderCopiesNothing)
{
    const BadHeader& c = GetParam();
    BITMAPINFOHEADER h = header(kHeight);
    h.biWidth = c.width;
    h.biBitCount = c.bitCount;
    h.biCompression = c.compression;
    const std::vector<unsigned char> sentinel = buffer;
    EXPECT_EQ(GetDIBits(memory, box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), 0);
    EXPECT_EQ(buffer, sentinel);

    const QImage before = box.image().copy();
    std::fill(buffer.begin(), buffer.end(), 0x11);
    EXPECT_EQ(SetDIBits(box.hDC(), box.imageHandle(), 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), 0);
    EXPECT_EQ(box.image(), before);
}

INSTANTIATE_TEST_SUITE_P(Gdi, DibTransferRejects,
                         ::testing::Values(BadHeader{"TwentyFourBits", 7, 24, BI_RGB},
                                           BadHeader{"EightBits", 7, 8, BI_RGB},
                                           BadHeader{"NarrowerWidth", 6, 32, BI_RGB},
                                           BadHeader{"WiderWidth", 8, 32, BI_RGB},
                                           BadHeader{"Bitfields", 7, 32, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DibTransfer, NoBufferOrNoHeaderCopiesNothing)
{
    BITMAPINFOHEADER h = header(kHeight);
    EXPECT_EQ(GetDIBits(memory, box.imageHandle(), 0, kHeight, nullptr, &h, DIB_RGB_COLORS), 0);
    EXPECT_EQ(GetDIBits(memory, box.imageHandle(), 0, kHeight, buffer.data(), nullptr, DIB_RGB_COLORS), 0);
    EXPECT_EQ(GetDIBits(memory, nullptr, 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SetDIBits(box.hDC(), nullptr, 0, kHeight, buffer.data(), &h, DIB_RGB_COLORS), 0);
    EXPECT_EQ(SetDIBits(box.hDC(), box.imageHandle(), 0, kHeight, nullptr, &h, DIB_RGB_COLORS), 0);
}

// ---- Memory contexts -----------------------------------------------------------------------

TEST(MemoryContext, IsReleasedByDeleteDcWhileBoxContextsStay)
{
    PictureBox box;
    box.setInnerSize(4, 4);
    HDC memory = CreateCompatibleDC(box.hDC());
    ASSERT_NE(memory, nullptr);
    EXPECT_NE(memory, box.hDC());
    EXPECT_EQ(DeleteDC(memory), 1);
    EXPECT_EQ(DeleteDC(box.hDC()), 0) << "a picture box's context is not the caller's to delete";
    EXPECT_EQ(DeleteDC(nullptr), 0);
    // The box's context still draws.
    QImage source = originImage(4, 4);
    DeviceContext from{&source, false};
    EXPECT_EQ(StretchBlt(box.hDC(), 0, 0, 4, 4, &from, 0, 0, 4, 4, SRCCOPY), 1);
    EXPECT_EQ(box.image(), source);
    // A context made again after deletion works as the first did.
    HDC again = CreateCompatibleDC(nullptr);
    ASSERT_NE(again, nullptr);
    BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<unsigned char> bits(64);
    EXPECT_EQ(GetDIBits(again, box.imageHandle(), 0, 4, bits.data(), &h, DIB_RGB_COLORS), 4);
    EXPECT_EQ(DeleteDC(again), 1);
}

} // namespace
} // namespace platform
