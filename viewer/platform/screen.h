// SPDX-License-Identifier: MIT
// The screen's layout unit, the twip, in pixels.
#pragma once

namespace platform {

struct Screen {
    // The layout unit is the twip: 1440 to the inch, 15 to a pixel of a 96-dpi screen. The
    // program lays out and sizes in logical pixels, so the ratio is fixed.
    static constexpr float TwipsPerPixelX() { return 15.0f; }
    static constexpr float TwipsPerPixelY() { return 15.0f; }
};

} // namespace platform
