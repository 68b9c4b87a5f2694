// SPDX-License-Identifier: MIT
// Number conversions of the program: text to number in the user's locale, doubles to 16- and
// 32-bit integers (round half to even, overflow outside the range), numbers to text, and the
// checked floating-point operations that raise instead of producing infinities or NaN.
#pragma once

#include <cstdint>

#include <QString>

namespace platform {

// Parses text as a number in the user's locale (QLocale()). Text that is no number, "nan" and
// "inf" included, raises TypeMismatch; a number beyond the double range raises Overflow.
// `what` names the source of the text in messages (a field's caption) and may be empty.
double textToDouble(const QString& text, const QString& what = {});

// Round to nearest, ties to even; Overflow outside the target type's range (NaN included).
std::int16_t toInt16(double value, const QString& what = {});
std::int32_t toInt32(double value, const QString& what = {});

// The text of a number for a field or a label: at most 15 significant digits, no trailing
// zeros, no digit grouping, the locale's decimal separator, exponent form ("1E+15") for very
// large and very small magnitudes. textToDouble reads every such text back.
QString numberToText(double value);

// Floating-point operations that raise DivisionByZero, InvalidOperation or
// FloatingPointOverflow where IEEE arithmetic would give an infinity or NaN. `what`, where
// given, names the quantity being computed in the message ("the step between columns").
double checkedAdd(double a, double b, const char* what = nullptr);
double checkedSub(double a, double b, const char* what = nullptr);
double checkedMul(double a, double b, const char* what = nullptr);
double checkedDiv(double a, double b, const char* what = nullptr);

} // namespace platform
