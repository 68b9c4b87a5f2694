// SPDX-License-Identifier: MIT
// Fuzz target: platform::numberToText on every double. An input is a locale byte (as in the
// text target) followed by the 8 bytes of a double as it lies in memory; missing bytes are
// zero. Every bit pattern is a case: NaNs, infinities, subnormals and negative zero included.
//
// For a finite x, t = numberToText(x) has to be
//  - plain decimal syntax with the locale's decimal separator and no digit grouping;
//  - read back by textToDouble as x rounded to 15 significant digits, worked out here by the
//    C library in the C locale. Where that lies beyond the double range (only the very largest
//    doubles), the text stands for the largest 15-digit number within the range instead, so
//    that every text written reads back. Which neighbour an exact tie goes to is not part of
//    the contract: either is accepted;
//  - written again unchanged: numberToText(textToDouble(t)) == t, so that nothing drifts when
//    a field's number is read and written back.
// NaN and the infinities are no numbers a field can hold. numberToText still writes a text for
// them (Qt's "NAN", "INF" and "-INF", which end up in error messages), and textToDouble has to
// refuse that text with TypeMismatch, as it refuses "nan" and "inf".
#include "conversion_fuzzing.h"

#include <QByteArray>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The largest double is 1.7976931348623157E+308; the largest 15-digit number not beyond it:
constexpr double kLargestFifteenDigitNumber = 1.79769313486231e308;

// x rounded to 15 significant digits in the given direction. glibc's printf rounds the exact
// binary value and honours the rounding mode; no setlocale() is called in this process, so
// printf and strtod use the C locale's syntax.
double fifteenDigits(double x, int roundingMode = FE_TONEAREST)
{
    char text[32];
    std::fesetround(roundingMode);
    std::snprintf(text, sizeof text, "%.14e", x);
    std::fesetround(FE_TONEAREST);
    const double rounded = std::strtod(text, nullptr);
    return std::isinf(rounded) ? std::copysign(kLargestFifteenDigitNumber, x) : rounded;
}

// Whether x lies exactly halfway between two 15-digit numbers: its exact decimal expansion (a
// double has at most 767 significant digits) has 5 as its 16th digit and only zeros after it.
bool isFifteenDigitTie(double x)
{
    char text[900];
    std::snprintf(text, sizeof text, "%.800e", std::fabs(x));
    constexpr int kSixteenthDigit = 16; // "d.ddd…": digit k sits at index k from the second on
    if (text[kSixteenthDigit] != '5')
        return false;
    for (const char* p = text + kSixteenthDigit + 1; *p != 'e'; ++p)
        if (*p != '0')
            return false;
    return true;
}

bool isFifteenDigitValueOf(double x, double read)
{
    if (read == fifteenDigits(x))
        return true;
    return isFifteenDigitTie(x) &&
           (read == fifteenDigits(x, FE_UPWARD) || read == fifteenDigits(x, FE_DOWNWARD));
}

std::string describe(const fuzz::Locale& locale, double x, const QString& text)
{
    char number[80];
    std::snprintf(number, sizeof number, "%a (%.17g)", x, x);
    return std::string("in ") + locale.name + ", numberToText(" + number + ") = " + fuzz::quoted(text);
}

void expectFifteenDigitText(const fuzz::Locale& locale, double x, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (!fuzz::plainNumberInCSyntax({utf8.constData(), static_cast<std::size_t>(utf8.size())},
                                    locale.decimalSeparator))
        fuzz::fail(describe(locale, x, text) + ": not plain decimal syntax with the locale's separator");
    const fuzz::Reading reading = fuzz::readNumber(text);
    if (reading.error)
        fuzz::fail(describe(locale, x, text) + ": textToDouble raised " + platform::kindName(*reading.error));
    if (!isFifteenDigitValueOf(x, reading.value)) {
        char values[96];
        std::snprintf(values, sizeof values, "reads back as %.17g, expected %.17g", reading.value,
                      fifteenDigits(x));
        fuzz::fail(describe(locale, x, text) + ": " + values);
    }
    const QString again = platform::numberToText(reading.value);
    if (again != text)
        fuzz::fail(describe(locale, x, text) + ": what it reads back as is written " + fuzz::quoted(again));
}

void expectRefusedText(const fuzz::Locale& locale, double x, const QString& text)
{
    const fuzz::Reading reading = fuzz::readNumber(text);
    if (reading.error != platform::ErrorKind::TypeMismatch)
        fuzz::fail(describe(locale, x, text) + ": textToDouble has to raise TypeMismatch, but " +
                   (reading.error ? std::string("raised ") + platform::kindName(*reading.error)
                                  : std::string("returned a number")));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t input[1 + sizeof(double)] = {};
    if (size > 0)
        std::memcpy(input, data, std::min(size, sizeof input));
    const fuzz::Locale& locale = fuzz::useLocale(input[0]);
    double x;
    std::memcpy(&x, input + 1, sizeof x);

    const QString text = platform::numberToText(x);
    if (std::isfinite(x))
        expectFifteenDigitText(locale, x, text);
    else
        expectRefusedText(locale, x, text);
    return 0;
}
