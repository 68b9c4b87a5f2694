// SPDX-License-Identifier: MIT
// veldtra-bench: times what a user waits for — Render and Redraw in the real window, driven
// headless — against the work they cannot avoid (the kernel calls, one copy of the pixels),
// and prints one "name: value" line per figure.
#include "form1.h"
#include "kernel_speed.h"
#include "kernelbinding.h"
#include "platform/runtimeerror.h"

#include <QApplication>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double bestOf(int runs, const std::function<void()>& work)
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

// The kernel calls a render makes, and nothing else: the same arguments, the same grid.
double bareKernelSeconds(int width, int height, int maxIt)
{
    const MandelbrotFn kernel = kernelbinding::bind();
    const double rmin = -2, rmax = 0.5, imin = -1.25, imax = 1.25;
    const double stepR = (rmax - rmin) / (width - 1), stepI = (imax - imin) / (height - 1);
    std::vector<std::uint8_t> grid(static_cast<std::size_t>(width + 3) * (height + 3));
    return bestOf(3, [&] {
        for (int i = 0; i <= height + 1; ++i)
            for (int j = 0; j <= width + 1; ++j)
                grid[static_cast<std::size_t>(i) * (width + 3) + j] =
                    kernel(rmin, rmax, imin, imax, maxIt, 65536, width, height, i, j, 4.0, stepR, stepI);
    });
}

double renderSeconds(form1& window, int width, int height, int maxIt, int runs)
{
    setView(window, width, height, maxIt);
    return bestOf(runs, [&] { window.cmdRender_Click(); });
}

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

    // The large render comes first, so that the peak resident memory is its own.
    const double large = renderSeconds(window, 4000, 3000, 259, 1);
    print("render_4000x3000_s", large);
    print("peak_rss_mb_4000x3000", peakResidentMegabytes());
    const double redraw = bestOf(3, [&] { window.cmdReload_Click(); });
    print("redraw_4000x3000_ms", redraw * 1e3);
    print("redraw_vs_memcpy", redraw / memcpySeconds(std::size_t{4000} * 3000 * 4));

    const double render = renderSeconds(window, 1280, 960, 259, 3);
    print("render_vs_kernel", render / bareKernelSeconds(1280, 960, 259));
    print("render_default_ms", renderSeconds(window, 320, 240, 259, 5) * 1e3);
    print("kernel_default_ms", bareKernelSeconds(320, 240, 259) * 1e3);

    print("kernel_speedup", measureKernelSpeedup(kernelbinding::bind()));

    const int sizes[][2] = {{320, 240}, {640, 480}, {1280, 960}, {2000, 1500}, {4000, 3000}};
    for (const auto& size : sizes) {
        const std::string name = "render_" + std::to_string(size[0]) + "x" + std::to_string(size[1]) + "_maxit259_ms";
        print(name.c_str(), renderSeconds(window, size[0], size[1], 259, 1) * 1e3);
    }
    for (int maxIt : {259, 1000, 2500, 5000}) {
        const std::string name = "render_640x480_maxit" + std::to_string(maxIt) + "_ms";
        print(name.c_str(), renderSeconds(window, 640, 480, maxIt, 1) * 1e3);
    }
    return 0;
}
