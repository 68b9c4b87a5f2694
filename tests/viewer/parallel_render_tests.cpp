// SPDX-License-Identifier: MIT
// Renders whose grid rows are shared out among threads: to the byte the grid of the single
// loop, the bar climbing with the rows finished from row 0 on, the kernel bound before any
// worker starts, and a termination request that ends the program in the middle of the grid.
#include "viewer_fixture.h"

#include "platform/termination.h"
#include "rowworkers.h"

#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <unistd.h>

using namespace viewertest;
using mLoadFractal::FractalGrid;
using platform::ErrorKind;

namespace {

struct SharedView {
    const char* name;
    const char *rmin, *rmax, *imin, *imax, *maxIt, *width, *height;
};

void PrintTo(const SharedView& v, std::ostream* os) { *os << v.name; }

// What a render leaves for the user and for the next paint.
struct Outcome {
    GridCopy grid;
    float barMax, barValue;
    QString caption;
    QImage hidden;
    std::vector<ReportedError> errors;
};

class SharedRowsTest : public ViewerTest {
protected:
    void setView(const SharedView& v)
    {
        f->txtRmin->setText(QString::fromLatin1(v.rmin));
        f->txtRmax->setText(QString::fromLatin1(v.rmax));
        f->txtImin->setText(QString::fromLatin1(v.imin));
        f->txtImax->setText(QString::fromLatin1(v.imax));
        f->txtMaxIt->setText(QString::fromLatin1(v.maxIt));
        f->txtWidth->setText(QString::fromLatin1(v.width));
        f->txtHeight->setText(QString::fromLatin1(v.height));
    }

    Outcome renderOn(int threads)
    {
        const rowworkers::ThreadCountScope scope(threads);
        errors.clear();
        click(f->cmdRender);
        return {copyGrid(), f->PB1->Max(), f->PB1->Value(), f->lblProcess->Caption(),
                f->PicHidden->image().copy(), errors};
    }
};

::testing::AssertionResult sameGrid(const GridCopy& actual, const GridCopy& expected)
{
    if (actual.upperX != expected.upperX || actual.upperY != expected.upperY)
        return ::testing::AssertionFailure() << "bounds " << actual.upperX << " x " << actual.upperY
                                             << ", not " << expected.upperX << " x " << expected.upperY;
    for (std::size_t k = 0; k < expected.values.size(); ++k)
        if (actual.values[k] != expected.values[k])
            return ::testing::AssertionFailure()
                   << "point (" << k % (expected.upperX + 1) << ", " << k / (expected.upperX + 1) << ") holds "
                   << int(actual.values[k]) << ", not " << int(expected.values[k]);
    return ::testing::AssertionSuccess();
}

class SharedRowsViewTest : public SharedRowsTest, public ::testing::WithParamInterface<SharedView> {};

// The same view on 2, 3 and 4 threads gives the single loop's grid, bar, caption and picture.
TEST_P(SharedRowsViewTest, GivesTheSingleLoopsGridToTheByte)
{
    setView(GetParam());
    const Outcome single = renderOn(1);
    ASSERT_TRUE(single.errors.empty()) << single.errors.front().message.toStdString();
    for (int threads : {2, 3, 4}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads");
        const Outcome shared = renderOn(threads);
        EXPECT_TRUE(shared.errors.empty());
        EXPECT_TRUE(sameGrid(shared.grid, single.grid));
        EXPECT_EQ(shared.barMax, single.barMax);
        EXPECT_EQ(shared.barValue, single.barValue);
        EXPECT_EQ(shared.caption, single.caption);
        EXPECT_TRUE(sameImage(shared.hidden, single.hidden));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Views, SharedRowsViewTest,
    ::testing::Values(
        SharedView{"Default", "-2", "0.5", "-1.25", "1.25", "259", "320", "240"},
        SharedView{"DeepZoom", "-0.74364388703", "-0.74364388702", "0.13182590420", "0.13182590421", "3000", "160", "120"},
        SharedView{"InsideTheSet", "-0.3", "0.1", "-0.2", "0.2", "20000", "48", "36"},
        // 99 columns by 63 rows: neither divides by 2, 3 or 4.
        SharedView{"RowsAndColumnsNotDividingByTheThreads", "-2", "0.5", "-1.25", "1.25", "500", "97", "61"},
        SharedView{"WidthMinusTwo", "-2", "0.5", "-1.25", "1.25", "259", "-2", "7"},
        SharedView{"WidthZero", "-2", "0.5", "-1.25", "1.25", "259", "0", "24"},
        SharedView{"WidthTwo", "-2", "0.5", "-1.25", "1.25", "259", "2", "24"},
        SharedView{"HeightMinusTwo", "-2", "0.5", "-1.25", "1.25", "259", "32", "-2"},
        SharedView{"HeightZero", "-2", "0.5", "-1.25", "1.25", "259", "32", "0"},
        SharedView{"HeightTwo", "-2", "0.5", "-1.25", "1.25", "259", "32", "2"}),
    [](const ::testing::TestParamInfo<SharedView>& info) { return std::string(info.param.name); });

// Whenever the bar moves during the grid, it shows the number of rows finished from row 0 on:
// every row below it holds its final values (none is still being computed).
TEST_F(SharedRowsTest, BarCountsTheRowsFinishedFromRowZeroOn)
{
    setView({"", "-2", "0.5", "-1.25", "1.25", "1000", "640", "480"});
    const GridCopy single = renderOn(1).grid;
    for (int threads : {2, 3}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads");
        int checks = 0;
        float shown = 0.0f;
        const QMetaObject::Connection watch = QObject::connect(f->PB1, &QProgressBar::valueChanged, f.get(), [&] {
            if (f->lblProcess->Caption() != QLatin1String("Rendering..."))
                return;
            const float rows = f->PB1->Value();
            if (rows == 0.0f) // the bar's return to 0 once the grid is done
                return;
            EXPECT_GE(rows, shown);
            shown = rows;
            ++checks;
            for (std::int32_t y = 0; y < static_cast<std::int32_t>(rows); ++y)
                for (std::int32_t x = 0; x <= single.upperX; ++x)
                    ASSERT_EQ(FractalGrid.at(x, y), single.values[static_cast<std::size_t>(y) * (single.upperX + 1) + x])
                        << "(" << x << ", " << y << ") with the bar at " << rows;
        });
        const Outcome shared = renderOn(threads);
        QObject::disconnect(watch);
        EXPECT_GT(checks, 0) << "the bar never moved while the grid was computed";
        EXPECT_TRUE(sameGrid(shared.grid, single));
    }
}

// The kernel is bound on this thread at the first point, before any worker runs: a library
// that cannot be bound stops the render there with nothing computed, and the next render tries
// again.
TEST_F(SharedRowsTest, KernelThatCannotBeBoundStopsBeforeAnyPoint)
{
    const QString missing = QStringLiteral("/nonexistent-veldtra-test/libzorvakel.so");
    for (int threads : {1, 3}) {
        SCOPED_TRACE(::testing::Message() << threads << " threads");
        kernelbinding::setLibraryPaths({missing});
        const Outcome failed = renderOn(threads);
        ASSERT_EQ(failed.errors.size(), 1u);
        EXPECT_EQ(failed.errors[0].kind, ErrorKind::BindingError);
        EXPECT_EQ(failed.grid.upperX, 322);
        EXPECT_EQ(std::count(failed.grid.values.begin(), failed.grid.values.end(), 0), 323 * 243);
        EXPECT_EQ(failed.barValue, 0.0f);
        EXPECT_EQ(failed.caption, QStringLiteral("Rendering..."));

        kernelbinding::setLibraryPaths({QStringLiteral(ZORVAKEL_LIBRARY_PATH)});
        const Outcome recovered = renderOn(threads);
        EXPECT_TRUE(recovered.errors.empty());
        EXPECT_TRUE(gridHolds(View{}));
    }
}

// ---- A termination request in the middle of the grid --------------------------------------

using Clock = std::chrono::steady_clock;

// In a child: a render whose grid takes many seconds, and a termination request 300 ms into
// it. The program must leave its event loop, as a closed window does, within a second of the
// request, with the render unfinished.
[[noreturn]] void requestTerminationDuringTheGrid(form1& window, int threads)
{
    platform::quitOnTerminationRequest();
    const rowworkers::ThreadCountScope scope(threads);
    window.txtWidth->setText(QStringLiteral("2000"));
    window.txtHeight->setText(QStringLiteral("1500"));
    window.txtMaxIt->setText(QStringLiteral("1000000"));
    std::atomic<Clock::rep> requestedAt{0};
    std::thread requester([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        requestedAt = Clock::now().time_since_epoch().count();
        ::kill(::getpid(), SIGTERM);
    });
    QTimer::singleShot(0, &window, [&] { platform::runEventProcedure([&] { window.cmdRender_Click(); }); });
    QTimer::singleShot(60000, &window, [] {
        std::fprintf(stderr, "still running after 60 s\n");
        std::_Exit(3);
    });
    const int status = QApplication::exec();
    const auto left = Clock::now();
    requester.join();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        left - Clock::time_point(Clock::duration(requestedAt.load())))
                        .count();
    const QString caption = window.lblProcess->Caption();
    std::fprintf(stderr, "left the event loop with %d, %lld ms after the request, the status reading \"%s\"\n", status,
                 static_cast<long long>(ms), qPrintable(caption));
    std::_Exit(status == 0 && ms < 1000 && caption == QLatin1String("Rendering...") ? 0 : 1);
}

class TerminationDuringTheGrid : public ViewerTest, public ::testing::WithParamInterface<int> {};

TEST_P(TerminationDuringTheGrid, EndsTheProgramWithinASecond)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(requestTerminationDuringTheGrid(*f, GetParam()), ::testing::ExitedWithCode(0),
                "left the event loop with 0, [0-9]+ ms after the request, the status reading \"Rendering...\"");
}

INSTANTIATE_TEST_SUITE_P(Threads, TerminationDuringTheGrid, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("SingleLoop") : std::to_string(info.param) + "Threads";
                         });

} // namespace
