// SPDX-License-Identifier: MIT
#include "processors.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace platform {
namespace {

#if defined(__x86_64__)
[[gnu::target("avx")]] void zeroUpperHalves() noexcept
{
    _mm256_zeroupper();
}
#endif

} // namespace

int usableProcessors() noexcept
{
#if defined(__linux__)
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        return std::max(1, CPU_COUNT(&allowed));
#endif
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void clearWideVectorState() noexcept
{
#if defined(__x86_64__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        zeroUpperHalves();
#endif
}

} // namespace platform
