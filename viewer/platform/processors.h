// SPDX-License-Identifier: MIT
#pragma once

namespace platform {

// The number of processors this program may run on: those of its CPU affinity, which can be
// fewer than the machine has (a container, `taskset`). At least 1.
int usableProcessors() noexcept;

} // namespace platform
