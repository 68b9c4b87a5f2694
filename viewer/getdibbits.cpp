// SPDX-License-Identifier: MIT
#include "getdibbits.h"

#include "platform/runtimeerror.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <limits>

namespace GetDIBBits {

using platform::ErrorKind;
using platform::raiseError;

void PixelBuffer::allocate(std::int32_t count)
{
    pixels_.reset();
    size_ = 0;
    if (count <= 0)
        return;
    auto* block = static_cast<DIBPixel*>(std::calloc(static_cast<std::size_t>(count), sizeof(DIBPixel)));
    if (!block)
        raiseError(ErrorKind::OutOfMemory,
              QStringLiteral("There is not enough memory for a picture of %1 pixels.").arg(count));
    pixels_.reset(block);
    size_ = count;
}

void PixelBuffer::allocateForOverwrite(std::int32_t count)
{
    if (count <= 0 || count != size_)
        allocate(count);
}

void PixelBuffer::zeroFrom(std::int64_t index)
{
    index = std::max<std::int64_t>(index, 0);
    if (index < size_)
        std::memset(pixels_.get() + index, 0, static_cast<std::size_t>(size_ - index) * sizeof(DIBPixel));
}

DIBPixel& PixelBuffer::at(std::int64_t index)
{
    if (index < 0 || index >= size_)
        raiseError(ErrorKind::SubscriptOutOfRange,
              size_ == 0 ? QStringLiteral("The picture has no pixels.")
                         : QStringLiteral("Pixel %1 lies outside the picture's %2 pixels.")
                               .arg(index)
                               .arg(size_));
    return pixels_.get()[index];
}

void ReadDIBBits(platform::HDC hDC, platform::HBITMAP hBitmap)
{
    MemDC = platform::CreateCompatibleDC(hDC);
    platform::GetObjectA(hBitmap, sizeof(platform::BITMAP), &PictureBitmap);
    DIBHeader.biSize = 40;
    DIBHeader.biWidth = PictureBitmap.bmWidth;
    DIBHeader.biHeight = PictureBitmap.bmHeight;
    DIBHeader.biPlanes = PictureBitmap.bmPlanes;
    DIBHeader.biBitCount = 32;

    const std::int64_t count =
        static_cast<std::int64_t>(PictureBitmap.bmWidth) * PictureBitmap.bmHeight;
    if (count > std::numeric_limits<std::int32_t>::max() ||
        count - 1 < std::numeric_limits<std::int32_t>::min())
        raiseError(ErrorKind::Overflow,
              QStringLiteral("A picture of %1 × %2 pixels is too large to capture.")
                  .arg(PictureBitmap.bmWidth)
                  .arg(PictureBitmap.bmHeight));
    // The buffer starts all zero and the read transfer overwrites it. A buffer of the same size
    // is reused rather than allocated anew, and whatever the transfer leaves unwritten (all of
    // it where the transfer fails) is zeroed afterwards: the same outcome at a fraction of the
    // cost for a large picture.
    DIBBits.allocateForOverwrite(static_cast<std::int32_t>(count));
    DIBPixel& first = DIBBits.at(0);
    const std::int32_t lines = platform::GetDIBits(MemDC, hBitmap, 0,
                                                   static_cast<std::uint32_t>(PictureBitmap.bmHeight),
                                                   &first, &DIBHeader, platform::DIB_RGB_COLORS);
    DIBBits.zeroFrom(static_cast<std::int64_t>(std::max(lines, 0)) * PictureBitmap.bmWidth);
}

void WriteDIBBits(platform::HDC hDC, platform::HBITMAP hBitmap)
{
    const DIBPixel& first = DIBBits.at(0);
    // The transfer reads width × height pixels; a buffer left smaller by a failed capture must
    // not be read past its end.
    const std::int64_t needed = static_cast<std::int64_t>(PictureBitmap.bmWidth) * PictureBitmap.bmHeight;
    if (needed > DIBBits.size())
        DIBBits.at(needed - 1);
    platform::SetDIBits(hDC, hBitmap, 0, static_cast<std::uint32_t>(PictureBitmap.bmHeight), &first,
                        &DIBHeader, platform::DIB_RGB_COLORS);
    platform::DeleteDC(MemDC);
}

} // namespace GetDIBBits
