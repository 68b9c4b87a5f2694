// SPDX-License-Identifier: MIT
#include "conversions.h"

#include "runtimeerror.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace platform {
namespace {

QString subject(const QString& what, const QString& text)
{
    return what.isEmpty() ? QStringLiteral("\"%1\"").arg(text)
                          : QStringLiteral("%1 \"%2\"").arg(what, text);
}

// Some locales format numbers in ways their own parser does not read back (an exponent of
// "×10^", a minus sign of U+2212). This reads the plain form that numberToText writes: an
// optional sign, ASCII digits with at most one locale decimal separator, and an optional
// exponent. It returns an empty string where the text is not of that form, else the same
// number in the C locale's syntax.
QString toCSyntax(const QString& text, const QLocale& locale)
{
    const QString s = text.trimmed();
    const QString decimal = locale.decimalPoint();
    QString out;
    qsizetype i = 0;
    auto takeSign = [&] {
        if (s.mid(i).startsWith(locale.negativeSign()) && !locale.negativeSign().isEmpty()) {
            out += u'-';
            i += locale.negativeSign().size();
        } else if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) {
            out += s[i++];
        } else if (s.mid(i).startsWith(locale.positiveSign()) && !locale.positiveSign().isEmpty()) {
            i += locale.positiveSign().size();
        }
    };
    auto takeDigits = [&] {
        qsizetype n = 0;
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
            out += s[i++];
            ++n;
        }
        return n;
    };
    takeSign();
    qsizetype mantissaDigits = takeDigits();
    if (s.mid(i).startsWith(decimal)) {
        out += u'.';
        i += decimal.size();
        mantissaDigits += takeDigits();
    }
    if (mantissaDigits == 0)
        return {};
    if (i < s.size()) {
        const QString exponential = locale.exponential();
        if (s[i] == u'e' || s[i] == u'E')
            ++i;
        else if (!exponential.isEmpty() && s.mid(i).startsWith(exponential, Qt::CaseInsensitive))
            i += exponential.size();
        else
            return {};
        out += u'e';
        takeSign();
        if (takeDigits() == 0)
            return {};
    }
    return i == s.size() ? out : QString();
}

[[noreturn]] void notANumber(const QString& text, const QString& what)
{
    raiseError(ErrorKind::TypeMismatch,
          QStringLiteral("%1 is not a number.").arg(subject(what, text)));
}

[[noreturn]] void beyondDoubleRange(const QString& text, const QString& what)
{
    raiseError(ErrorKind::Overflow,
          QStringLiteral("%1 is beyond the range of numbers this program can handle "
                         "(about ±1.8E+308).")
              .arg(subject(what, text)));
}

template <typename Int>
Int toInteger(double value, const QString& what, const char* typeName)
{
    const double rounded = std::nearbyint(value);
    constexpr double low = static_cast<double>(std::numeric_limits<Int>::min());
    constexpr double high = static_cast<double>(std::numeric_limits<Int>::max());
    if (!(rounded >= low && rounded <= high)) {
        const QString number = numberToText(value);
        raiseError(ErrorKind::Overflow,
              QStringLiteral("%1 does not fit in a %2 integer (%3 to %4).")
                  .arg(what.isEmpty() ? number : QStringLiteral("%1 %2").arg(what, number),
                       QString::fromLatin1(typeName), QString::number(std::numeric_limits<Int>::min()),
                       QString::number(std::numeric_limits<Int>::max())));
    }
    return static_cast<Int>(rounded);
}

[[noreturn]] void arithmeticError(ErrorKind kind, const char* what, QString detail)
{
    if (what)
        raiseError(kind, QStringLiteral("%1 cannot be computed: %2").arg(QString::fromUtf8(what), detail));
    detail[0] = detail[0].toUpper();
    raiseError(kind, detail);
}

double checkResult(double result, const char* operation, const char* what)
{
    if (std::isnan(result))
        arithmeticError(ErrorKind::InvalidOperation, what,
                        QStringLiteral("the %1 has no defined result.").arg(QLatin1String(operation)));
    if (std::isinf(result))
        arithmeticError(ErrorKind::FloatingPointOverflow, what,
                        QStringLiteral("the %1 is beyond the range of numbers this program can handle.")
                            .arg(QLatin1String(operation)));
    return result;
}

} // namespace

double textToDouble(const QString& text, const QString& what)
{
    const QLocale locale;
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (ok) {
        if (!std::isfinite(value))
            notANumber(text, what);
        return value;
    }
    if (std::isinf(value))
        beyondDoubleRange(text, what);
    const QString plain = toCSyntax(text, locale);
    if (plain.isEmpty())
        notANumber(text, what);
    const double parsed = QLocale::c().toDouble(plain, &ok);
    if (ok)
        return parsed;
    if (std::isinf(parsed))
        beyondDoubleRange(text, what);
    return 0.0; // a magnitude below the smallest double reads as zero
}

std::int16_t toInt16(double value, const QString& what)
{
    return toInteger<std::int16_t>(value, what, "16-bit");
}

std::int32_t toInt32(double value, const QString& what)
{
    return toInteger<std::int32_t>(value, what, "32-bit");
}

QString numberToText(double value)
{
    if (value == 0.0)
        return QStringLiteral("0");
    // Rounded to 15 digits, the few largest doubles give a text beyond the double range that
    // would not read back; they are written as the largest 15-digit number within it.
    constexpr double largestText = 1.79769313486231e308;
    if (std::isfinite(value) && std::fabs(value) > largestText)
        value = std::copysign(largestText, value);
    QString text = QLocale::c().toString(value, 'G', 15);
    const QString decimal = QLocale().decimalPoint();
    if (decimal != QLatin1String("."))
        text.replace(u'.', decimal);
    return text;
}

double checkedAdd(double a, double b, const char* what) { return checkResult(a + b, "sum", what); }
double checkedSub(double a, double b, const char* what) { return checkResult(a - b, "difference", what); }
double checkedMul(double a, double b, const char* what) { return checkResult(a * b, "product", what); }

double checkedDiv(double a, double b, const char* what)
{
    if (b == 0.0) {
        if (a == 0.0 || std::isnan(a))
            arithmeticError(ErrorKind::InvalidOperation, what,
                            QStringLiteral("zero divided by zero has no defined result."));
        arithmeticError(ErrorKind::DivisionByZero, what, QStringLiteral("division by zero."));
    }
    return checkResult(a / b, "quotient", what);
}

} // namespace platform
