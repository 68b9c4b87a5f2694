// SPDX-License-Identifier: MIT
#pragma once

#include "gdi.h"
#include "gdihandles.h"

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace platform {

// Mouse button codes of picture-box events: on a press or release the button that changed,
// on a move the sum of the buttons held.
enum MouseButtonCode : std::int16_t { LeftButton = 1, RightButton = 2, MiddleButton = 4 };

// A picture box: a borderless widget that keeps a persistent image of its inner area. Drawing
// goes into the image (through its device context or with Line); Refresh puts the image on
// screen at once, and every change of the image reaches the screen by itself as soon as the
// event loop runs, so the screen never keeps what the image no longer holds. The image follows
// the box's size. Cls restores the background picture, or fills the
// image with the background colour where there is none. Coordinates are pixels of the inner
// area with (0, 0) at its top-left corner.
class PictureBox : public QWidget {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);

    HDC hDC() { return followSize(), &context_; }
    HBITMAP imageHandle() { return followSize(), &bitmap_; }
    const QImage& image() { return followSize(), image_; }

    float ScaleWidth() { return followSize(), static_cast<float>(image_.width()); }
    float ScaleHeight() { return followSize(), static_cast<float>(image_.height()); }

    // Outer size in twips (15 to the pixel). A negative or non-finite size raises
    // InvalidPropertyValue; an image that cannot be allocated raises OutOfMemory and leaves
    // the box as it was.
    void setOuterWidthTwips(float twips);
    void setOuterHeightTwips(float twips);
    void setInnerSize(int width, int height);

    void setPicture(const QImage& picture);
    void Cls();
    void Line(float x1, float y1, float x2, float y2, std::uint32_t colour);
    void Refresh();

    QColor backColor() const;

Q_SIGNALS:
    void MouseDown(std::int16_t button, std::int16_t shift, float x, float y);
    void MouseMove(std::int16_t button, std::int16_t shift, float x, float y);
    void MouseUp(std::int16_t button, std::int16_t shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Brings the image to the widget's size. A hidden widget gets no resize events, so every
    // use of the image checks first.
    void followSize() noexcept;
    void setPixelIfInside(int x, int y, QRgb colour);

    QImage image_;
    QImage picture_;
    DeviceContext context_{&image_, false, this};
    BitmapObject bitmap_{&image_, this};
};

} // namespace platform
