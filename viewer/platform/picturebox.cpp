// SPDX-License-Identifier: MIT
#include "picturebox.h"

#include "runtimeerror.h"
#include "screen.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace platform {
namespace {

std::int16_t shiftCode(Qt::KeyboardModifiers modifiers)
{
    return static_cast<std::int16_t>((modifiers & Qt::ShiftModifier ? 1 : 0) |
                                     (modifiers & Qt::ControlModifier ? 2 : 0) |
                                     (modifiers & Qt::AltModifier ? 4 : 0));
}

std::int16_t buttonCode(Qt::MouseButtons buttons)
{
    return static_cast<std::int16_t>((buttons & Qt::LeftButton ? LeftButton : 0) |
                                     (buttons & Qt::RightButton ? RightButton : 0) |
                                     (buttons & Qt::MiddleButton ? MiddleButton : 0));
}

int twipsToPixels(float twips, const char* dimension)
{
    const double pixels = std::nearbyint(static_cast<double>(twips) / Screen::TwipsPerPixelX());
    // Checked before rounding: a small negative size must not round to a valid 0.
    if (!(twips >= 0.0f && pixels <= QWIDGETSIZE_MAX))
        raiseError(ErrorKind::InvalidPropertyValue,
              QStringLiteral("A picture cannot be %1 twips %2.")
                  .arg(static_cast<double>(twips))
                  .arg(QLatin1String(dimension)));
    return static_cast<int>(pixels);
}

// 0x00BBGGRR, the colour value of the drawing calls, to a pixel.
QRgb toPixel(std::uint32_t colour)
{
    return qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

QColor PictureBox::backColor() const
{
    return palette().color(QPalette::Base);
}

void PictureBox::setInnerSize(int width, int height)
{
    if (image_.width() != width || image_.height() != height) {
        QImage resized;
        if (width > 0 && height > 0) {
            resized = QImage(width, height, QImage::Format_RGB32);
            if (resized.isNull())
                raiseError(ErrorKind::OutOfMemory,
                      QStringLiteral("There is not enough memory for a picture of %1 × %2 pixels.")
                          .arg(width)
                          .arg(height));
            resized.fill(backColor());
            if (!image_.isNull()) {
                QPainter painter(&resized);
                painter.setCompositionMode(QPainter::CompositionMode_Source);
                painter.drawImage(0, 0, image_);
            }
        }
        image_ = resized;
    }
    if (size() != QSize(width, height))
        resize(width, height);
}

void PictureBox::setOuterWidthTwips(float twips)
{
    setInnerSize(twipsToPixels(twips, "wide"), height());
}

void PictureBox::setOuterHeightTwips(float twips)
{
    setInnerSize(width(), twipsToPixels(twips, "high"));
}

void PictureBox::setPicture(const QImage& picture)
{
    picture_ = picture;
}

void PictureBox::Cls()
{
    followSize();
    if (image_.isNull())
        return;
    imageChanged(this);
    if (picture_.size() == image_.size() && picture_.format() == image_.format()) {
        image_ = picture_;
        return;
    }
    image_.fill(backColor());
    if (!picture_.isNull()) {
        QPainter painter(&image_);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, picture_);
    }
}

void PictureBox::setPixelIfInside(int x, int y, QRgb colour)
{
    if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
        reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
}

// A one-pixel solid line, both end points included.
void PictureBox::Line(float x1, float y1, float x2, float y2, std::uint32_t colour)
{
    followSize();
    const QRgb pixel = toPixel(colour);
    auto coordinate = [](float v) {
        return static_cast<long long>(std::nearbyint(std::clamp(static_cast<double>(v), -1e9, 1e9)));
    };
    long long x = coordinate(x1), y = coordinate(y1);
    const long long xEnd = coordinate(x2), yEnd = coordinate(y2);
    const long long dx = std::llabs(xEnd - x), dy = -std::llabs(yEnd - y);
    const int stepX = x < xEnd ? 1 : -1, stepY = y < yEnd ? 1 : -1;
    long long error = dx + dy;
    imageChanged(this);
    for (;;) {
        if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
            setPixelIfInside(static_cast<int>(x), static_cast<int>(y), pixel);
        if (x == xEnd && y == yEnd)
            break;
        const long long twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y += stepY;
        }
    }
}

void PictureBox::Refresh()
{
    if (isVisible())
        repaint();
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    followSize();
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(event->rect(), backColor());
    painter.drawImage(0, 0, image_);
}

void PictureBox::followSize() noexcept
{
    if (image_.size() == size())
        return;
    try {
        setInnerSize(width(), height());
    } catch (const RuntimeError& error) {
        // This can run inside a paint or resize event: the error box waits for the event loop.
        QTimer::singleShot(0, this, [error] { reportError(error); });
    } catch (...) {
        QTimer::singleShot(0, this, [] {
            reportError(RuntimeError(ErrorKind::OutOfMemory,
                                     std::string("There is not enough memory for the picture.")));
        });
    }
}

void PictureBox::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    followSize();
}

void PictureBox::mousePressEvent(QMouseEvent* event)
{
    Q_EMIT MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()),
                     static_cast<float>(event->position().x()),
                     static_cast<float>(event->position().y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    Q_EMIT MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()),
                     static_cast<float>(event->position().x()),
                     static_cast<float>(event->position().y()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    Q_EMIT MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()),
                   static_cast<float>(event->position().x()),
                   static_cast<float>(event->position().y()));
}

} // namespace platform
