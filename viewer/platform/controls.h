// SPDX-License-Identifier: MIT
// The simple controls of the window: labels, command buttons, the slider and the progress bar.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <cstdint>

namespace platform {

// A label of fixed place and size. Where the caption is wider than the part of the label that
// lies inside its window (the layout was made for a narrower font than some desktops use), the
// label's font is made smaller until the caption fits, so no text is ever cut off.
class Label : public QLabel {
    Q_OBJECT

public:
    explicit Label(const QString& caption, QWidget* parent = nullptr);
    void setCaption(const QString& caption);
    QString Caption() const { return text(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void fitCaption();
};

// A push button that is never the window's default button. With the keyboard focus it is
// pressed with Space, as every button is, and with Enter or Return; Enter elsewhere in the
// window presses no button.
class CommandButton : public QPushButton {
    Q_OBJECT

public:
    explicit CommandButton(const QString& caption, QWidget* parent = nullptr);

Q_SIGNALS:
    void Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A horizontal slider over 32-bit integers. Scroll reports every move of the thumb while it is
// dragged; Change reports every change of the value, also one made by the program.
class Slider : public QSlider {
    Q_OBJECT

public:
    explicit Slider(QWidget* parent = nullptr);
    std::int32_t Value() const { return value(); }
    std::int32_t Min() const { return minimum(); }
    std::int32_t Max() const { return maximum(); }

Q_SIGNALS:
    void Scroll();
    void Change();
};

// A horizontal progress bar whose maximum and value are single-precision numbers, held exactly
// as set. The bar on screen shows Value against Max and advances while the caller blocks the
// event loop: a change of what it shows is painted at once, at most about once per screen
// refresh, and the latest value always reaches the screen.
class ProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit ProgressBar(QWidget* parent = nullptr);
    float Max() const { return max_; }
    float Value() const { return value_; }
    void setMax(float max);
    void setValue(float value);

    // The thousandths of the bar painted on screen (Value against Max, as last shown).
    int stepsOnScreen() const { return QProgressBar::value(); }

private:
    // QProgressBar's value() counts stepsOnScreen, not Value: hidden so that neither is read
    // for the other.
    using QProgressBar::value;

    static constexpr int kSteps = 1000;
    int stepsOfValue() const; // the thousandths that Value against Max comes to
    void showValue(bool immediately); // brings the bar on screen to Value

    float max_ = 100.0f;
    float value_ = 0.0f;
    QElapsedTimer sincePaint_;
    QTimer* catchUp_; // shows the latest value once the event loop runs again
};

} // namespace platform
