// SPDX-License-Identifier: MIT
#include "processors.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

namespace platform {

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

} // namespace platform
