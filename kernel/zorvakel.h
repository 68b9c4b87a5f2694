// SPDX-License-Identifier: MIT
// zorvakel: the escape-time kernel of the veldtra Mandelbrot viewer.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#  define ZORVAKEL_API __declspec(dllexport)
#else
#  define ZORVAKEL_API __attribute__((visibility("default")))
#endif

extern "C" {

// Colour index of the grid point (Col, Row): the point c = (Col*StepR + Rmin, Row*StepI + Imin)
// is iterated with z <- z^2 + c until |z|^2 >= Bailout or MaxIt passes are made. A point that
// escapes on pass n < MaxIt yields the low byte of trunc(MColors / MaxIt * n); every other point
// yields 0. Rmax, Imax, ImageWidth and ImageHeight take part in the call but not in the result.
// Pure: no state, no allocation, callable from any thread.
ZORVAKEL_API std::uint8_t Mandelbrot(double Rmin, double Rmax, double Imin, double Imax,
                                     double MaxIt, double MColors,
                                     std::int32_t ImageWidth, std::int32_t ImageHeight,
                                     std::int32_t Row, std::int32_t Col,
                                     double Bailout, double StepR, double StepI);

using MandelbrotFn = std::uint8_t (*)(double, double, double, double, double, double,
                                      std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                      double, double, double);
}
