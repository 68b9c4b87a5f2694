// SPDX-License-Identifier: MIT
// Fuzz target: platform::textToDouble on arbitrary text. The first byte of an input picks the
// user's locale (conversion_fuzzing.h), the rest is the text, decoded from UTF-8 as a field's
// text is. Whatever the text, the call returns a finite number or raises a run-time error of
// kind TypeMismatch (no number) or Overflow (beyond the double range), nothing else, and it
// never takes a text without a single digit for a number. Text in the plain decimal syntax,
// with the locale's decimal separator, has to read as the number the C library's strtod makes
// of it: the nearest double, or Overflow where strtod overflows.
#include "conversion_fuzzing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string describe(const fuzz::Locale& locale, const QString& text, const fuzz::Reading& reading)
{
    char value[64];
    std::snprintf(value, sizeof value, "%.17g", reading.value);
    return std::string("in ") + locale.name + ", textToDouble(" + fuzz::quoted(text) + ") " +
           (reading.error ? std::string("raised ") + platform::kindName(*reading.error)
                          : std::string("gave ") + value);
}

void expectNumberOrTheTwoErrors(const fuzz::Locale& locale, const QString& text,
                                const fuzz::Reading& reading)
{
    if (reading.error) {
        if (*reading.error != platform::ErrorKind::TypeMismatch &&
            *reading.error != platform::ErrorKind::Overflow)
            fuzz::fail(describe(locale, text, reading) + ": only TypeMismatch or Overflow may be raised");
    } else if (!std::isfinite(reading.value)) {
        fuzz::fail(describe(locale, text, reading) + ": a number read from text is finite");
    } else if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); })) {
        fuzz::fail(describe(locale, text, reading) + ": a text without a single digit is no number");
    }
}

void expectStrtodValue(const fuzz::Locale& locale, const QString& text,
                       const fuzz::Reading& reading, const std::string& cSyntax)
{
    // No setlocale() is called in this process, so strtod reads the C locale's syntax.
    const double expected = std::strtod(cSyntax.c_str(), nullptr);
    if (std::isinf(expected)) {
        if (reading.error != platform::ErrorKind::Overflow)
            fuzz::fail(describe(locale, text, reading) + ": expected Overflow, beyond the double range");
        return;
    }
    if (reading.error || reading.value != expected) {
        char value[64];
        std::snprintf(value, sizeof value, "%.17g", expected);
        fuzz::fail(describe(locale, text, reading) + ": expected " + value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const fuzz::Locale& locale = fuzz::useLocale(data[0]);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));

    const fuzz::Reading reading = fuzz::readNumber(text);
    expectNumberOrTheTwoErrors(locale, text, reading);
    if (const auto cSyntax = fuzz::plainNumberInCSyntax(bytes, locale.decimalSeparator))
        expectStrtodValue(locale, text, reading, *cSyntax);
    return 0;
}
