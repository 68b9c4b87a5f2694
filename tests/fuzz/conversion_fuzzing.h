// SPDX-License-Identifier: MIT
// Shared by the fuzz targets of the number conversions: the user's locale picked by an input
// byte, a reader of the plain decimal syntax written independently of the code under test,
// and textToDouble's outcome with every exception but the program's run-time errors turned
// into a failure.
#pragma once

#include "platform/conversions.h"
#include "platform/runtimeerror.h"

#include <QLocale>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

struct Locale {
    const char* name;
    // The locale's decimal separator in UTF-8, as this locale writes numbers.
    std::string_view decimalSeparator;
};

// Locales whose number forms differ from the C locale's where it matters: a comma as decimal
// separator and "." as group separator (de_DE), a minus sign of U+2212, a no-break space as
// group separator and an exponent of "×10^" (sv_SE), a narrow no-break space as group
// separator (fr_FR), an Arabic decimal separator and signs with a direction mark (ar_EG).
inline constexpr Locale kLocales[] = {
    {"C", "."},     {"en_US", "."},          {"de_DE", ","},
    {"sv_SE", ","}, {"ar_EG", "\u066b"},     {"fr_FR", ","},
};
inline constexpr std::size_t kLocaleCount = sizeof kLocales / sizeof kLocales[0];

// Makes the locale that `selector` picks (its value modulo the number of locales; the seeds
// use the digits '0' to '5') the user's locale, QLocale(), and returns it.
inline const Locale& useLocale(std::uint8_t selector)
{
    const Locale& locale = kLocales[selector % kLocaleCount];
    QLocale::setDefault(QLocale(QString::fromLatin1(locale.name)));
    return locale;
}

[[noreturn]] inline void fail(const std::string& message)
{
    std::fprintf(stderr, "FUZZ FAILURE: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

inline std::string quoted(const QString& text)
{
    return '"' + text.toStdString() + '"';
}

// What textToDouble made of a text: a number, or the kind of run-time error it raised.
struct Reading {
    double value = 0.0;
    std::optional<platform::ErrorKind> error;
};

inline Reading readNumber(const QString& text)
{
    Reading reading;
    try {
        reading.value = platform::textToDouble(text);
    } catch (const platform::RuntimeError& error) {
        reading.error = error.kind();
    } catch (const std::exception& error) {
        fail("textToDouble(" + quoted(text) + ") threw an exception that is no run-time error: " +
             error.what());
    } catch (...) {
        fail("textToDouble(" + quoted(text) + ") threw something that is no exception");
    }
    return reading;
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The plain decimal syntax every locale has to read: an optional ASCII sign, ASCII digits
// with at most one `decimalSeparator`, at least one digit in all, and an optional exponent
// "e" or "E" with an optional sign and at least one digit. Nothing else, no spaces. Returns
// the same number in C syntax, or nothing where `text` is not of this form.
inline std::optional<std::string> plainNumberInCSyntax(std::string_view text,
                                                       std::string_view decimalSeparator)
{
    std::string out;
    std::size_t i = 0;
    auto takeSign = [&] {
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            out += text[i++];
    };
    auto takeDigits = [&] {
        std::size_t count = 0;
        for (; i < text.size() && isDigit(text[i]); ++i, ++count)
            out += text[i];
        return count;
    };
    takeSign();
    std::size_t mantissaDigits = takeDigits();
    if (text.substr(i).starts_with(decimalSeparator)) {
        out += '.';
        i += decimalSeparator.size();
        mantissaDigits += takeDigits();
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        out += text[i++];
        takeSign();
        if (takeDigits() == 0)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    return out;
}

} // namespace fuzz
