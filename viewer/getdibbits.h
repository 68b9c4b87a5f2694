// SPDX-License-Identifier: MIT
// The pixel buffer: a picture's bitmap captured into 32-bit pixels in memory, set one by one,
// and written back in one transfer. One buffer and one capture for the whole program.
// A paint is ReadDIBBits, any number of SetDIBPixel, then WriteDIBBits, all for one picture.
#pragma once

#include "platform/gdi.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace GetDIBBits {

struct DIBPixel {
    std::uint8_t Blue;
    std::uint8_t Green;
    std::uint8_t Red;
    std::uint8_t Reserved;
};
static_assert(sizeof(DIBPixel) == 4);

// The pixels of the captured bitmap, rows bottom-up without gaps. An allocation that fails
// leaves it empty.
class PixelBuffer {
public:
    // Makes room for `count` pixels, every one zero. Raises OutOfMemory.
    void allocate(std::int32_t count);
    // Makes room for `count` pixels whose values are left unspecified, for a caller that is
    // about to overwrite them: a buffer of the same size is kept rather than allocated anew.
    void allocateForOverwrite(std::int32_t count);
    // Zeroes the pixels from `index` to the end.
    void zeroFrom(std::int64_t index);
    std::int64_t size() const { return size_; }
    DIBPixel* data() { return pixels_.get(); }
    // Element `index`; raises SubscriptOutOfRange outside 0..size()-1.
    DIBPixel& at(std::int64_t index);

private:
    struct Free {
        void operator()(DIBPixel* p) const { std::free(p); }
    };
    std::unique_ptr<DIBPixel, Free> pixels_;
    std::int64_t size_ = 0;
};

inline platform::HDC MemDC = nullptr;
inline platform::BITMAP PictureBitmap{};
inline platform::BITMAPINFOHEADER DIBHeader{};
inline PixelBuffer DIBBits;

// Opens a capture of the bitmap: the buffer is reallocated to its size and filled with its
// pixels. Raises Overflow where width × height leaves the 32-bit range (the buffer then stays
// as it was) and SubscriptOutOfRange for a bitmap without pixels.
void ReadDIBBits(platform::HDC hDC, platform::HBITMAP hBitmap);

// Sets the pixel in column x, row y (1-based, row 1 at the top) of the captured bitmap, each
// channel clamped to 0..255. Coordinates outside the bitmap, or a pixel missing from the
// buffer, change nothing. Never raises.
inline void SetDIBPixel(std::int16_t x, std::int16_t y, std::int16_t red, std::int16_t green,
                        std::int16_t blue) noexcept
{
    const std::int32_t width = PictureBitmap.bmWidth;
    const std::int32_t height = PictureBitmap.bmHeight;
    if (x < 1 || x > width || y < 1 || y > height)
        return;
    const std::int64_t index =
        static_cast<std::int64_t>(height - y) * width + (static_cast<std::int64_t>(x) - 1);
    if (index >= DIBBits.size())
        return;
    auto clamp = [](std::int16_t v) {
        return static_cast<std::uint8_t>(v > 255 ? 255 : (v < 0 ? 0 : v));
    };
    DIBPixel& pixel = DIBBits.data()[index];
    pixel.Red = clamp(red);
    pixel.Green = clamp(green);
    pixel.Blue = clamp(blue);
}

// The pixels of row y (1-based from the top) for x = 1 to the bitmap's width, where the whole
// row exists in the buffer; null otherwise. Setting pixel x of the row is what
// SetDIBPixel(x, y, ...) does with channel values within 0..255.
inline DIBPixel* PixelRow(std::int32_t y) noexcept
{
    const std::int32_t width = PictureBitmap.bmWidth;
    const std::int32_t height = PictureBitmap.bmHeight;
    if (y < 1 || y > height || width < 1)
        return nullptr;
    const std::int64_t first = static_cast<std::int64_t>(height - y) * width;
    if (first + width > DIBBits.size())
        return nullptr;
    return DIBBits.data() + first;
}

// Writes the buffer back into the bitmap and closes the capture. Raises SubscriptOutOfRange
// when no buffer holds a pixel; nothing is then written and the capture stays open.
void WriteDIBBits(platform::HDC hDC, platform::HBITMAP hBitmap);

} // namespace GetDIBBits
