// SPDX-License-Identifier: MIT
// Render: how the grid is created and filled through the kernel, the order of the steps the
// user sees, the sizes that work and the ones that stop the render, and the display step.
#include "viewer_fixture.h"

#include "rowworkers.h"

#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>
#include <optional>
#include <tuple>

using namespace viewertest;
using mLoadFractal::FractalGrid;
using platform::ErrorKind;

namespace {

// Every point of the default view's grid: the kernel's value for columns 0..321 and rows
// 0..241, zero in the last column and row, which the loops never reach.
::testing::AssertionResult gridHoldsDefaultView()
{
    return gridHolds(View{});
}

// The highest value the progress bar showed while it was watched.
class ProgressWatch {
public:
    explicit ProgressWatch(platform::ProgressBar* bar)
    {
        connection_ = QObject::connect(bar, &QProgressBar::valueChanged, bar,
                                       [this, bar] { highest_ = std::max(highest_, bar->Value()); });
    }
    ~ProgressWatch() { QObject::disconnect(connection_); }
    float highest() const { return highest_; }

private:
    QMetaObject::Connection connection_;
    float highest_ = 0.0f;
};

} // namespace

// ---- The default view -------------------------------------------------------------------

using RenderTest = ViewerTest;

TEST_F(RenderTest, DefaultViewCallsKernelOncePerPointRowByRow)
{
    // The spy's hook reads the window and the calls' order is checked: the loop on one thread.
    rowworkers::ThreadCountScope oneThread(1);
    KernelSpy spy;
    std::vector<float> barAtRowStart;
    spy.onCall = [&](const KernelCall& call, std::size_t) {
        if (call.col == 0)
            barAtRowStart.push_back(f->PB1->Value());
        EXPECT_EQ(f->PB1->Max(), 242.0f);
    };
    click(f->cmdReset); // the render must clear a pending zoom
    render();

    ASSERT_EQ(spy.calls().size(), 322u * 242u);
    for (std::size_t k = 0; k < spy.calls().size(); ++k) {
        const KernelCall& c = spy.calls()[k];
        ASSERT_EQ(c.row, static_cast<std::int32_t>(k / 322)) << "call " << k;
        ASSERT_EQ(c.col, static_cast<std::int32_t>(k % 322)) << "call " << k;
        ASSERT_EQ(c.rmin, -2.0);
        ASSERT_EQ(c.rmax, 0.5);
        ASSERT_EQ(c.imin, -1.25);
        ASSERT_EQ(c.imax, 1.25);
        ASSERT_EQ(c.maxIt, 259.0);
        ASSERT_EQ(c.mColors, 65536.0);
        ASSERT_EQ(c.width, 320);
        ASSERT_EQ(c.height, 240);
        ASSERT_EQ(c.bailout, 4.0);
        ASSERT_EQ(c.stepR, 2.5 / 319);
        ASSERT_EQ(c.stepI, 2.5 / 239);
    }
    // The bar advances once per finished row.
    ASSERT_EQ(barAtRowStart.size(), 242u);
    for (std::size_t row = 0; row < barAtRowStart.size(); ++row)
        EXPECT_EQ(barAtRowStart[row], static_cast<float>(row));

    EXPECT_TRUE(gridHoldsDefaultView());
    EXPECT_EQ(mLoadFractal::SnapMaxIt, 259.0);
    EXPECT_EQ(mLoadFractal::SnapWidth, 320);
    EXPECT_EQ(mLoadFractal::SnapHeight, 240);
    EXPECT_EQ(f->PB1->Max(), 241.0f); // set by the paint that follows
    EXPECT_EQ(f->PB1->Value(), 0.0f);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_TRUE(f->PicDisp->isEnabled());
    EXPECT_TRUE(f->cmdReload->isEnabled());
    EXPECT_FALSE(f->ZoomPending);
    EXPECT_EQ(f->PicHidden->image().size(), QSize(320, 240));
    EXPECT_TRUE(errors.empty());
}

// What the user can see between the steps: pending events run once the caption reads
// "Rendering..." (before the display is disabled or the grid touched), and again once it reads
// "Drawing...", when the grid is complete, the bar is back at 0 and the snapshot and picture
// are still those of the previous render.
TEST_F(RenderTest, StepsBecomeVisibleInOrder)
{
    // The spy's hook counts on the last call being the loop's last point: the loop on one thread.
    rowworkers::ThreadCountScope oneThread(1);
    setField(f->txtWidth, QStringLiteral("100"));
    setField(f->txtHeight, QStringLiteral("80"));
    render();
    setField(f->txtWidth, QStringLiteral("320"));
    setField(f->txtHeight, QStringLiteral("240"));

    struct Seen {
        QString caption;
        bool displayEnabled;
        std::int32_t gridUpperX;
        float barMax, barValue;
        std::int16_t snapWidth;
        QSize hidden;
    };
    auto look = [this] {
        return Seen{f->lblProcess->Caption(), f->PicDisp->isEnabled(), FractalGrid.upperX(),
                    f->PB1->Max(), f->PB1->Value(), mLoadFractal::SnapWidth, f->PicHidden->image().size()};
    };
    std::optional<Seen> rendering, drawing;
    QTimer::singleShot(0, f.get(), [&] { rendering = look(); });
    KernelSpy spy;
    spy.onCall = [&](const KernelCall&, std::size_t index) {
        if (index == 322u * 242u - 1)
            QTimer::singleShot(0, f.get(), [&] { drawing = look(); });
    };
    render();

    ASSERT_TRUE(rendering);
    EXPECT_EQ(rendering->caption, QStringLiteral("Rendering..."));
    EXPECT_TRUE(rendering->displayEnabled);
    EXPECT_EQ(rendering->gridUpperX, 102);
    EXPECT_EQ(rendering->barMax, 81.0f);

    ASSERT_TRUE(drawing);
    EXPECT_EQ(drawing->caption, QStringLiteral("Drawing..."));
    EXPECT_FALSE(drawing->displayEnabled);
    EXPECT_EQ(drawing->gridUpperX, 322);
    EXPECT_EQ(drawing->barMax, 242.0f);
    EXPECT_EQ(drawing->barValue, 0.0f);
    EXPECT_EQ(drawing->snapWidth, 100);
    EXPECT_EQ(drawing->hidden, QSize(100, 80));

    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_EQ(f->PicHidden->image().size(), QSize(320, 240));
}

// Pins an intended behaviour (docs/behaviour.md): a size or MaxIt typed while the status reads
// "Drawing..." is recorded for the paint, but the grid stays the one computed before it.
TEST_F(RenderTest, EditWhileDrawingReachesTheSnapshotNotTheGrid)
{
    // The spy's hook counts on the last call being the loop's last point: the loop on one thread.
    rowworkers::ThreadCountScope oneThread(1);
    QString captionAtEdit;
    KernelSpy spy;
    spy.onCall = [&](const KernelCall&, std::size_t index) {
        if (index != 322u * 242u - 1)
            return;
        QTimer::singleShot(0, f.get(), [&] {
            captionAtEdit = f->lblProcess->Caption();
            f->txtWidth->setText(QStringLiteral("100"));
            f->txtHeight->setText(QStringLiteral("80"));
            f->txtMaxIt->setText(QStringLiteral("50"));
        });
    };
    render();

    EXPECT_EQ(captionAtEdit, QStringLiteral("Drawing..."));
    EXPECT_TRUE(gridHoldsDefaultView());
    EXPECT_EQ(mLoadFractal::SnapWidth, 100);
    EXPECT_EQ(mLoadFractal::SnapHeight, 80);
    EXPECT_EQ(mLoadFractal::SnapMaxIt, 50.0);
    ASSERT_EQ(f->PicHidden->image().size(), QSize(100, 80));
    // The picture is the default grid's top-left part, painted with the new MaxIt.
    platform::PictureBox expected;
    platform::ProgressBar bar;
    mLoadFractal::DrawFractal(expected, f->Slider1->Value(), bar);
    EXPECT_TRUE(sameImage(f->PicHidden->image(), expected.image()));
}

// ---- How the fields are read ------------------------------------------------------------

// The eight fields are read again for every point, the column limit at the start of every row;
// the steps and the row limit once, before the loops.
TEST_F(RenderTest, FieldsAreReadAgainAtEveryPoint)
{
    // Fields can change between two points only through the spy's hook, which runs inside the
    // kernel call: the loop on one thread, where the hook can touch the window.
    rowworkers::ThreadCountScope oneThread(1);
    setField(f->txtWidth, QStringLiteral("10"));
    setField(f->txtHeight, QStringLiteral("6"));
    KernelSpy spy;
    spy.onCall = [&](const KernelCall&, std::size_t index) {
        if (index != 5)
            return;
        f->txtRmin->setText(QStringLiteral("-1"));
        f->txtImax->setText(QStringLiteral("2"));
        f->txtMaxIt->setText(QStringLiteral("100"));
        f->txtMColors->setText(QStringLiteral("300"));
        f->txtWidth->setText(QStringLiteral("5"));
        f->txtHeight->setText(QStringLiteral("3"));
    };
    render();

    EXPECT_EQ(FractalGrid.upperX(), 12);
    EXPECT_EQ(FractalGrid.upperY(), 8);
    // Row 0 keeps the column limit it started with (11); rows 1..7 take the new one (6); the
    // row limit stays 7.
    std::vector<std::pair<std::int32_t, std::int32_t>> expectedPoints;
    for (std::int32_t col = 0; col <= 11; ++col)
        expectedPoints.emplace_back(0, col);
    for (std::int32_t row = 1; row <= 7; ++row)
        for (std::int32_t col = 0; col <= 6; ++col)
            expectedPoints.emplace_back(row, col);
    ASSERT_EQ(spy.calls().size(), expectedPoints.size());
    for (std::size_t k = 0; k < spy.calls().size(); ++k) {
        const KernelCall& c = spy.calls()[k];
        SCOPED_TRACE(::testing::Message() << "call " << k);
        EXPECT_EQ(std::make_pair(c.row, c.col), expectedPoints[k]);
        const bool after = k > 5;
        EXPECT_EQ(c.rmin, after ? -1.0 : -2.0);
        EXPECT_EQ(c.imax, after ? 2.0 : 1.25);
        EXPECT_EQ(c.maxIt, after ? 100.0 : 259.0);
        EXPECT_EQ(c.mColors, after ? 300.0 : 65536.0);
        EXPECT_EQ(c.width, after ? 5 : 10);
        EXPECT_EQ(c.height, after ? 3 : 6);
        EXPECT_EQ(c.stepR, 2.5 / 9);
        EXPECT_EQ(c.stepI, 2.5 / 5);
        EXPECT_EQ(FractalGrid.at(c.col, c.row), c.result);
    }
    // The snapshot is taken after the loops, from the fields as they are then.
    EXPECT_EQ(mLoadFractal::SnapMaxIt, 100.0);
    EXPECT_EQ(mLoadFractal::SnapWidth, 5);
    EXPECT_EQ(mLoadFractal::SnapHeight, 3);
}

// Sizes with a fraction: the bounds and limits round half to even, the kernel gets the 16-bit
// rounding, and the bar's maximum keeps the fraction.
TEST_F(RenderTest, FractionalSizesRoundHalfToEven)
{
    // The spy's hook reads the window and the calls' order is checked: the loop on one thread.
    rowworkers::ThreadCountScope oneThread(1);
    setField(f->txtWidth, QStringLiteral("2.5"));
    setField(f->txtHeight, QStringLiteral("3.5"));
    KernelSpy spy;
    std::vector<float> barMax;
    spy.onCall = [&](const KernelCall&, std::size_t) { barMax.push_back(f->PB1->Max()); };
    render();

    EXPECT_EQ(FractalGrid.upperX(), 4); // 4.5 -> 4
    EXPECT_EQ(FractalGrid.upperY(), 6); // 5.5 -> 6
    ASSERT_EQ(spy.calls().size(), 25u); // rows 0..4 (4.5 -> 4), columns 0..4 (3.5 -> 4)
    EXPECT_EQ(spy.calls().back().row, 4);
    EXPECT_EQ(spy.calls().back().col, 4);
    for (const KernelCall& c : spy.calls()) {
        EXPECT_EQ(c.width, 2);  // 2.5 -> 2
        EXPECT_EQ(c.height, 4); // 3.5 -> 4
        EXPECT_EQ(c.stepR, 2.5 / 1.5);
        EXPECT_EQ(c.stepI, 2.5 / 2.5);
    }
    ASSERT_FALSE(barMax.empty());
    EXPECT_EQ(barMax.front(), 5.5f);
    EXPECT_EQ(mLoadFractal::SnapWidth, 2);
    EXPECT_EQ(mLoadFractal::SnapHeight, 4);
}

// ---- Small and degenerate sizes that render without error --------------------------------

struct PassingSize {
    const char* name;
    const char* width;
    const char* height;
    std::int32_t upperX, upperY;
    std::size_t calls;
    float barClimbsTo;
};

void PrintTo(const PassingSize& s, std::ostream* os) { *os << s.name; }

class RenderPassingSizeTest : public ViewerTest, public ::testing::WithParamInterface<PassingSize> {};

TEST_P(RenderPassingSizeTest, RendersWithoutError)
{
    const PassingSize& p = GetParam();
    setField(f->txtWidth, QString::fromLatin1(p.width));
    setField(f->txtHeight, QString::fromLatin1(p.height));
    KernelSpy spy;
    ProgressWatch watch(f->PB1);
    render();

    EXPECT_EQ(FractalGrid.upperX(), p.upperX);
    EXPECT_EQ(FractalGrid.upperY(), p.upperY);
    EXPECT_EQ(spy.calls().size(), p.calls);
    for (const KernelCall& c : spy.calls())
        EXPECT_EQ(FractalGrid.at(c.col, c.row), c.result);
    EXPECT_EQ(watch.highest(), p.barClimbsTo);
    EXPECT_EQ(mLoadFractal::SnapWidth, QString::fromLatin1(p.width).toInt());
    EXPECT_EQ(mLoadFractal::SnapHeight, QString::fromLatin1(p.height).toInt());
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_TRUE(f->PicDisp->isEnabled());
    EXPECT_TRUE(f->cmdReload->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RenderPassingSizeTest,
    ::testing::Values(
        PassingSize{"WidthZero", "0", "240", 2, 242, 2u * 242u, 242.0f},
        PassingSize{"WidthMinusOne", "-1", "240", 1, 242, 242u, 242.0f},
        // One column and no point computed, yet every row advances the bar.
        PassingSize{"WidthMinusTwo", "-2", "5", 0, 7, 0u, 7.0f},
        PassingSize{"HeightMinusTwo", "320", "-2", 322, 0, 0u, 0.0f}),
    [](const ::testing::TestParamInfo<PassingSize>& info) { return std::string(info.param.name); });

// ---- Renders that stop ------------------------------------------------------------------

enum class GridAfter { Unchanged, Recreated, Empty };

struct FailingRender {
    const char* name;
    std::vector<std::pair<const char*, const char*>> fields; // caption -> text
    ErrorKind kind;
    const char* messageNames; // text the message must contain, or empty
    GridAfter grid;
    std::int32_t upperX, upperY; // for Recreated
    std::size_t calls;           // kernel calls made before the failure
    float barMax, barValue;
};

void PrintTo(const FailingRender& r, std::ostream* os) { *os << r.name; }

// Each failing render on one thread (the single loop) and on three (rows shared out): both stop
// at the same point with the same grid, bar and captions.
class RenderFailureTest : public ViewerTest,
                          public ::testing::WithParamInterface<std::tuple<FailingRender, int>> {
protected:
    platform::TextBox* fieldNamed(const char* caption)
    {
        for (platform::TextBox* box : {f->txtRmin, f->txtRmax, f->txtImin, f->txtImax, f->txtMaxIt,
                                       f->txtMColors, f->txtWidth, f->txtHeight})
            if (box->caption() == QLatin1String(caption))
                return box;
        ADD_FAILURE() << "no field " << caption;
        return f->txtRmin;
    }

    void restoreDefaults()
    {
        click(f->cmdReset);
        setField(f->txtMaxIt, QStringLiteral("259"));
        setField(f->txtMColors, QStringLiteral("65536"));
        setField(f->txtWidth, QStringLiteral("320"));
        setField(f->txtHeight, QStringLiteral("240"));
    }
};

// A failure ends the render where it happens: the error is reported, the caption, the disabled
// display, the bar and the grid stay as the failure left them, the snapshot, the pictures and
// the pending zoom are those from before; the next good render puts everything right. Pins an
// intended behaviour (docs/behaviour.md): "Rendering..." and the disabled display stay.
TEST_P(RenderFailureTest, StopsAtTheFailingStepAndRecovers)
{
    const FailingRender& p = std::get<0>(GetParam());
    rowworkers::ThreadCountScope threads(std::get<1>(GetParam()));
    render();
    const GridCopy before = copyGrid();
    const QImage hiddenBefore = f->PicHidden->image();
    const QImage displayBefore = f->PicDisp->image();
    click(f->cmdReset);
    ASSERT_TRUE(f->ZoomPending);
    for (const auto& [caption, text] : p.fields)
        setField(fieldNamed(caption), QString::fromLatin1(text));

    {
        KernelSpy spy;
        click(f->cmdRender);

        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].kind, p.kind) << errors[0].message.toStdString();
        EXPECT_TRUE(errors[0].message.contains(QString::fromUtf8(p.messageNames)))
            << errors[0].message.toStdString();
        EXPECT_EQ(spy.calls().size(), p.calls);

        switch (p.grid) {
        case GridAfter::Unchanged: {
            const GridCopy after = copyGrid();
            EXPECT_EQ(after.upperX, before.upperX);
            EXPECT_EQ(after.upperY, before.upperY);
            EXPECT_TRUE(after.values == before.values);
            break;
        }
        case GridAfter::Empty:
            EXPECT_TRUE(FractalGrid.empty());
            break;
        case GridAfter::Recreated: {
            ASSERT_EQ(FractalGrid.upperX(), p.upperX);
            ASSERT_EQ(FractalGrid.upperY(), p.upperY);
            // The points computed so far hold the kernel's values, all others are 0.
            std::vector<bool> computed(static_cast<std::size_t>(p.upperX + 1) * (p.upperY + 1));
            for (const KernelCall& c : spy.calls()) {
                EXPECT_EQ(FractalGrid.at(c.col, c.row), c.result);
                computed[static_cast<std::size_t>(c.row) * (p.upperX + 1) + c.col] = true;
            }
            std::size_t stray = 0;
            for (std::int32_t y = 0; y <= p.upperY; ++y)
                for (std::int32_t x = 0; x <= p.upperX; ++x)
                    if (!computed[static_cast<std::size_t>(y) * (p.upperX + 1) + x] && FractalGrid.at(x, y) != 0)
                        ++stray;
            EXPECT_EQ(stray, 0u);
            break;
        }
        }
    }
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("Rendering..."));
    EXPECT_FALSE(f->PicDisp->isEnabled());
    EXPECT_EQ(f->PB1->Max(), p.barMax);
    EXPECT_EQ(f->PB1->Value(), p.barValue);
    EXPECT_EQ(mLoadFractal::SnapMaxIt, 259.0);
    EXPECT_EQ(mLoadFractal::SnapWidth, 320);
    EXPECT_EQ(mLoadFractal::SnapHeight, 240);
    EXPECT_TRUE(f->ZoomPending);
    EXPECT_TRUE(sameImage(f->PicHidden->image(), hiddenBefore));
    EXPECT_TRUE(sameImage(f->PicDisp->image(), displayBefore));

    restoreDefaults();
    render();
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_TRUE(f->PicDisp->isEnabled());
    EXPECT_FALSE(f->ZoomPending);
    EXPECT_TRUE(gridHoldsDefaultView());
    EXPECT_TRUE(sameImage(f->PicHidden->image(), hiddenBefore));
}

const FailingRender kFailingRenders[] = {
        // The sizes are read first, for the grid's bounds; the old grid stays.
        FailingRender{"WidthNotANumber", {{"Width", "wide"}}, ErrorKind::TypeMismatch, "Width",
                      GridAfter::Unchanged, 0, 0, 0, 241.0f, 0.0f},
        FailingRender{"HeightNotANumber", {{"Height", "1O0"}}, ErrorKind::TypeMismatch, "Height",
                      GridAfter::Unchanged, 0, 0, 0, 241.0f, 0.0f},
        // The window fields are read for the steps, after the grid was re-created.
        FailingRender{"RminNotANumber", {{"Rmin", "-2..5"}}, ErrorKind::TypeMismatch, "Rmin",
                      GridAfter::Recreated, 322, 242, 0, 241.0f, 0.0f},
        FailingRender{"ImaxNotANumber", {{"Imax", ""}}, ErrorKind::TypeMismatch, "Imax",
                      GridAfter::Recreated, 322, 242, 0, 241.0f, 0.0f},
        // MaxIt and MColors are read only at the first point.
        FailingRender{"MaxItNotANumber", {{"MaxIt", "many"}}, ErrorKind::TypeMismatch, "MaxIt",
                      GridAfter::Recreated, 322, 242, 0, 242.0f, 0.0f},
        FailingRender{"MColorsNotANumber", {{"MaxColors", "1e"}}, ErrorKind::TypeMismatch,
                      "MaxColors", GridAfter::Recreated, 322, 242, 0, 242.0f, 0.0f},
        FailingRender{"WidthOne", {{"Width", "1"}}, ErrorKind::DivisionByZero, "(Width − 1)",
                      GridAfter::Recreated, 3, 242, 0, 241.0f, 0.0f},
        FailingRender{"WidthOneEmptyWindow", {{"Width", "1"}, {"Rmax", "-2"}},
                      ErrorKind::InvalidOperation, "(Width − 1)", GridAfter::Recreated, 3, 242, 0, 241.0f, 0.0f},
        FailingRender{"HeightOne", {{"Height", "1"}}, ErrorKind::DivisionByZero, "(Height − 1)",
                      GridAfter::Recreated, 322, 3, 0, 241.0f, 0.0f},
        FailingRender{"WidthBelowMinusTwo", {{"Width", "-3"}}, ErrorKind::SubscriptOutOfRange, "",
                      GridAfter::Empty, 0, 0, 0, 241.0f, 0.0f},
        FailingRender{"GridBeyondMemory", {{"Width", "2000000000"}, {"Height", "2000000000"}},
                      ErrorKind::OutOfMemory, "2000000003", GridAfter::Empty, 0, 0, 0, 241.0f, 0.0f},
        // The kernel takes 16-bit sizes and indices.
        FailingRender{"WidthBeyond16Bits", {{"Width", "40000"}}, ErrorKind::Overflow, "Width",
                      GridAfter::Recreated, 40002, 242, 0, 242.0f, 0.0f},
        FailingRender{"LastColumnBeyond16Bits", {{"Width", "32767"}, {"Height", "2"}},
                      ErrorKind::Overflow, "Column", GridAfter::Recreated, 32769, 4, 32768, 4.0f, 0.0f},
        FailingRender{"LastRowBeyond16Bits", {{"Width", "0"}, {"Height", "32767"}},
                      ErrorKind::Overflow, "Row", GridAfter::Recreated, 2, 32769, 2u * 32768u,
                      32769.0f, 32768.0f}};

INSTANTIATE_TEST_SUITE_P(
    Fields, RenderFailureTest, ::testing::Combine(::testing::ValuesIn(kFailingRenders), ::testing::Values(1, 3)),
    [](const ::testing::TestParamInfo<std::tuple<FailingRender, int>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::to_string(std::get<1>(info.param)) + "Threads";
    });

// Width 32767: row 0 is computed up to column 32767, the largest 16-bit index, before the
// next column stops the render.
TEST_F(RenderTest, WidestRowIsComputedUpToTheLast16BitColumn)
{
    setField(f->txtWidth, QStringLiteral("32767"));
    setField(f->txtHeight, QStringLiteral("2"));
    click(f->cmdRender);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, ErrorKind::Overflow);
    View view;
    view.width = 32767;
    view.height = 2;
    for (std::int32_t col = 0; col <= 32767; ++col)
        ASSERT_EQ(FractalGrid.at(col, 0), expectedPoint(view, col, 0)) << "column " << col;
    EXPECT_EQ(FractalGrid.at(32768, 0), 0);
    EXPECT_EQ(FractalGrid.at(0, 1), 0);
}

TEST_F(RenderTest, MissingKernelLibraryFailsAtFirstPointUntilThePathIsRestored)
{
    const QString missing = QStringLiteral("/nonexistent-veldtra-test/libzorvakel.so");
    kernelbinding::setLibraryPaths({missing});
    click(f->cmdRender);

    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, ErrorKind::BindingError);
    EXPECT_EQ(errors[0].message,
              QStringLiteral("The kernel library was not found. It was looked for as:\n") + missing);
    EXPECT_TRUE(errors[0].message.contains(missing)) << errors[0].message.toStdString();
    EXPECT_EQ(FractalGrid.upperX(), 322);
    EXPECT_EQ(FractalGrid.upperY(), 242);
    EXPECT_EQ(f->PB1->Max(), 242.0f);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("Rendering..."));
    EXPECT_FALSE(f->PicDisp->isEnabled());
    EXPECT_FALSE(f->cmdReload->isEnabled());

    // Still missing: the next render fails the same way rather than using a stale binding.
    click(f->cmdRender);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].kind, ErrorKind::BindingError);

    kernelbinding::setLibraryPaths({QStringLiteral(ZORVAKEL_LIBRARY_PATH)});
    render();
    EXPECT_TRUE(gridHoldsDefaultView());
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_TRUE(f->PicDisp->isEnabled());
    EXPECT_TRUE(f->cmdReload->isEnabled());
}

// What a render computes with: an override while one is in force (the innermost), else the
// library's function. An override outlives a change of the library's paths, and once the last
// one ends the binding is the library's again, raising where the library is missing.
template <std::uint8_t Value>
std::uint8_t constantKernel(double, double, double, double, double, double, std::int32_t, std::int32_t,
                            std::int32_t, std::int32_t, double, double, double)
{
    return Value;
}

TEST(KernelBinding, OverridesNestAndGiveWayToTheLibrary)
{
    const QString library = QStringLiteral(ZORVAKEL_LIBRARY_PATH);
    kernelbinding::setLibraryPaths({library});
    EXPECT_EQ(kernelbinding::kernel(), realKernel());
    {
        const kernelbinding::KernelOverride outer(&constantKernel<1>);
        EXPECT_EQ(kernelbinding::kernel(), &constantKernel<1>);
        {
            const kernelbinding::KernelOverride inner(&constantKernel<2>);
            EXPECT_EQ(kernelbinding::kernel(), &constantKernel<2>);
            kernelbinding::setLibraryPaths({QStringLiteral("/nonexistent-veldtra-test/libzorvakel.so")});
            EXPECT_EQ(kernelbinding::kernel(), &constantKernel<2>);
        }
        EXPECT_EQ(kernelbinding::kernel(), &constantKernel<1>);
    }
    const auto missing = platform::test::raised([] { kernelbinding::kernel(); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->kind(), ErrorKind::BindingError);

    kernelbinding::setLibraryPaths({library});
    EXPECT_EQ(kernelbinding::kernel(), realKernel());
    kernelbinding::setLibraryPaths({});
}

// ---- A second click on Render while one runs ---------------------------------------------

struct NestedClick {
    const char* name;
    const char* duringCaption;
};

void PrintTo(const NestedClick& c, std::ostream* os) { *os << c.name; }

class RenderTwiceTest : public ViewerTest, public ::testing::WithParamInterface<NestedClick> {};

// The render processes events twice; a click on Render that arrives then runs a whole render
// inside the first. Both finish and leave the window as one render would.
TEST_P(RenderTwiceTest, NestedRenderFinishesAndLeavesAConsistentWindow)
{
    const QString during = QString::fromLatin1(GetParam().duringCaption);
    // The spy's hook counts on the last call being the loop's last point: the loop on one thread.
    rowworkers::ThreadCountScope oneThread(1);
    QString captionAtNestedClick;
    auto clickAgain = [&] {
        captionAtNestedClick = f->lblProcess->Caption();
        QTest::mouseClick(f->cmdRender, Qt::LeftButton);
    };
    KernelSpy spy;
    if (during == QLatin1String("Rendering..."))
        QTimer::singleShot(0, f.get(), clickAgain);
    else
        spy.onCall = [&](const KernelCall&, std::size_t index) {
            if (index == 322u * 242u - 1)
                QTimer::singleShot(0, f.get(), clickAgain);
        };
    render();

    EXPECT_EQ(captionAtNestedClick, during);
    EXPECT_EQ(spy.calls().size(), 2u * 322u * 242u);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(gridHoldsDefaultView());
    EXPECT_EQ(mLoadFractal::SnapWidth, 320);
    EXPECT_EQ(mLoadFractal::SnapHeight, 240);
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_TRUE(f->PicDisp->isEnabled());
    EXPECT_TRUE(f->cmdReload->isEnabled());
    EXPECT_EQ(f->PB1->Value(), 0.0f);
    EXPECT_EQ(f->PB1->Max(), 241.0f);
    EXPECT_EQ(f->PicHidden->image().size(), QSize(320, 240));

    // The picture equals that of a single render.
    const QImage twice = f->PicHidden->image();
    render();
    EXPECT_TRUE(sameImage(twice, f->PicHidden->image()));
}

INSTANTIATE_TEST_SUITE_P(Clicks, RenderTwiceTest,
                         ::testing::Values(NestedClick{"WhileRendering", "Rendering..."},
                                           NestedClick{"WhileDrawing", "Drawing..."}),
                         [](const ::testing::TestParamInfo<NestedClick>& info) {
                             return std::string(info.param.name);
                         });

// ---- Display step -----------------------------------------------------------------------

struct DisplaySize {
    int width, height;
};

void PrintTo(const DisplaySize& s, std::ostream* os) { *os << s.width << "x" << s.height; }

class RenderDisplayTest : public ViewerTest, public ::testing::WithParamInterface<DisplaySize> {};

// The hidden picture fills the whole display, each display pixel taking the hidden pixel at
// floor(x * w / 321), floor(y * h / 241).
TEST_P(RenderDisplayTest, HiddenPictureIsStretchedOntoTheWholeDisplay)
{
    const auto [w, h] = GetParam();
    setField(f->txtWidth, QString::number(w));
    setField(f->txtHeight, QString::number(h));
    render();
    const QImage& hidden = f->PicHidden->image();
    const QImage& display = f->PicDisp->image();
    ASSERT_EQ(hidden.size(), QSize(w, h));
    ASSERT_EQ(display.size(), QSize(321, 241));
    QImage expected(321, 241, QImage::Format_RGB32);
    for (int y = 0; y < 241; ++y)
        for (int x = 0; x < 321; ++x)
            expected.setPixel(x, y, hidden.pixel(x * w / 321, y * h / 241));
    EXPECT_TRUE(sameImage(display, expected));
}

INSTANTIATE_TEST_SUITE_P(Sizes, RenderDisplayTest,
                         ::testing::Values(DisplaySize{321, 241}, DisplaySize{320, 240},
                                           DisplaySize{10, 8}, DisplaySize{400, 300}),
                         [](const ::testing::TestParamInfo<DisplaySize>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

// ---- The grid ---------------------------------------------------------------------------

TEST(FractalGridTest, RecreateZeroesAndChecksEveryAccess)
{
    mLoadFractal::ByteGrid grid;
    EXPECT_TRUE(grid.empty());
    grid.recreate(3, 2);
    grid.set(3, 2, 7);
    grid.set(0, 1, 9);
    grid.recreate(4, 1); // discards the old contents
    EXPECT_EQ(grid.upperX(), 4);
    EXPECT_EQ(grid.upperY(), 1);
    for (std::int32_t y = 0; y <= 1; ++y)
        for (std::int32_t x = 0; x <= 4; ++x)
            EXPECT_EQ(grid.at(x, y), 0);
    // Column index fastest: (4, 0) and (0, 1) are neighbours, yet distinct.
    grid.set(4, 0, 1);
    grid.set(0, 1, 2);
    EXPECT_EQ(grid.at(4, 0), 1);
    EXPECT_EQ(grid.at(0, 1), 2);

    for (auto [x, y] : {std::pair{5, 0}, std::pair{0, 2}, std::pair{-1, 0}, std::pair{0, -1}}) {
        SCOPED_TRACE(::testing::Message() << "(" << x << ", " << y << ")");
        try {
            grid.set(x, y, 1);
            ADD_FAILURE() << "no error";
        } catch (const platform::RuntimeError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
        }
    }
}

TEST(FractalGridTest, BoundsThatCannotBeHadLeaveAnEmptyGrid)
{
    struct Case {
        std::int32_t upperX, upperY;
        ErrorKind kind;
    };
    constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max() - 1;
    for (const Case& c : {Case{-1, 5, ErrorKind::SubscriptOutOfRange}, Case{5, -1, ErrorKind::SubscriptOutOfRange},
                          Case{big, big, ErrorKind::OutOfMemory}}) {
        SCOPED_TRACE(::testing::Message() << c.upperX << ", " << c.upperY);
        mLoadFractal::ByteGrid grid;
        grid.recreate(2, 2);
        try {
            grid.recreate(c.upperX, c.upperY);
            ADD_FAILURE() << "no error";
        } catch (const platform::RuntimeError& e) {
            EXPECT_EQ(e.kind(), c.kind);
        }
        EXPECT_TRUE(grid.empty());
        EXPECT_FALSE(grid.contains(0, 0));
        grid.recreate(1, 1); // usable again
        EXPECT_EQ(grid.at(1, 1), 0);
    }
}
