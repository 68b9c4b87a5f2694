// SPDX-License-Identifier: MIT
#include "viewer_fixture.h"

#include "getdibbits.h"
#include "platform/commondialog.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace viewertest {

void resetModuleState()
{
    mLoadFractal::FractalGrid = mLoadFractal::ByteGrid{};
    mLoadFractal::SnapMaxIt = 0;
    mLoadFractal::SnapWidth = 0;
    mLoadFractal::SnapHeight = 0;
    GetDIBBits::MemDC = nullptr;
    GetDIBBits::PictureBitmap = {};
    GetDIBBits::DIBHeader = {};
    GetDIBBits::DIBBits.allocate(0);
    platform::CommonDialog::setAnswerer({});
}

// ---- Kernel ------------------------------------------------------------------------------

KernelSpy* KernelSpy::active_ = nullptr;

KernelSpy::KernelSpy() : real_(realKernel()), override_(&KernelSpy::forward)
{
    active_ = this;
}

KernelSpy::~KernelSpy()
{
    active_ = nullptr;
}

std::uint8_t KernelSpy::forward(double rmin, double rmax, double imin, double imax, double maxIt,
                                double mColors, std::int32_t width, std::int32_t height,
                                std::int32_t row, std::int32_t col, double bailout, double stepR,
                                double stepI)
{
    KernelSpy& spy = *active_;
    const std::uint8_t result = spy.real_(rmin, rmax, imin, imax, maxIt, mColors, width, height,
                                          row, col, bailout, stepR, stepI);
    const std::lock_guard hold(spy.lock_);
    spy.calls_.push_back(KernelCall{rmin, rmax, imin, imax, maxIt, mColors, width, height, row,
                                    col, bailout, stepR, stepI, result});
    if (spy.onCall)
        spy.onCall(spy.calls_.back(), spy.calls_.size() - 1);
    return result;
}

GridCopy copyGrid()
{
    using mLoadFractal::FractalGrid;
    GridCopy copy{FractalGrid.upperX(), FractalGrid.upperY(), {}};
    for (std::int32_t y = 0; y <= copy.upperY; ++y)
        for (std::int32_t x = 0; x <= copy.upperX; ++x)
            copy.values.push_back(FractalGrid.at(x, y));
    return copy;
}

MandelbrotFn realKernel()
{
    // Bound once through the program's own binding; the library stays loaded for the process.
    static MandelbrotFn kernel = [] {
        kernelbinding::setLibraryPaths({QStringLiteral(ZORVAKEL_LIBRARY_PATH)});
        return kernelbinding::bind();
    }();
    return kernel;
}

std::uint8_t expectedPoint(const View& v, std::int32_t col, std::int32_t row)
{
    const double stepR = (v.rmax - v.rmin) / (v.width - 1.0);
    const double stepI = (v.imax - v.imin) / (v.height - 1.0);
    return realKernel()(v.rmin, v.rmax, v.imin, v.imax, v.maxIt, v.mColors, v.width, v.height, row,
                        col, 4.0, stepR, stepI);
}

::testing::AssertionResult gridHolds(const View& view)
{
    const mLoadFractal::ByteGrid& grid = mLoadFractal::FractalGrid;
    const std::int32_t lastX = view.width + 2, lastY = view.height + 2;
    if (grid.upperX() != lastX || grid.upperY() != lastY)
        return ::testing::AssertionFailure() << "grid bounds " << grid.upperX() << ", " << grid.upperY();
    for (std::int32_t y = 0; y <= lastY; ++y)
        for (std::int32_t x = 0; x <= lastX; ++x) {
            const int expected = (x == lastX || y == lastY) ? 0 : expectedPoint(view, x, y);
            if (grid.at(x, y) != expected)
                return ::testing::AssertionFailure() << "grid point (" << x << ", " << y << ") is "
                                                     << int(grid.at(x, y)) << ", expected " << expected;
        }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameImage(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure()
               << "size " << actual.width() << "x" << actual.height() << ", expected "
               << expected.width() << "x" << expected.height();
    const QImage a = actual.convertToFormat(QImage::Format_RGB32);
    const QImage e = expected.convertToFormat(QImage::Format_RGB32);
    // #rrggbb; each item streamed into the result is formatted afresh, so std::hex would not hold.
    auto hex = [](QRgb pixel) {
        return "#" + QString::number(pixel & 0xFFFFFF, 16).rightJustified(6, u'0').toStdString();
    };
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (qRgb(qRed(a.pixel(x, y)), qGreen(a.pixel(x, y)), qBlue(a.pixel(x, y))) !=
                qRgb(qRed(e.pixel(x, y)), qGreen(e.pixel(x, y)), qBlue(e.pixel(x, y))))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << hex(a.pixel(x, y))
                       << ", expected " << hex(e.pixel(x, y));
    return ::testing::AssertionSuccess();
}

// ---- Fixture -----------------------------------------------------------------------------

void ViewerTest::SetUp()
{
    savedLocale_ = QLocale();
    kernelbinding::setLibraryPaths({QStringLiteral(ZORVAKEL_LIBRARY_PATH)});
    platform::setErrorReporter([this](const platform::RuntimeError& error) {
        errors.push_back({error.kind(), QString::fromUtf8(error.what())});
    });
    resetModuleState();
    beforeWindow();
    f = newWindow();
}

void ViewerTest::TearDown()
{
    f.reset();
    platform::setErrorReporter({});
    platform::CommonDialog::setAnswerer({});
    kernelbinding::setLibraryPaths({});
    QLocale::setDefault(savedLocale_);
}

std::unique_ptr<form1> ViewerTest::newWindow()
{
    auto window = std::make_unique<form1>();
    platform::runEventProcedure([&] { window->Form_Load(); });
    return window;
}

void ViewerTest::click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

void ViewerTest::render()
{
    const std::size_t before = errors.size();
    click(f->cmdRender);
    EXPECT_EQ(errors.size(), before) << "the render failed: " << errors.back().message.toStdString();
}

void ViewerTest::setField(platform::TextBox* field, const QString& text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    ASSERT_EQ(field->Text(), text);
}

namespace {

void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
               QPoint at)
{
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

void ViewerTest::press(QPoint at, Qt::MouseButton button)
{
    sendMouse(f->PicDisp, QEvent::MouseButtonPress, button, button, at);
}

void ViewerTest::move(QPoint to, Qt::MouseButtons held)
{
    sendMouse(f->PicDisp, QEvent::MouseMove, Qt::NoButton, held, to);
}

void ViewerTest::release(QPoint at, Qt::MouseButton button)
{
    sendMouse(f->PicDisp, QEvent::MouseButtonRelease, button, Qt::NoButton, at);
}

void ViewerTest::drag(QPoint from, QPoint to, Qt::MouseButton button)
{
    press(from, button);
    move(to, button);
    release(to, button);
}

QStringList ViewerTest::windowFields() const
{
    return {f->txtRmin->Text(), f->txtRmax->Text(), f->txtImin->Text(), f->txtImax->Text()};
}

} // namespace viewertest
