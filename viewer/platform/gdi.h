// SPDX-License-Identifier: MIT
// A small graphics device layer over the images of picture boxes: device contexts and bitmaps
// are handles to those images, and the operations copy, stretch and transfer their pixels.
// Pixels are 32-bit B, G, R, X in memory, the layout of an uncompressed 32-bit bitmap.
#pragma once

#include <cstdint>

namespace platform {

struct DeviceContext;
struct BitmapObject;
using HDC = DeviceContext*;
using HBITMAP = BitmapObject*;

// Description of a bitmap, field for field as GetObjectA fills it.
struct BITMAP {
    std::int32_t bmType;
    std::int32_t bmWidth;
    std::int32_t bmHeight;
    std::int32_t bmWidthBytes;
    std::uint16_t bmPlanes;
    std::uint16_t bmBitsPixel;
    void* bmBits;
};

// Header of a device-independent bitmap transfer.
struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight; // positive: rows bottom-up; negative: top-down
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

constexpr std::uint32_t SRCCOPY = 0x00CC0020;
constexpr std::uint32_t DIB_RGB_COLORS = 0;
constexpr std::uint32_t BI_RGB = 0;

// Copies the source rectangle onto the destination rectangle, nearest neighbour: destination
// column dx takes source column sx + floor(dx * sw / dw), rows alike, so equal sizes copy
// pixel for pixel. Source pixels outside the source image leave the destination pixel as it
// is; destination pixels outside the destination image are clipped. Only SRCCOPY is known.
// Returns 0 and copies nothing for an empty or negative extent or an unknown raster operation.
std::int32_t StretchBlt(HDC dest, std::int32_t x, std::int32_t y, std::int32_t width,
                        std::int32_t height, HDC source, std::int32_t sx, std::int32_t sy,
                        std::int32_t sourceWidth, std::int32_t sourceHeight, std::uint32_t rop);

// A memory context that serves only as the reference context of a transfer.
HDC CreateCompatibleDC(HDC dc);
// Releases a memory context; the contexts of picture boxes are theirs and stay.
std::int32_t DeleteDC(HDC dc);

// Fills `out` (a BITMAP) with the description of the bitmap; returns the bytes written, 0 if
// the handle is null or the size too small.
std::int32_t GetObjectA(HBITMAP bitmap, std::int32_t size, void* out);

// Copies scan lines [start, start + lines) of the bitmap, counted from the bottom, into `bits`
// as 32-bit pixels, in the row order the header gives. The header must describe a 32-bit
// uncompressed bitmap of the bitmap's width. Returns the number of lines copied.
std::int32_t GetDIBits(HDC dc, HBITMAP bitmap, std::uint32_t start, std::uint32_t lines,
                       void* bits, BITMAPINFOHEADER* header, std::uint32_t usage);

// Stores scan lines of `bits` into the bitmap, the mirror of GetDIBits.
std::int32_t SetDIBits(HDC dc, HBITMAP bitmap, std::uint32_t start, std::uint32_t lines,
                       const void* bits, const BITMAPINFOHEADER* header, std::uint32_t usage);

} // namespace platform
