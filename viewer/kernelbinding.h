// SPDX-License-Identifier: MIT
// The program's binding to the kernel library: the library is loaded at the first call of
// Mandelbrot, from beside the program (or ../lib of an installed layout), and kept loaded.
#pragma once

#include "zorvakel.h"

#include <QStringList>

namespace kernelbinding {

// The resolved function; raises BindingError where the library or its export is missing.
MandelbrotFn bind();

inline MandelbrotFn bound = nullptr;

// Where the library is looked for; tests point it elsewhere. Forgets any earlier binding.
void setLibraryPaths(const QStringList& paths);
QStringList libraryPaths();

// The kernel's function as the program calls it: bound at the first call. (A function of its
// own, apart from the library's C function of the same name, which this program never links.)
inline std::uint8_t Mandelbrot(double Rmin, double Rmax, double Imin, double Imax, double MaxIt,
                               double MColors, std::int32_t ImageWidth, std::int32_t ImageHeight,
                               std::int32_t Row, std::int32_t Col, double Bailout, double StepR,
                               double StepI)
{
    const MandelbrotFn kernel = kernelbinding::bound ? kernelbinding::bound : kernelbinding::bind();
    return kernel(Rmin, Rmax, Imin, Imax, MaxIt, MColors, ImageWidth, ImageHeight, Row, Col,
                  Bailout, StepR, StepI);
}

} // namespace kernelbinding
