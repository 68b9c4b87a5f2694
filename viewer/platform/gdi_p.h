// SPDX-License-Identifier: MIT
// What the graphics handles stand for; known to the platform layer only.
#pragma once

#include "gdi.h"

class QImage;

namespace platform {

struct DeviceContext {
    QImage* surface; // the image drawn into; null for a memory context
    bool memory;
};

struct BitmapObject {
    QImage* image;
};

} // namespace platform
