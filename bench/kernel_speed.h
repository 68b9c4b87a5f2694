// SPDX-License-Identifier: MIT
// How much faster the shipped escape-time kernel is than the plain loop it must equal.
#pragma once

#include "zorvakel.h"

// Times `shipped` against the plain, pass-by-pass escape-time loop (reference_loop.h) over
// the grid of a 640x480 render of the default view (Rmin -2, Rmax 0.5, Imin -1.25, Imax 1.25,
// MaxIt 5000, 65536 colours, bailout 4; rows 0..481 and columns 0..641, as the viewer computes
// them) and
// returns plain time / shipped time, each the best of a few runs. Every byte the two return
// is compared: the first difference is reported on stderr and aborts the program.
// kernel_speed.cpp must be compiled with -ffp-contract=off (and without -ffast-math) so that
// the plain loop rounds exactly as the kernel does: it links zorvakel_reference for that.
double measureKernelSpeedup(MandelbrotFn shipped);
