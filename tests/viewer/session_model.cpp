// SPDX-License-Identifier: MIT
// The window's rules, stated on their own (see session_model.h): how each procedure reads the
// fields, rounds, checks its floating-point results, and where it stops.
#include "session_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace sessionmodel {

namespace {

constexpr double kDisplayWidth = 321, kDisplayHeight = 241;

std::array<FieldState, 4> defaultWindow(const SessionLocale& locale)
{
    return {FieldState{QStringLiteral("-2"), number(-2)},
        FieldState{locale.local(QStringLiteral("0.5")), number(0.5)},
        FieldState{locale.local(QStringLiteral("-1.25")), number(-1.25)},
        FieldState{locale.local(QStringLiteral("1.25")), number(1.25)}};
}

// A step of the model that raises a run-time error ends the command with these possible kinds.
struct Stop {
    std::vector<ErrorKind> kinds;
};

double read(const FieldState& field)
{
    if (field.reading.error)
        throw Stop{{*field.reading.error}};
    return field.reading.value;
}

// Two reads in no fixed order: either one's error may come first.
std::pair<double, double> readBoth(const FieldState& a, const FieldState& b)
{
    std::vector<ErrorKind> kinds;
    for (const FieldState* field : {&a, &b})
        if (field->reading.error)
            kinds.push_back(*field->reading.error);
    if (!kinds.empty())
        throw Stop{kinds};
    return {a.reading.value, b.reading.value};
}

// Round half to even; Overflow outside the integer type.
template <typename Int>
Int rounded(double value)
{
    const double r = std::nearbyint(value);
    if (!(r >= std::numeric_limits<Int>::min() && r <= std::numeric_limits<Int>::max()))
        throw Stop{{ErrorKind::Overflow}};
    return static_cast<Int>(r);
}

double checked(double result)
{
    if (std::isnan(result))
        throw Stop{{ErrorKind::InvalidOperation}};
    if (std::isinf(result))
        throw Stop{{ErrorKind::FloatingPointOverflow}};
    return result;
}

double quotient(double dividend, double divisor)
{
    if (divisor == 0)
        throw Stop{{dividend == 0 ? ErrorKind::InvalidOperation : ErrorKind::DivisionByZero}};
    return checked(dividend / divisor);
}

// The number a field holds after the program wrote `value` into it: rounded to 15 significant
// digits. The few doubles whose 15-digit text would lie beyond the double range are written as
// the largest 15-digit number within it, so that the text reads back.
double written(double value)
{
    constexpr double largestText = 1.79769313486231e308;
    if (value == 0)
        return 0;
    if (std::fabs(value) > largestText)
        return std::copysign(largestText, value);
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 14).ptr;
    double back = 0;
    std::from_chars(text, end, back);
    return back;
}

FieldState writtenField(double value) { return {std::nullopt, number(written(value))}; }

// Painting sizes PicHidden to the snapshot; a negative size is refused and leaves it as it was.
void paintModel(Model& m)
{
    if (m.snapWidth >= 0)
        m.hidden.setWidth(m.snapWidth);
    if (m.snapHeight >= 0)
        m.hidden.setHeight(m.snapHeight);
    m.zoomPending = false;
}

// The first grid point reads the remaining fields; the indices leave 16 bits at 32768.
void firstGridPoint(
    const Model& m, double width, double height, std::int32_t rowLimit, std::int32_t columnLimit)
{
    read(m.fields[MaxIt]);
    read(m.fields[MColors]);
    rounded<std::int16_t>(width);
    rounded<std::int16_t>(height);
    if (columnLimit > 32767 || rowLimit > 32767)
        throw Stop{{ErrorKind::Overflow}};
}

void renderModel(Model& m)
{
    m.caption = QStringLiteral("Rendering...");
    m.displayEnabled = false;
    const double width = read(m.fields[Width]);
    const auto upperX = rounded<std::int32_t>(checked(width + 2));
    const double height = read(m.fields[Height]);
    const auto upperY = rounded<std::int32_t>(checked(height + 2));
    if (upperX < 0 || upperY < 0)
        throw Stop{{ErrorKind::SubscriptOutOfRange}};
    const auto [rmax, rmin] = readBoth(m.fields[Rmax], m.fields[Rmin]);
    quotient(checked(rmax - rmin), checked(width - 1));
    const auto [imax, imin] = readBoth(m.fields[Imax], m.fields[Imin]);
    quotient(checked(imax - imin), checked(height - 1));
    checked(height + 2); // the bar's maximum
    const auto rowLimit = rounded<std::int32_t>(checked(height + 1));
    if (rowLimit >= 0) {
        const auto columnLimit = rounded<std::int32_t>(checked(width + 1));
        if (columnLimit >= 0)
            firstGridPoint(m, width, height, rowLimit, columnLimit);
    }
    m.caption = QStringLiteral("Drawing...");
    m.snapMaxIt = read(m.fields[MaxIt]);
    m.snapWidth = rounded<std::int16_t>(read(m.fields[Width]));
    m.snapHeight = rounded<std::int16_t>(read(m.fields[Height]));
    paintModel(m);
    m.displayEnabled = true;
    m.redrawEnabled = true;
    m.caption = QStringLiteral("None");
}

void redrawModel(Model& m)
{
    if (!m.redrawEnabled)
        return; // a disabled button delivers no click
    paintModel(m);
    m.caption = QStringLiteral("None");
}

void resetModel(Model& m, const SessionLocale& locale)
{
    m.zoomPending = true;
    const auto window = defaultWindow(locale);
    std::copy(window.begin(), window.end(), m.fields.begin());
}

void nextModel(Model& m)
{
    m.colourRange = m.colourRange + 1 > kLargestColourRange ? 0 : m.colourRange + 1;
}

void previousModel(Model& m)
{
    m.colourRange = m.colourRange - 1 < 0 ? kLargestColourRange : m.colourRange - 1;
}

void pressModel(Model& m, QPoint at)
{
    m.selX1 = rounded<std::int16_t>(at.x());
    m.selY1 = rounded<std::int16_t>(at.y());
    m.dragged = false;
    if (!m.zoomPending) {
        for (int k = 0; k < 4; ++k)
            m.saved[static_cast<std::size_t>(k)] = read(m.fields[static_cast<std::size_t>(k)]);
    } else {
        for (std::size_t k = 0; k < 4; ++k)
            m.fields[k] = writtenField(m.saved[k]);
    }
}

void moveModel(Model& m, QPoint to)
{
    m.selX2 = rounded<std::int16_t>(to.x());
    m.selY2 = rounded<std::int16_t>(to.y());
    m.dragged = true;
}

// The extent labels, computed from the texts of two fields.
void extentModel(const Model& m, FieldId low, FieldId high)
{
    const auto [highValue, lowValue] = readBoth(m.fields[high], m.fields[low]);
    checked(highValue - lowValue);
}

void releaseModel(Model& m)
{
    if (!m.dragged) { // a click selects nothing; the labels follow the fields
        extentModel(m, Rmin, Rmax);
        extentModel(m, Imin, Imax);
        return;
    }
    if (m.selX2 < m.selX1)
        std::swap(m.selX1, m.selX2);
    if (m.selY2 < m.selY1)
        std::swap(m.selY1, m.selY2);
    const double rmin = read(m.fields[Rmin]), rmax = read(m.fields[Rmax]);
    const double imin = read(m.fields[Imin]), imax = read(m.fields[Imax]);
    const double unitR = quotient(checked(rmax - rmin), kDisplayWidth);
    const double unitI = quotient(checked(imax - imin), kDisplayHeight);
    const std::array<double, 4> window{checked(rmin + checked(unitR * m.selX1)),
        checked(rmin + checked(unitR * m.selX2)), checked(imin + checked(unitI * m.selY1)),
        checked(imin + checked(unitI * m.selY2))};
    for (std::size_t k = 0; k < 4; ++k)
        m.fields[k] = writtenField(window[k]);
    extentModel(m, Rmin, Rmax);
    extentModel(m, Imin, Imax);
    m.zoomPending = true;
}

// Runs a command of the model on a copy of `before`: it passes and leaves the copy, or stops
// with the kinds it may raise and the copy as far as the command got.
template <class Command>
Expectation follow(const Model& before, Command&& command)
{
    Model after = before;
    try {
        command(after);
        return {after, {}, std::nullopt};
    } catch (const Stop& stop) {
        return {std::nullopt, stop.kinds, after};
    }
}

} // namespace

Model startingModel(const SessionLocale& locale)
{
    Model m;
    const auto window = defaultWindow(locale);
    std::copy(window.begin(), window.end(), m.fields.begin());
    m.fields[MaxIt] = {QStringLiteral("259"), number(259)};
    m.fields[MColors] = {QStringLiteral("65536"), number(65536)};
    m.fields[Width] = {QStringLiteral("320"), number(320)};
    m.fields[Height] = {QStringLiteral("240"), number(240)};
    return m;
}

Expectation afterFieldEdit(const Model& m, FieldId field, const FieldText& text)
{
    Model after = m;
    after.fields[static_cast<std::size_t>(field)] = {text.text, text.reading};
    return {after, {}, std::nullopt};
}

Expectation afterRender(const Model& m, const SessionLocale&) { return follow(m, renderModel); }
Expectation afterRedraw(const Model& m, const SessionLocale&) { return follow(m, redrawModel); }
Expectation afterPrevious(const Model& m, const SessionLocale&) { return follow(m, previousModel); }
Expectation afterNext(const Model& m, const SessionLocale&) { return follow(m, nextModel); }

Expectation afterReset(const Model& m, const SessionLocale& locale)
{
    return follow(m, [&](Model& w) { resetModel(w, locale); });
}

Expectation afterMouseEvent(const Model& m, const MouseEvent& e)
{
    return follow(m, [&](Model& w) {
        if (!w.displayEnabled || e.buttons != Qt::LeftButton)
            return; // a disabled box gets no mouse events; other buttons do nothing
        if (e.type == MouseEvent::Press)
            pressModel(w, e.at);
        else if (e.type == MouseEvent::Move)
            moveModel(w, e.at);
        else
            releaseModel(w);
    });
}

Expectation afterSliderMove(const Model& m, std::int32_t value)
{
    Model after = m;
    after.colourRange = value;
    return {after, {}, std::nullopt};
}

Expectation afterSave(const Model& m, SaveTarget target)
{
    if (target == SaveTarget::Cancel)
        return {m, {}, std::nullopt};
    Model saving = m;
    saving.caption = QStringLiteral("Saving...");
    if (target != SaveTarget::File)
        return {std::nullopt, {ErrorKind::FileError}, saving};
    Model saved = saving;
    saved.caption = QStringLiteral("None");
    // A picture sized to nothing has no pixels to write: the save may fail.
    if (m.hidden.isEmpty())
        return {saved, {ErrorKind::FileError}, saving};
    return {saved, {}, std::nullopt};
}

} // namespace sessionmodel
