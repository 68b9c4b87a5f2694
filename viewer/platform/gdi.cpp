// SPDX-License-Identifier: MIT
#include "gdi.h"
#include "gdihandles.h"

#include <QImage>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {
namespace {

QImage* surfaceOf(HDC dc)
{
    return dc && dc->surface && !dc->surface->isNull() && dc->surface->format() == QImage::Format_RGB32
               ? dc->surface
               : nullptr;
}

QImage* imageOf(HBITMAP bitmap)
{
    return bitmap && bitmap->image ? bitmap->image : nullptr;
}

// Source index for each destination index: base + floor(d * sourceExtent / destExtent).
std::vector<std::int64_t> sampleMap(std::int32_t destExtent, std::int32_t base,
                                    std::int32_t sourceExtent)
{
    std::vector<std::int64_t> map(static_cast<std::size_t>(destExtent));
    for (std::int32_t d = 0; d < destExtent; ++d)
        map[static_cast<std::size_t>(d)] =
            base + static_cast<std::int64_t>(d) * sourceExtent / destExtent;
    return map;
}

bool isTransferable(const QImage* image, const BITMAPINFOHEADER* header)
{
    return image && header && header->biBitCount == 32 && header->biCompression == BI_RGB &&
           header->biWidth == image->width() && image->format() == QImage::Format_RGB32;
}

// Image row that DIB line `line` (counted in the buffer's own order) corresponds to.
int imageRow(const QImage& image, const BITMAPINFOHEADER& header, std::uint32_t line)
{
    return header.biHeight > 0 ? image.height() - 1 - static_cast<int>(line)
                               : static_cast<int>(line);
}

std::uint32_t clampLines(const QImage& image, std::uint32_t start, std::uint32_t lines)
{
    const auto height = static_cast<std::uint32_t>(image.height());
    if (start >= height)
        return 0;
    return std::min(lines, height - start);
}

} // namespace

void imageChanged(QWidget* view)
{
    if (view)
        view->update();
}

std::int32_t StretchBlt(HDC dest, std::int32_t x, std::int32_t y, std::int32_t width,
                        std::int32_t height, HDC source, std::int32_t sx, std::int32_t sy,
                        std::int32_t sourceWidth, std::int32_t sourceHeight, std::uint32_t rop)
{
    QImage* to = surfaceOf(dest);
    QImage* from = surfaceOf(source);
    if (!to || !from || rop != SRCCOPY || width <= 0 || height <= 0 || sourceWidth <= 0 ||
        sourceHeight <= 0)
        return 0;
    // Copy first where both contexts share one image, so no pixel reads its own result.
    const QImage sourceImage = from == to ? from->copy() : *from;
    const auto columns = sampleMap(width, sx, sourceWidth);
    const auto rows = sampleMap(height, sy, sourceHeight);
    const std::int64_t toWidth = to->width(), toHeight = to->height();
    const std::int64_t fromWidth = sourceImage.width(), fromHeight = sourceImage.height();
    for (std::int32_t dy = 0; dy < height; ++dy) {
        const std::int64_t ty = static_cast<std::int64_t>(y) + dy;
        const std::int64_t fy = rows[static_cast<std::size_t>(dy)];
        if (ty < 0 || ty >= toHeight || fy < 0 || fy >= fromHeight)
            continue;
        const auto* in = reinterpret_cast<const std::uint32_t*>(sourceImage.constScanLine(int(fy)));
        auto* out = reinterpret_cast<std::uint32_t*>(to->scanLine(int(ty)));
        if (!in || !out) // a shared image that could not be copied for lack of memory
            return 0;
        for (std::int32_t dx = 0; dx < width; ++dx) {
            const std::int64_t tx = static_cast<std::int64_t>(x) + dx;
            const std::int64_t fx = columns[static_cast<std::size_t>(dx)];
            if (tx >= 0 && tx < toWidth && fx >= 0 && fx < fromWidth)
                out[tx] = in[fx];
        }
    }
    imageChanged(dest->view);
    return 1;
}

// A memory context here is only a reference for transfers and holds no state of its own, so
// every one is the same object and deleting it releases nothing.
HDC CreateCompatibleDC(HDC)
{
    static DeviceContext memoryContext{nullptr, true};
    return &memoryContext;
}

std::int32_t DeleteDC(HDC dc)
{
    return dc && dc->memory ? 1 : 0;
}

std::int32_t GetObjectA(HBITMAP bitmap, std::int32_t size, void* out)
{
    const QImage* image = imageOf(bitmap);
    if (!image || !out || size < static_cast<std::int32_t>(sizeof(BITMAP)))
        return 0;
    BITMAP description{};
    description.bmType = 0;
    description.bmWidth = image->width();
    description.bmHeight = image->height();
    description.bmWidthBytes = static_cast<std::int32_t>(image->isNull() ? 0 : image->bytesPerLine());
    description.bmPlanes = 1;
    description.bmBitsPixel = static_cast<std::uint16_t>(image->isNull() ? 0 : image->depth());
    description.bmBits = nullptr;
    std::memcpy(out, &description, sizeof description);
    return static_cast<std::int32_t>(sizeof description);
}

std::int32_t GetDIBits(HDC, HBITMAP bitmap, std::uint32_t start, std::uint32_t lines, void* bits,
                       BITMAPINFOHEADER* header, std::uint32_t)
{
    const QImage* image = imageOf(bitmap);
    if (!bits || !isTransferable(image, header))
        return 0;
    const std::uint32_t count = clampLines(*image, start, lines);
    const std::size_t rowBytes = static_cast<std::size_t>(image->width()) * 4;
    auto* out = static_cast<unsigned char*>(bits);
    for (std::uint32_t line = 0; line < count; ++line)
        std::memcpy(out + line * rowBytes, image->constScanLine(imageRow(*image, *header, start + line)),
                    rowBytes);
    header->biSizeImage = static_cast<std::uint32_t>(rowBytes * count);
    return static_cast<std::int32_t>(count);
}

std::int32_t SetDIBits(HDC, HBITMAP bitmap, std::uint32_t start, std::uint32_t lines,
                       const void* bits, const BITMAPINFOHEADER* header, std::uint32_t)
{
    QImage* image = imageOf(bitmap);
    if (!bits || !isTransferable(image, header))
        return 0;
    const std::uint32_t count = clampLines(*image, start, lines);
    const std::size_t rowBytes = static_cast<std::size_t>(image->width()) * 4;
    const auto* in = static_cast<const unsigned char*>(bits);
    for (std::uint32_t line = 0; line < count; ++line) {
        uchar* row = image->scanLine(imageRow(*image, *header, start + line));
        if (!row) // a shared image that could not be copied for lack of memory
            return static_cast<std::int32_t>(line);
        std::memcpy(row, in + line * rowBytes, rowBytes);
    }
    if (count > 0)
        imageChanged(bitmap->view);
    return static_cast<std::int32_t>(count);
}

} // namespace platform
