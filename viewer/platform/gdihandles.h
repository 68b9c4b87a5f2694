// SPDX-License-Identifier: MIT
// What the graphics handles (HDC, HBITMAP) stand for. The graphics operations read them, and a
// picture box owns the handles of its image (so picturebox.h includes this); code above the
// platform layer only passes the handles on.
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
