// SPDX-License-Identifier: MIT
// The painting module: the grid of colour indices that a render fills, the snapshot of the
// size and limit it was rendered with, and the painting of that grid into a picture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace platform {
class PictureBox;
class ProgressBar;
} // namespace platform

namespace mLoadFractal {

// A two-dimensional array of bytes, indices (x, y) from (0, 0) to (upperX, upperY), x varying
// fastest in one contiguous block. Every access is bounds-checked.
class ByteGrid {
public:
    // Discards the old contents and creates the grid with every element 0. Raises
    // SubscriptOutOfRange for a negative upper bound and OutOfMemory where the block cannot be
    // had; the grid is then empty.
    void recreate(std::int32_t upperX, std::int32_t upperY);

    bool empty() const { return !cells_; }
    std::int32_t upperX() const { return upperX_; }
    std::int32_t upperY() const { return upperY_; }
    bool contains(std::int64_t x, std::int64_t y) const
    {
        return cells_ && x >= 0 && y >= 0 && x <= upperX_ && y <= upperY_;
    }

    // Row y's elements, x from 0 to upperX; y must lie within the bounds.
    const std::uint8_t* row(std::int32_t y) const { return cells_.get() + offset(0, y); }
    std::uint8_t* row(std::int32_t y) { return cells_.get() + offset(0, y); }

    // Raise SubscriptOutOfRange outside the bounds or while the grid has no elements.
    std::uint8_t at(std::int64_t x, std::int64_t y) const;
    void set(std::int64_t x, std::int64_t y, std::uint8_t value);

private:
    [[noreturn]] void outOfRange(std::int64_t x, std::int64_t y) const;
    std::size_t offset(std::int64_t x, std::int64_t y) const
    {
        return static_cast<std::size_t>(y * (static_cast<std::int64_t>(upperX_) + 1) + x);
    }

    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> cells_;
    std::int32_t upperX_ = -1;
    std::int32_t upperY_ = -1;
};

inline ByteGrid FractalGrid;
inline double SnapMaxIt = 0;
inline std::int16_t SnapWidth = 0;
inline std::int16_t SnapHeight = 0;

// Paints FractalGrid into `picture` at the snapshot's size with the given colour range, and
// shows progress per row on `progress`. Each step that fails is skipped and the paint goes on
// with the next one; nothing is raised. A step that fails for lack of memory is reported to the
// unhandled-error handler once the paint is done, since the picture is then incomplete.
void DrawFractal(platform::PictureBox& picture, std::int32_t colourRange,
                 platform::ProgressBar& progress) noexcept;

// Only the leading decimal digit of a grid value picks its colour: the colour is the colour range
// over MaxIt times the character code of that digit ('0' to '9', 48 to 57). Painting reads both
// from here.
inline constexpr std::array<std::uint8_t, 256> kLeadingDigit = [] {
    std::array<std::uint8_t, 256> digits{};
    for (unsigned value = 0; value < digits.size(); ++value) {
        unsigned v = value;
        while (v >= 10)
            v /= 10;
        digits[value] = static_cast<std::uint8_t>(v);
    }
    return digits;
}();

constexpr std::uint8_t digitCode(std::size_t digit)
{
    return static_cast<std::uint8_t>('0' + digit);
}

} // namespace mLoadFractal
