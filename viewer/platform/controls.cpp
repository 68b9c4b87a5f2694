// SPDX-License-Identifier: MIT
#include "controls.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QTimer>

#include <cmath>

namespace platform {

Label::Label(const QString& caption, QWidget* parent) : QLabel(caption, parent)
{
    setTextFormat(Qt::PlainText);
}

void Label::setCaption(const QString& caption)
{
    setText(caption);
    fitCaption();
}

void Label::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    fitCaption();
}

void Label::moveEvent(QMoveEvent* event)
{
    QLabel::moveEvent(event);
    fitCaption();
}

void Label::fitCaption()
{
    constexpr int kSmallestPixels = 7;
    const int visibleWidth =
        parentWidget() ? geometry().intersected(parentWidget()->rect()).width() : width();
    const QFont inherited = parentWidget() ? parentWidget()->font() : QApplication::font();
    QFont fitting = inherited;
    int pixels = QFontInfo(fitting).pixelSize();
    while (QFontMetrics(fitting).horizontalAdvance(text()) > visibleWidth && pixels > kSmallestPixels)
        fitting.setPixelSize(--pixels);
    if (fitting == inherited)
        setFont(QFont()); // follow the window's font again
    else
        setFont(fitting);
}

CommandButton::CommandButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent)
{
    setAutoDefault(false);
    setDefault(false);
    connect(this, &QPushButton::clicked, this, &CommandButton::Click);
}

void CommandButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter) {
        QPushButton::keyPressEvent(event);
        return;
    }
    // A held key presses once, as a held Space does.
    if (!event->isAutoRepeat())
        click();
    event->accept();
}

Slider::Slider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    connect(this, &QSlider::sliderMoved, this, &Slider::Scroll);
    connect(this, &QSlider::valueChanged, this, &Slider::Change);
}

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, kSteps);
    QProgressBar::setValue(0);
    setTextVisible(false);
    sincePaint_.start();
    catchUp_ = new QTimer(this);
    catchUp_->setSingleShot(true);
    catchUp_->setInterval(16);
    connect(catchUp_, &QTimer::timeout, this, [this] { showValue(true); });
}

int ProgressBar::stepsOfValue() const
{
    if (!(max_ > 0.0f))
        return 0;
    const double fraction = static_cast<double>(value_) / static_cast<double>(max_);
    return static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kSteps));
}

void ProgressBar::setMax(float max)
{
    max_ = max;
    showValue(true);
}

void ProgressBar::setValue(float value)
{
    value_ = value;
    // A return to the start, the end, or a first step after a pause is shown at once; steps in
    // quick succession wait for the next screen refresh.
    const int steps = stepsOfValue();
    showValue(steps == 0 || steps == kSteps || sincePaint_.elapsed() >= 16);
}

void ProgressBar::showValue(bool immediately)
{
    const int steps = stepsOfValue();
    if (steps == stepsOnScreen())
        return;
    if (immediately) {
        QProgressBar::setValue(steps); // repaints synchronously when the bar changes
        sincePaint_.restart();
        return;
    }
    if (!catchUp_->isActive())
        catchUp_->start();
}

} // namespace platform
