// SPDX-License-Identifier: MIT
// Services of the windowing runtime that belong to no control.
#pragma once

namespace platform {

struct Screen {
    // The layout unit is the twip: 1440 to the inch, 15 to a pixel of a 96-dpi screen. The
    // program lays out and sizes in logical pixels, so the ratio is fixed.
    static constexpr float TwipsPerPixelX() { return 15.0f; }
    static constexpr float TwipsPerPixelY() { return 15.0f; }
};

// Lets the user interface process every pending event before it returns.
void DoEvents();

} // namespace platform
