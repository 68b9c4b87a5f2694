// SPDX-License-Identifier: MIT
// Fuzz target: the kernel's Mandelbrot on arbitrary argument blocks. An input is the 88-byte
// block of the call as it lies in memory (6 doubles, 4 int32, 3 doubles, in the order of the
// header); missing bytes are zero. The byte the library returns has to equal, bit for bit, the
// one of the plain escape-time loop in reference_loop.h; any mismatch prints the arguments and
// aborts.
#include "reference_loop.h"
#include "zorvakel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr std::size_t kBlockSize = 88;

// Work per input is bounded by this many passes (2^16), in the model and so in a correct kernel.
constexpr double kPassCap = 65536.0;

kernel_model::Args argumentsFromBlock(const std::array<std::uint8_t, kBlockSize>& block)
{
    kernel_model::Args a;
    std::size_t offset = 0;
    auto take = [&](auto& argument) {
        std::memcpy(&argument, block.data() + offset, sizeof argument);
        offset += sizeof argument;
    };
    take(a.rmin); take(a.rmax); take(a.imin); take(a.imax); take(a.maxIt); take(a.mColors);
    take(a.width); take(a.height); take(a.row); take(a.col);
    take(a.bailout); take(a.stepR); take(a.stepI);
    return a;
}

// A point whose orbit neither repeats nor escapes makes MaxIt passes by definition, and for
// a NaN MaxIt or one beyond 2^53, which the pass counter never reaches, it makes passes for
// ever: an unbounded MaxIt is unbounded work, for the model and the kernel alike. A MaxIt
// beyond the cap therefore stays only where the orbit ends within the cap anyway (it escapes
// early, and the kernel has to stop there too). Elsewhere it is replaced by a MaxIt below the
// cap taken from its own low bits, in steps of 1/16 so that fractional limits occur as well.
double boundedMaxIt(double maxIt)
{
    std::uint64_t bits;
    std::memcpy(&bits, &maxIt, sizeof bits);
    return std::ldexp(static_cast<double>(bits & 0xFFFFFu), -4);
}

std::uint8_t callKernel(const kernel_model::Args& a)
{
    return Mandelbrot(a.rmin, a.rmax, a.imin, a.imax, a.maxIt, a.mColors, a.width, a.height,
                      a.row, a.col, a.bailout, a.stepR, a.stepI);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::array<std::uint8_t, kBlockSize> block{};
    if (size > 0)
        std::memcpy(block.data(), data, std::min(size, kBlockSize));
    kernel_model::Args a = argumentsFromBlock(block);

    std::optional<std::uint8_t> expected = kernel_model::loopUpTo(a, kPassCap);
    if (!expected) {
        a.maxIt = boundedMaxIt(a.maxIt);
        expected = kernel_model::loopUpTo(a, kPassCap);
    }
    const std::uint8_t actual = callKernel(a);
    if (actual != expected.value()) {
        std::fprintf(stderr, "FUZZ FAILURE: Mandelbrot returned %d, the escape-time loop %d, for %s\n",
                     actual, *expected, kernel_model::describe(a).c_str());
        std::fflush(stderr);
        std::abort();
    }
    return 0;
}
