// SPDX-License-Identifier: MIT
#include "mloadfractal.h"

#include "getdibbits.h"
#include "platform/controls.h"
#include "platform/conversions.h"
#include "platform/picturebox.h"
#include "platform/runtimeerror.h"
#include "platform/screen.h"

#include <array>
#include <cmath>
#include <algorithm>
#include <new>
#include <optional>
#include <string>

namespace mLoadFractal {

using platform::ErrorKind;
using platform::raiseError;

void ByteGrid::recreate(std::int32_t upperX, std::int32_t upperY)
{
    cells_.reset();
    upperX_ = upperY_ = -1;
    if (upperX < 0 || upperY < 0)
        raiseError(ErrorKind::SubscriptOutOfRange,
              QStringLiteral("A grid with the upper bounds %1 and %2 cannot be created: the image "
                             "width and height must be at least -2.")
                  .arg(upperX)
                  .arg(upperY));
    const std::uint64_t count =
        (static_cast<std::uint64_t>(upperX) + 1) * (static_cast<std::uint64_t>(upperY) + 1);
    auto* block = static_cast<std::uint8_t*>(std::calloc(count, 1));
    if (!block)
        raiseError(ErrorKind::OutOfMemory,
              QStringLiteral("There is not enough memory for a grid of %1 × %2 points.")
                  .arg(static_cast<qint64>(upperX) + 1)
                  .arg(static_cast<qint64>(upperY) + 1));
    cells_.reset(block);
    upperX_ = upperX;
    upperY_ = upperY;
}

void ByteGrid::outOfRange(std::int64_t x, std::int64_t y) const
{
    if (!cells_)
        raiseError(ErrorKind::SubscriptOutOfRange, QStringLiteral("The grid has no elements."));
    raiseError(ErrorKind::SubscriptOutOfRange,
          QStringLiteral("The grid point (%1, %2) lies outside the grid (0..%3, 0..%4).")
              .arg(x)
              .arg(y)
              .arg(upperX_)
              .arg(upperY_));
}

std::uint8_t ByteGrid::at(std::int64_t x, std::int64_t y) const
{
    if (!contains(x, y))
        outOfRange(x, y);
    return cells_.get()[offset(x, y)];
}

void ByteGrid::set(std::int64_t x, std::int64_t y, std::uint8_t value)
{
    if (!contains(x, y))
        outOfRange(x, y);
    cells_.get()[offset(x, y)] = value;
}

namespace {

// Runs the steps of one paint: an error ends the step that raised it and the paint goes on
// with the next. A lack of memory is the one error the paint does not keep to itself: the
// picture would silently come out incomplete, so the first one is reported once the paint is
// done.
class Steps {
public:
    template <typename Step>
    void run(Step&& step) noexcept
    {
        try {
            step();
        } catch (const platform::RuntimeError& error) {
            if (error.kind() == ErrorKind::OutOfMemory)
                remember(error);
        } catch (const std::bad_alloc&) {
            remember(platform::RuntimeError(ErrorKind::OutOfMemory,
                                            std::string("There is not enough memory to paint the picture.")));
        } catch (...) {
        }
    }

    void reportLackOfMemory() const noexcept
    {
        if (lackOfMemory_)
            platform::reportError(*lackOfMemory_);
    }

private:
    void remember(const platform::RuntimeError& error) noexcept
    {
        if (!lackOfMemory_)
            lackOfMemory_.emplace(error);
    }

    std::optional<platform::RuntimeError> lackOfMemory_;
};

// The colour of a point depends only on the leading digit of its grid value, so a paint has at
// most ten colours, plus the colour 0 that holds before the first point. Each is worked out once
// per paint; a colour whose rounding overflows sets no pixel.
class Palette {
public:
    static constexpr std::size_t kInitial = 10;

    Palette(std::int32_t colourRange, double maxIt)
    {
        const double factor = static_cast<double>(colourRange) / maxIt;
        for (std::size_t digit = 0; digit < 10; ++digit)
            entries_[digit] = pixelOf(factor * static_cast<double>(digitCode(digit)));
        entries_[kInitial] = pixelOf(0.0);
        for (std::size_t value = 0; value < byValue_.size(); ++value)
            byValue_[value] = entries_[kLeadingDigit[value]];
    }

    struct Entry {
        bool set = false; // false: the colour overflows and the pixel keeps its value
        std::uint8_t red = 0, green = 0, blue = 0;
    };

    const Entry& operator[](std::size_t entry) const { return entries_[entry]; }
    // The entry of a grid value.
    const Entry& ofValue(std::uint8_t value) const { return byValue_[value]; }

private:
    static Entry pixelOf(double colour)
    {
        const double rounded = std::nearbyint(colour);
        if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
            return {};
        const auto c = static_cast<std::int32_t>(rounded);
        return {true, static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c & 0xFF00) / 256),
                static_cast<std::uint8_t>((c & 0xFF0000) / 65535)};
    }

    std::array<Entry, 11> entries_;
    std::array<Entry, 256> byValue_;
};

void setPixel(GetDIBBits::DIBPixel& pixel, const Palette::Entry& entry)
{
    if (entry.set) {
        pixel.Red = entry.red;
        pixel.Green = entry.green;
        pixel.Blue = entry.blue;
    }
}

// Row y where all of it lies in the grid and in the captured bitmap: each point takes its own
// colour and lands in column x - 1 of the bitmap's row y - 1 from the top; column 0 and the
// points beyond the bitmap's width are not shown.
void paintWholeRow(std::int32_t y, std::int32_t lastX, GetDIBBits::DIBPixel* pixels,
                   const Palette& palette)
{
    const std::uint8_t* values = FractalGrid.row(y);
    const std::int32_t shown = std::min(lastX, GetDIBBits::PictureBitmap.bmWidth);
    for (std::int32_t x = 1; x <= shown; ++x)
        setPixel(pixels[x - 1], palette.ofValue(values[x]));
}

void paintRow(std::int32_t y, std::int32_t lastX, const Palette& palette, std::size_t& colour)
{
    if (lastX < 0)
        return;
    if (FractalGrid.contains(lastX, y)) {
        if (GetDIBBits::DIBPixel* pixels = GetDIBBits::PixelRow(y)) {
            paintWholeRow(y, lastX, pixels, palette);
            colour = kLeadingDigit[FractalGrid.row(y)[lastX]];
            return;
        }
    }
    // Point by point; a point outside the grid keeps the colour of the point before it.
    for (std::int32_t x = 0; x <= lastX; ++x) {
        if (FractalGrid.contains(x, y))
            colour = kLeadingDigit[FractalGrid.at(x, y)];
        if (const Palette::Entry& entry = palette[colour]; entry.set)
            GetDIBBits::SetDIBPixel(static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                                    entry.red, entry.green, entry.blue);
    }
}

} // namespace

void DrawFractal(platform::PictureBox& picture, std::int32_t colourRange,
                 platform::ProgressBar& progress) noexcept
{
    using platform::Screen;
    Steps steps;
    steps.run([&] {
        picture.setOuterWidthTwips(static_cast<float>(SnapWidth) * Screen::TwipsPerPixelX());
    });
    steps.run([&] {
        picture.setOuterHeightTwips(static_cast<float>(SnapHeight) * Screen::TwipsPerPixelY());
    });
    steps.run([&] { GetDIBBits::ReadDIBBits(picture.hDC(), picture.imageHandle()); });
    steps.run([&] {
        progress.setMax(static_cast<float>(platform::toInt16(static_cast<double>(SnapHeight) + 1)));
    });

    const Palette palette(colourRange, SnapMaxIt);
    std::size_t colour = Palette::kInitial;
    for (std::int32_t y = 0; y <= SnapHeight; ++y) {
        paintRow(y, SnapWidth, palette, colour);
        steps.run([&] { progress.setValue(progress.Value() + 1.0f); });
    }

    steps.run([&] { progress.setValue(0.0f); });
    steps.run([&] { GetDIBBits::WriteDIBBits(picture.hDC(), picture.imageHandle()); });
    steps.reportLackOfMemory();
}

} // namespace mLoadFractal
