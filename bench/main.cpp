// SPDX-License-Identifier: MIT
// veldtra-bench: times what a user waits for — Render and Redraw in the real window, driven
// headless — against the work they cannot avoid (the kernel calls on one thread, one copy of
// the pixels), and prints one "name: value" line per figure.
#include "form1.h"
#include "kernel_speed.h"
#include "kernelbinding.h"
#include "platform/runtimeerror.h"
#include "rowworkers.h"

#include <QApplication>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename Work>
double secondsOf(Work&& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename Work>
double bestOf(int runs, Work&& work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, secondsOf(work));
    return best;
}

void setView(form1& window, int width, int height, int maxIt)
{
    window.cmdReset_Click();
    window.txtWidth->setText(QString::number(width));
    window.txtHeight->setText(QString::number(height));
    window.txtMaxIt->setText(QString::number(maxIt));
}

// The kernel calls a render makes, and nothing else: the same arguments over the same grid.
// The results are summed rather than stored: a store right after each call can land on the
// same 4 KiB offset as the argument the call passes on the stack, which slows the loop by
// some 15% depending on where the buffer happens to be allocated.
[[gnu::noinline]] unsigned sumOverGrid(MandelbrotFn kernel, int width, int height, double maxIt)
{
    const double rmin = -2, rmax = 0.5, imin = -1.25, imax = 1.25;
    const double stepR = (rmax - rmin) / (width - 1), stepI = (imax - imin) / (height - 1);
    unsigned sum = 0;
    for (int i = 0; i <= height + 1; ++i)
        for (int j = 0; j <= width + 1; ++j)
            sum += kernel(rmin, rmax, imin, imax, maxIt, 65536.0, width, height, i, j, 4.0, stepR, stepI);
    return sum;
}

double bareKernelSeconds(int width, int height, int maxIt)
{
    const MandelbrotFn kernel = kernelbinding::bind();
    volatile unsigned sink = 0;
    return bestOf(3, [&] { sink = sink + sumOverGrid(kernel, width, height, maxIt); });
}

double renderSeconds(form1& window, int width, int height, int maxIt, int runs)
{
    setView(window, width, height, maxIt);
    return bestOf(runs, [&] { window.cmdRender_Click(); });
}

// The fastest times seen of a render and of the bare kernel loop over the same grid.
struct RenderAgainstKernel {
    int width, height, maxIt = 259;
    double render = 1e300, kernel = 1e300;

    void timeRender(form1& window) { render = std::min(render, renderSeconds(window, width, height, maxIt, 1)); }
    void timeKernel() { kernel = std::min(kernel, bareKernelSeconds(width, height, maxIt)); }
    void alternate(form1& window, int rounds)
    {
        for (int round = 0; round < rounds; ++round) {
            timeRender(window);
            timeKernel();
        }
    }
};

double memcpySeconds(std::size_t bytes)
{
    std::vector<char> from(bytes, 1), to(bytes, 2);
    return bestOf(5, [&] { std::memcpy(to.data(), from.data(), bytes); });
}

double peakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void print(const char* name, double value)
{
    std::printf("%s: %.3f\n", name, value);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::setErrorReporter([](const platform::RuntimeError& error) {
        std::fprintf(stderr, "veldtra-bench: %s: %s\n", platform::kindName(error.kind()), error.what());
        std::exit(1);
    });
    form1 window;
    window.Form_Load();

    // The bare loop runs fastest in a fresh process (in a process that has rendered it can be
    // some 15% slower, for reasons of the processor's, not of the program's), so it is timed
    // first as well, and its fastest time is the one compared against.
    RenderAgainstKernel large{4000, 3000}, medium{1280, 960}, small{320, 240};
    RenderAgainstKernel deep{1600, 1200, 1000};
    medium.timeKernel();
    small.timeKernel();
    deep.timeKernel();

    // The large render comes next, so that the peak resident memory is its own.
    large.timeRender(window);
    print("render_4000x3000_s", large.render);
    print("peak_rss_mb_4000x3000", peakResidentMegabytes());
    const double redraw = bestOf(3, [&] { window.cmdReload_Click(); });
    print("redraw_4000x3000_ms", redraw * 1e3);
    print("redraw_vs_memcpy", redraw / memcpySeconds(std::size_t{4000} * 3000 * 4));

    // Render and bare loop alternate, so that both meet the same state of the machine.
    medium.alternate(window, 3);
    print("render_1280x960_ms", medium.render * 1e3);
    print("kernel_1280x960_ms", medium.kernel * 1e3);
    print("render_vs_kernel", medium.render / medium.kernel);
    // A render shares its grid out among threads; the bare loop is one thread. With every thread
    // fully used and nothing else to do, the render would take kernel / threads.
    deep.alternate(window, 3);
    const int threads = rowworkers::threadCount();
    print("render_threads", threads);
    print("render_1600x1200_1000_ms", deep.render * 1e3);
    print("kernel_1600x1200_1000_ms", deep.kernel * 1e3);
    print("parallel_efficiency", deep.kernel / (deep.render * threads));
    small.alternate(window, 5);
    print("render_default_ms", small.render * 1e3);
    print("kernel_default_ms", small.kernel * 1e3);

    print("kernel_speedup", measureKernelSpeedup(kernelbinding::bind()));

    const int sizes[][2] = {{320, 240}, {640, 480}, {1280, 960}, {2000, 1500}, {4000, 3000}};
    for (const auto& size : sizes) {
        const std::string name = "render_size_" + std::to_string(size[0]) + "x" + std::to_string(size[1]) + "_ms";
        print(name.c_str(), renderSeconds(window, size[0], size[1], 259, 1) * 1e3);
    }
    for (int maxIt : {259, 1000, 2500, 5000}) {
        const std::string name = "render_maxit_" + std::to_string(maxIt) + "_640x480_ms";
        print(name.c_str(), renderSeconds(window, 640, 480, maxIt, 1) * 1e3);
    }
    return 0;
}
