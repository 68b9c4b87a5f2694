// SPDX-License-Identifier: MIT
// Shared set-up of the window tests: the kernel library, a reporter that collects run-time
// errors instead of showing a box, clean module state, a loaded window, and the helpers that
// drive the window as a user would (buttons, fields, mouse drags on the display).
#pragma once

#include "form1.h"
#include "kernelbinding.h"
#include "mloadfractal.h"
#include "platform/runtimeerror.h"
#include "test_support.h"

#include <QApplication>
#include <QImage>
#include <QLocale>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

class QAbstractButton;

// Whether this build runs under the address sanitizer (GCC and clang tell it differently).
#if defined(__SANITIZE_ADDRESS__)
#  define VELDTRA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define VELDTRA_ADDRESS_SANITIZER 1
#  endif
#endif

namespace viewertest {

#if defined(VELDTRA_ADDRESS_SANITIZER)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif

struct ReportedError {
    platform::ErrorKind kind;
    QString message;
};

// Clears the painting and pixel-buffer modules' globals and the dialog's answerer.
void resetModuleState();

// One call of the kernel as the window made it.
struct KernelCall {
    double rmin, rmax, imin, imax, maxIt, mColors;
    std::int32_t width, height, row, col;
    double bailout, stepR, stepI;
    std::uint8_t result;
};

// Sits between the window and the real kernel: every call is forwarded to the library and
// recorded; `onCall` (optional) runs after each call with its index. Calls may come from the
// render's worker threads: they are recorded one at a time, in the order they come, and
// `onCall` runs on the calling thread. A test whose `onCall` touches the window, or that needs
// the calls in the loop's order, renders on one thread (rowworkers::ThreadCountScope).
class KernelSpy {
public:
    KernelSpy();
    ~KernelSpy();
    KernelSpy(const KernelSpy&) = delete;
    KernelSpy& operator=(const KernelSpy&) = delete;

    const std::vector<KernelCall>& calls() const { return calls_; }
    void clear() { calls_.clear(); }
    std::function<void(const KernelCall&, std::size_t)> onCall;

private:
    static std::uint8_t forward(double, double, double, double, double, double, std::int32_t,
                                std::int32_t, std::int32_t, std::int32_t, double, double, double);
    static KernelSpy* active_;
    MandelbrotFn real_ = nullptr;
    std::mutex lock_;
    std::vector<KernelCall> calls_;
    kernelbinding::KernelOverride override_; // the window's kernel calls come here while the spy lives
};

// The real kernel, bound from the built library.
MandelbrotFn realKernel();

// The kernel's result for grid point (col, row) of a render with these field values.
struct View {
    double rmin = -2, rmax = 0.5, imin = -1.25, imax = 1.25, maxIt = 259, mColors = 65536;
    std::int32_t width = 320, height = 240;
};
std::uint8_t expectedPoint(const View& view, std::int32_t col, std::int32_t row);

// The grid of a finished render of `view`: bounds (Width + 2, Height + 2), every computed
// point the kernel's value, the last column and row 0.
::testing::AssertionResult gridHolds(const View& view);

// FractalGrid's bounds and every element, row by row.
struct GridCopy {
    std::int32_t upperX = -1, upperY = -1;
    std::vector<std::uint8_t> values;
};
GridCopy copyGrid();

// First differing pixel, or success; sizes must match.
::testing::AssertionResult sameImage(const QImage& actual, const QImage& expected);

// Window tests. Each test gets a new window on which Form_Load has run, the kernel library
// of this build, clean module state and a reporter that records errors in `errors`.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs before the window is created (a locale, for instance).
    virtual void beforeWindow() {}

    // A further window, loaded like the first.
    std::unique_ptr<form1> newWindow();

    void click(QAbstractButton* button);
    // Clicks Render and expects no error.
    void render();
    void setField(platform::TextBox* field, const QString& text);

    // Mouse on the display, as Qt delivers it: the button that changed on a press or release,
    // the buttons held on a move. Sent as events of their own so that any point works, (0, 0)
    // and points outside the box included (QTest's mouse moves a press at (0, 0) to the centre).
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton);
    void move(QPoint to, Qt::MouseButtons held = Qt::LeftButton);
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton);
    void drag(QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton);

    QStringList windowFields() const;

    std::unique_ptr<form1> f;
    std::vector<ReportedError> errors;

private:
    QLocale savedLocale_;
};

} // namespace viewertest
