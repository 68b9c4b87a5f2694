// SPDX-License-Identifier: MIT
// The program's binding to the kernel library: the library is loaded at the first point a
// render computes, from beside the program (or ../lib of an installed layout), and kept loaded.
#pragma once

#include "zorvakel.h"

#include <QStringList>

namespace kernelbinding {

// The library's Mandelbrot function, bound now if it is not yet; raises BindingError where the
// library or its export is missing (and tries again at the next call).
MandelbrotFn bind();

// The function the program computes grid points with: the one a KernelOverride puts in place,
// else the library's, bound now if it is not yet (raising as bind() does). A render fetches it
// at its first point and calls it for every point after, without asking again.
MandelbrotFn kernel();

// Where the library is looked for; tests point it elsewhere. Forgets any earlier binding
// (not an override in force).
void setLibraryPaths(const QStringList& paths);
QStringList libraryPaths();

// Makes kernel() give `function` for the lifetime of the object, then restores what it gave
// before. Set and ended on the window's thread, while no render runs.
class KernelOverride {
public:
    explicit KernelOverride(MandelbrotFn function);
    ~KernelOverride();
    KernelOverride(const KernelOverride&) = delete;
    KernelOverride& operator=(const KernelOverride&) = delete;

private:
    MandelbrotFn saved_;
};

} // namespace kernelbinding
