// SPDX-License-Identifier: MIT
// Text to number in the user's locale, doubles to 16- and 32-bit integers, numbers to text, and
// the checked floating-point operations.
#include "platform/conversions.h"
#include "test_support.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace platform {
namespace {

using test::LocaleScope;
using test::raised;

// Locales whose number forms differ from the C locale's in the ways that matter here: comma
// decimal separators, "." or spaces or apostrophes as group separators, a minus sign of
// U+2212 and an exponent of "×10^" (Swedish), a non-ASCII decimal separator (Arabic).
const char* const kLocales[] = {"C", "en_US", "de_DE", "sv_SE", "fr_FR", "de_CH", "ar_EG"};

// The 15-significant-digit value of a number, formatted independently of the code under test.
std::string fifteenDigits(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value == 0.0 ? 0.0 : value);
    return buffer;
}

// ---- textToDouble --------------------------------------------------------------------------

struct ReadCase {
    const char* locale;
    QString text;
    double expected;
};

class TextToDoubleReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TextToDoubleReads, TheNumberInTheLocale)
{
    const ReadCase& c = GetParam();
    LocaleScope locale(QString::fromLatin1(c.locale));
    double value = std::numeric_limits<double>::quiet_NaN();
    const auto error = raised([&] { value = textToDouble(c.text, QStringLiteral("Rmin")); });
    ASSERT_FALSE(error) << error->what();
    EXPECT_EQ(value, c.expected);
}

QString grouped(const char* locale, const char* pattern)
{
    // Puts the locale's own group separator where the pattern has '_'.
    QString text = QString::fromUtf8(pattern);
    return text.replace(u'_', QLocale(QString::fromLatin1(locale)).groupSeparator());
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, TextToDoubleReads,
    ::testing::Values(
        ReadCase{"C", "1.5", 1.5}, ReadCase{"C", "-2.25", -2.25}, ReadCase{"C", "+3", 3.0},
        ReadCase{"C", "  42.5  ", 42.5}, ReadCase{"C", "1.5e3", 1500.0},
        ReadCase{"C", "2E-3", 2e-3}, ReadCase{"C", "-0.5", -0.5},
        ReadCase{"en_US", "-1.75", -1.75}, ReadCase{"en_US", "1,234,567.5", 1234567.5},
        ReadCase{"en_US", "1.5E+20", 1.5e20}, ReadCase{"en_US", "\t7\n", 7.0},
        ReadCase{"de_DE", "1,5", 1.5}, ReadCase{"de_DE", "-2,25", -2.25},
        ReadCase{"de_DE", "+0,125", 0.125}, ReadCase{"de_DE", " 319 ", 319.0},
        ReadCase{"de_DE", "1.234.567,5", 1234567.5}, ReadCase{"de_DE", "1,5E3", 1500.0},
        ReadCase{"de_DE", "2,5e-3", 2.5e-3},
        ReadCase{"sv_SE", "1,5", 1.5}, ReadCase{"sv_SE", "-2,25", -2.25},
        ReadCase{"sv_SE", "\u22122,25", -2.25}, ReadCase{"sv_SE", grouped("sv_SE", "1_234,5"), 1234.5},
        ReadCase{"sv_SE", "1,5E3", 1500.0}, ReadCase{"sv_SE", "1,5e\u22123", 1.5e-3},
        ReadCase{"sv_SE", "1,5\u00d710^3", 1500.0}, ReadCase{"sv_SE", "2,5\u00d710^\u22123", 2.5e-3},
        ReadCase{"fr_FR", grouped("fr_FR", "1_234_567,25"), 1234567.25},
        ReadCase{"de_CH", grouped("de_CH", "1_234.5"), 1234.5},
        ReadCase{"ar_EG", "2\u066b5", 2.5},
        // Magnitudes below the smallest double read as zero, not as an error.
        ReadCase{"C", "1e-400", 0.0}, ReadCase{"C", "-1e-400", 0.0},
        ReadCase{"de_DE", "1,5e-400", 0.0}, ReadCase{"sv_SE", "1e-400", 0.0}));

struct RejectCase {
    const char* locale;
    QString text;
    ErrorKind kind;
};

class TextToDoubleRejects : public ::testing::TestWithParam<RejectCase> {};

TEST_P(TextToDoubleRejects, WithTheKindAndAMessageNamingTheFieldAndText)
{
    const RejectCase& c = GetParam();
    LocaleScope locale(QString::fromLatin1(c.locale));
    const auto error = raised([&] { textToDouble(c.text, QStringLiteral("Imax")); });
    ASSERT_TRUE(error) << "accepted";
    EXPECT_EQ(error->kind(), c.kind);
    const QString message = QString::fromUtf8(error->what());
    EXPECT_TRUE(message.contains(QStringLiteral("Imax"))) << message.toStdString();
    EXPECT_TRUE(message.contains(c.text)) << message.toStdString();

    // Without a field name the message still quotes the text.
    const auto unnamed = raised([&] { textToDouble(c.text); });
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->kind(), c.kind);
    EXPECT_TRUE(QString::fromUtf8(unnamed->what()).contains(QStringLiteral("\"%1\"").arg(c.text)))
        << unnamed->what();
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, TextToDoubleRejects,
    ::testing::Values(
        RejectCase{"C", "", ErrorKind::TypeMismatch}, RejectCase{"C", "   ", ErrorKind::TypeMismatch},
        RejectCase{"C", "abc", ErrorKind::TypeMismatch}, RejectCase{"C", "nan", ErrorKind::TypeMismatch},
        RejectCase{"C", "NaN", ErrorKind::TypeMismatch}, RejectCase{"C", "inf", ErrorKind::TypeMismatch},
        RejectCase{"C", "-inf", ErrorKind::TypeMismatch}, RejectCase{"C", "1.5.5", ErrorKind::TypeMismatch},
        RejectCase{"C", "12abc", ErrorKind::TypeMismatch}, RejectCase{"C", "1e", ErrorKind::TypeMismatch},
        RejectCase{"C", "e5", ErrorKind::TypeMismatch}, RejectCase{"C", "-", ErrorKind::TypeMismatch},
        RejectCase{"C", "1 2", ErrorKind::TypeMismatch},
        RejectCase{"en_US", "inf", ErrorKind::TypeMismatch}, RejectCase{"en_US", "1,5", ErrorKind::TypeMismatch},
        RejectCase{"de_DE", "1.5", ErrorKind::TypeMismatch}, RejectCase{"de_DE", "nan", ErrorKind::TypeMismatch},
        RejectCase{"de_DE", "-inf", ErrorKind::TypeMismatch}, RejectCase{"de_DE", "", ErrorKind::TypeMismatch},
        RejectCase{"sv_SE", "abc", ErrorKind::TypeMismatch}, RejectCase{"sv_SE", "inf", ErrorKind::TypeMismatch},
        RejectCase{"sv_SE", "1,5,5", ErrorKind::TypeMismatch}, RejectCase{"sv_SE", "1,5\u00d710^", ErrorKind::TypeMismatch},
        // Beyond the double range is an overflow, not a text that is no number.
        RejectCase{"C", "1e309", ErrorKind::Overflow}, RejectCase{"C", "-1e309", ErrorKind::Overflow},
        RejectCase{"en_US", "1.8E+308", ErrorKind::Overflow}, RejectCase{"de_DE", "1e309", ErrorKind::Overflow},
        RejectCase{"de_DE", "-1,8E+308", ErrorKind::Overflow}, RejectCase{"sv_SE", "1e309", ErrorKind::Overflow},
        RejectCase{"sv_SE", "\u22121e309", ErrorKind::Overflow}, RejectCase{"ar_EG", "1e309", ErrorKind::Overflow}));

// ---- toInt16 / toInt32 ---------------------------------------------------------------------

struct IntegerCase {
    double value;
    std::optional<std::int64_t> expected; // nothing: Overflow
};

std::vector<IntegerCase> int16Cases()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    return {{0.5, 0},         {1.5, 2},           {2.5, 2},          {-2.5, -2},
            {-0.5, 0},        {320.5, 320},       {321.5, 322},      {319.4999, 319},
            {-1.5, -2},       {0.0, 0},           {-0.0, 0},         {32767.0, 32767},
            {32767.4, 32767}, {32767.5, {}},      {32768.0, {}},     {-32768.0, -32768},
            {-32768.5, -32768}, {-32768.6, {}},   {-32769.0, {}},    {nan, {}},
            {inf, {}},        {-inf, {}},         {1e300, {}}};
}

std::vector<IntegerCase> int32Cases()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {{0.5, 0},
            {2.5, 2},
            {-2.5, -2},
            {3.5, 4},
            {40000.0, 40000},
            {-70000.5, -70000},
            {2147483647.0, 2147483647},
            {2147483647.4, 2147483647},
            {2147483647.5, {}},
            {2147483648.0, {}},
            {-2147483648.0, -2147483648LL},
            {-2147483648.5, -2147483648LL},
            {-2147483648.6, {}},
            {-2147483649.0, {}},
            {nan, {}},
            {std::numeric_limits<double>::infinity(), {}}};
}

class ToInt16 : public ::testing::TestWithParam<IntegerCase> {};
class ToInt32 : public ::testing::TestWithParam<IntegerCase> {};

template <class Convert>
void checkInteger(const IntegerCase& c, Convert convert)
{
    std::int64_t result = 0;
    const auto error = raised([&] { result = convert(c.value, QStringLiteral("Width")); });
    if (c.expected) {
        ASSERT_FALSE(error) << error->what();
        EXPECT_EQ(result, *c.expected);
    } else {
        ASSERT_TRUE(error) << "gave " << result;
        EXPECT_EQ(error->kind(), ErrorKind::Overflow);
        EXPECT_TRUE(QString::fromUtf8(error->what()).contains(QStringLiteral("Width"))) << error->what();
    }
}

TEST_P(ToInt16, RoundsHalfToEvenWithinTheRange)
{
    checkInteger(GetParam(), [](double v, const QString& what) { return toInt16(v, what); });
}

TEST_P(ToInt32, RoundsHalfToEvenWithinTheRange)
{
    checkInteger(GetParam(), [](double v, const QString& what) { return toInt32(v, what); });
}

INSTANTIATE_TEST_SUITE_P(Conversions, ToInt16, ::testing::ValuesIn(int16Cases()));
INSTANTIATE_TEST_SUITE_P(Conversions, ToInt32, ::testing::ValuesIn(int32Cases()));

// ---- numberToText --------------------------------------------------------------------------

struct TextCase {
    const char* locale;
    double value;
    QString expected;
};

class NumberToText : public ::testing::TestWithParam<TextCase> {};

TEST_P(NumberToText, FifteenDigitsNoGroupingLocaleSeparator)
{
    const TextCase& c = GetParam();
    LocaleScope locale(QString::fromLatin1(c.locale));
    EXPECT_EQ(numberToText(c.value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, NumberToText,
    ::testing::Values(
        TextCase{"en_US", 1234567.0, "1234567"}, TextCase{"de_DE", 1234567.0, "1234567"},
        TextCase{"sv_SE", 1234567.0, "1234567"}, TextCase{"en_US", 2.5, "2.5"},
        TextCase{"de_DE", 2.5, "2,5"}, TextCase{"sv_SE", -2.5, "-2,5"},
        TextCase{"ar_EG", 2.5, "2\u066b5"}, TextCase{"en_US", 319.0, "319"},
        TextCase{"en_US", 0.1 + 0.2, "0.3"}, TextCase{"de_DE", 0.1 + 0.2, "0,3"},
        TextCase{"en_US", -0.0, "0"}, TextCase{"de_DE", 0.0, "0"},
        TextCase{"en_US", 1e15, "1E+15"}, TextCase{"sv_SE", 1e15, "1E+15"},
        TextCase{"en_US", 1e-5, "1E-05"}, TextCase{"de_DE", 1.5e-7, "1,5E-07"},
        TextCase{"en_US", 123456789012345.0, "123456789012345"},
        TextCase{"en_US", 0.0001, "0.0001"}, TextCase{"en_US", 1.0 / 3.0, "0.333333333333333"},
        TextCase{"de_DE", -2.0 / 3.0, "-0,666666666666667"}, TextCase{"en_US", 100.0, "100"},
        TextCase{"en_US", -2.0, "-2"}, TextCase{"en_US", 1e100, "1E+100"},
        TextCase{"de_DE", 1234567.125, "1234567,125"}));

// Every text numberToText writes reads back through textToDouble to the same 15-digit value,
// in every locale.
std::vector<double> roundTripValues()
{
    std::vector<double> values = {0.0,        -0.0,       2.5,          319.0,      320.5,
                                  -2.0,       0.5,        0.1 + 0.2,    1.0 / 3.0,  -1.5,
                                  1e15,       1e-5,       1e16,         1e-300,     -1e300,
                                  1e308,      DBL_MIN,    -DBL_MIN,     5e-324,     1e-320,
                                  123456789012345.0,      999999999999999.0,        9.999999999999995,
                                  0.000123456789,         -987654.321,  32767.5,    -32768.5};
    for (int exponent = -307; exponent <= 307; exponent += 7)
        values.push_back(std::pow(10.0, exponent));
    for (int k = 1; k < 50; ++k)
        values.push_back(k / 7.0 - 3.0);
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 200; ++i) {
        const double v = mantissa(random) * std::pow(10.0, exponent(random));
        values.push_back(i % 2 ? -v : v);
    }
    // Arbitrary bit patterns reach subnormals and the far ends of the range. The few that round
    // at 15 digits to beyond the largest double are checked on their own below.
    for (int i = 0; i < 200; ++i) {
        const std::uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v) && std::fabs(v) < 1.79769313486231e308)
            values.push_back(v);
    }
    return values;
}

class NumberTextRoundTrip : public ::testing::TestWithParam<const char*> {};

TEST_P(NumberTextRoundTrip, ReadsBackToTheSameFifteenDigitValue)
{
    LocaleScope locale(QString::fromLatin1(GetParam()));
    for (const double value : roundTripValues()) {
        const QString text = numberToText(value);
        double back = 0.0;
        const auto error = raised([&] { back = textToDouble(text); });
        ASSERT_FALSE(error) << fifteenDigits(value) << " as " << text.toStdString() << ": " << error->what();
        EXPECT_EQ(fifteenDigits(back), fifteenDigits(value)) << "as " << text.toStdString();
        // What is written again is the same text: nothing drifts over repeated edits.
        EXPECT_EQ(numberToText(back), text);
    }
}

// The largest doubles round at 15 digits to a text beyond the double range; what is written for
// them still reads back, to the nearest number that does.
TEST_P(NumberTextRoundTrip, TheLargestDoublesReadBack)
{
    LocaleScope locale(QString::fromLatin1(GetParam()));
    for (const double value : {DBL_MAX, -DBL_MAX, std::nextafter(DBL_MAX, 0.0), 1.797693134862315e308}) {
        const QString text = numberToText(value);
        double back = 0.0;
        const auto error = raised([&] { back = textToDouble(text); });
        ASSERT_FALSE(error) << text.toStdString() << ": " << error->what();
        EXPECT_TRUE(std::isfinite(back));
        EXPECT_NEAR(back / value, 1.0, 1e-14) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Conversions, NumberTextRoundTrip, ::testing::ValuesIn(kLocales),
                         [](const auto& info) { return std::string(info.param); });

// ---- Checked arithmetic --------------------------------------------------------------------

struct ArithmeticCase {
    const char* name;
    std::function<double(double, double)> operation;
    double a, b;
    std::optional<ErrorKind> error;
    double expected;
};

class CheckedArithmetic : public ::testing::TestWithParam<ArithmeticCase> {};

TEST_P(CheckedArithmetic, RaisesWhereIeeeWouldGiveInfinityOrNaN)
{
    const ArithmeticCase& c = GetParam();
    double result = 0.0;
    const auto error = raised([&] { result = c.operation(c.a, c.b); });
    if (c.error) {
        ASSERT_TRUE(error) << "gave " << result;
        EXPECT_EQ(error->kind(), *c.error);
    } else {
        ASSERT_FALSE(error) << error->what();
        EXPECT_EQ(result, c.expected);
    }
}

const auto add = [](double a, double b) { return checkedAdd(a, b); };
const auto sub = [](double a, double b) { return checkedSub(a, b); };
const auto mul = [](double a, double b) { return checkedMul(a, b); };
const auto divide = [](double a, double b) { return checkedDiv(a, b); };

INSTANTIATE_TEST_SUITE_P(
    Conversions, CheckedArithmetic,
    ::testing::Values(
        ArithmeticCase{"OneByZero", divide, 1.0, 0.0, ErrorKind::DivisionByZero, 0},
        ArithmeticCase{"MinusOneByMinusZero", divide, -1.0, -0.0, ErrorKind::DivisionByZero, 0},
        ArithmeticCase{"ZeroByZero", divide, 0.0, 0.0, ErrorKind::InvalidOperation, 0},
        ArithmeticCase{"MinusZeroByZero", divide, -0.0, 0.0, ErrorKind::InvalidOperation, 0},
        ArithmeticCase{"HugeByTiny", divide, 1e308, 1e-10, ErrorKind::FloatingPointOverflow, 0},
        ArithmeticCase{"Quotient", divide, 3.0, 4.0, std::nullopt, 0.75},
        ArithmeticCase{"ZeroByOne", divide, 0.0, 1.0, std::nullopt, 0.0},
        ArithmeticCase{"ProductOverflow", mul, 1e308, 10.0, ErrorKind::FloatingPointOverflow, 0},
        ArithmeticCase{"NegativeProductOverflow", mul, -1e308, 10.0, ErrorKind::FloatingPointOverflow, 0},
        ArithmeticCase{"Product", mul, 2.5, -4.0, std::nullopt, -10.0},
        ArithmeticCase{"ProductUnderflowsToZero", mul, 1e-300, 1e-300, std::nullopt, 0.0},
        ArithmeticCase{"SumOverflow", add, 1e308, 1e308, ErrorKind::FloatingPointOverflow, 0},
        ArithmeticCase{"Sum", add, 0.5, 0.25, std::nullopt, 0.75},
        ArithmeticCase{"DifferenceOverflow", sub, -1e308, 1e308, ErrorKind::FloatingPointOverflow, 0},
        ArithmeticCase{"Difference", sub, 0.5, 2.0, std::nullopt, -1.5},
        ArithmeticCase{"LargestStaysFinite", add, DBL_MAX, 1.0, std::nullopt, DBL_MAX}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace platform
