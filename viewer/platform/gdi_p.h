// SPDX-License-Identifier: MIT
// What the graphics handles stand for; known to the platform layer only.
#pragma once

#include "gdi.h"

class QImage;
class QWidget;

namespace platform {

struct DeviceContext {
    QImage* surface; // the image drawn into; null for a memory context
    bool memory;
    QWidget* view = nullptr; // the widget that shows `surface`, told when it changes
};

struct BitmapObject {
    QImage* image;
    QWidget* view = nullptr; // the widget that shows `image`, told when it changes
};

// Asks the widget that shows a changed image, if any, to repaint it once the event loop runs.
void imageChanged(QWidget* view);

} // namespace platform
