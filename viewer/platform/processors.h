// SPDX-License-Identifier: MIT
#pragma once

namespace platform {

// The number of processors this program may run on: those of its CPU affinity, which can be
// fewer than the machine has (a container, `taskset`). At least 1.
int usableProcessors() noexcept;

// Clears the upper halves of the processor's wide vector registers, where it has them (x86-64
// with AVX). A thread starts with the registers of the thread that created it, and code that
// leaves them in use (some of the toolkit's painting) makes plain double arithmetic, such as
// the kernel's, run some 10% slower on that thread until they are cleared.
void clearWideVectorState() noexcept;

} // namespace platform
