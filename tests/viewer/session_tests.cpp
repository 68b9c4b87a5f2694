// SPDX-License-Identifier: MIT
// Random sessions on the real window: seeded sequences of field edits, button clicks, drags on
// the picture, slider moves and saves, some of them in a German (decimal comma) locale.
//
// Before each step the model of the window (session_model.h) works out, from what the fields
// hold, what the step must do: pass, or stop with which kind of run-time error, and how the
// window looks after. Each session ends with a render of a known view, whose hidden picture
// must match the kernel's values, coloured, pixel for pixel.
//
// Every seed is a test of its own, on a fresh window. Field texts and sizes are picked so that
// every render either stops early or stays small. A failure names its seed and lists the
// session's steps; --gtest_filter='Seeds/SessionTest.*/<seed>' replays it, and
// VELDTRA_SESSION_TRACE=1 prints each step with the errors it reported.
#include "session_model.h"
#include "viewer_fixture.h"

#include "platform/commondialog.h"
#include "platform/controls.h"
#include "platform/picturebox.h"

#include <QDir>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

using namespace viewertest;
using namespace sessionmodel;
using platform::ErrorKind;

namespace {

constexpr unsigned kSessions = 200;
constexpr int kRandomSteps = 100;

// ---- Field texts and what they read as ---------------------------------------------------

enum class Role { Window, Iterations, Colours, Size };

Role roleOf(int field)
{
    if (field <= Imax)
        return Role::Window;
    if (field == MaxIt)
        return Role::Iterations;
    return field == MColors ? Role::Colours : Role::Size;
}

using Rng = std::mt19937;

int between(Rng& rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

template <class T>
const T& pick(Rng& rng, const std::vector<T>& items)
{
    return items[static_cast<std::size_t>(between(rng, 0, static_cast<int>(items.size()) - 1))];
}

// Picks an entry of a table whose entries carry a `weight`.
template <class Table>
const auto& weighted(Rng& rng, const Table& table)
{
    int total = 0;
    for (const auto& entry : table)
        total += entry.weight;
    int draw = between(rng, 1, total);
    for (const auto& entry : table)
        if ((draw -= entry.weight) <= 0)
            return entry;
    return *std::begin(table);
}

struct Sample {
    const char* text; // with "." as the decimal separator
    double value;
};

FieldText localSample(Rng& rng, const SessionLocale& locale, const std::vector<Sample>& samples)
{
    const Sample& s = pick(rng, samples);
    return {locale.local(QString::fromUtf8(s.text)), number(s.value)};
}

FieldText ordinaryText(Rng& rng, Role role, const SessionLocale& locale)
{
    switch (role) {
    case Role::Window: {
        const int thousandths = between(rng, -2500, 2500);
        return {locale.local(QString::number(thousandths / 1000.0, 'f', 3)), number(thousandths / 1000.0)};
    }
    case Role::Iterations:
        return localSample(rng, locale,
            {{"1", 1}, {"2", 2}, {"2.5", 2.5}, {"10", 10}, {"50", 50}, {"259", 259}, {"1000", 1000},
                {"2000", 2000}});
    case Role::Colours:
        return localSample(
            rng, locale, {{"65536", 65536}, {"256", 256}, {"1", 1}, {"0", 0}, {"7.5", 7.5}, {"1000000", 1e6}});
    case Role::Size: break;
    }
    return localSample(rng, locale,
        {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"8", 8}, {"16", 16}, {"40.5", 40.5}, {"64", 64}, {"100", 100},
            {"150", 150}, {"200", 200}});
}

FieldText negativeText(Rng& rng, Role role, const SessionLocale& locale)
{
    switch (role) {
    case Role::Window:
        return localSample(rng, locale, {{"-0.5", -0.5}, {"-3", -3}, {"-0.001", -0.001}, {"-100", -100}});
    case Role::Iterations: return localSample(rng, locale, {{"-1", -1}, {"-259", -259}, {"0", 0}});
    case Role::Colours: return localSample(rng, locale, {{"-1", -1}, {"-65536", -65536}});
    case Role::Size: break;
    }
    return localSample(
        rng, locale, {{"-1", -1}, {"-2", -2}, {"-3", -3}, {"-0.5", -0.5}, {"-2.5", -2.5}, {"-40000", -40000}});
}

FieldText hugeText(Rng& rng, Role, const SessionLocale&)
{
    const std::vector<FieldText> texts{{"1e300", number(1e300)}, {"-1e300", number(-1e300)},
        {"1E+308", number(1e308)}, {"99999999", number(99999999)}, {"-99999999", number(-99999999)},
        {"99999", number(99999)}, {"40000", number(40000)}, {"1e309", kBeyondDoubles},
        {"-1e309", kBeyondDoubles}};
    return pick(rng, texts);
}

FieldText garbageText(Rng& rng, Role, const SessionLocale&)
{
    const std::vector<const char*> texts{
        "abc", "12x", "1.2.3", "--1", "0x10", "1e", "nan", "inf", "½", "€5", "e5", ".", "1 000", "1 2"};
    return {QString::fromUtf8(pick(rng, texts)), kNoNumber};
}

// Separators of the other locale: a comma decimal in the C locale, grouping points or a point
// decimal in the German one. What each reads as depends on the session's locale.
FieldText foreignSeparatorText(Rng& rng, Role, const SessionLocale& locale)
{
    struct Foreign {
        const char* text;
        Reading inC, inGerman;
    };
    const std::vector<Foreign> texts{{"1,5", kNoNumber, number(1.5)}, {"1.500,25", kNoNumber, number(1500.25)},
        {"1,500.25", number(1500.25), kNoNumber}, {"2.5", number(2.5), kNoNumber},
        {"0,25", kNoNumber, number(0.25)}, {"1.500", number(1.5), number(1500)},
        {"1,000", number(1000), number(1)}};
    const Foreign& f = pick(rng, texts);
    return {QString::fromUtf8(f.text), locale.german ? f.inGerman : f.inC};
}

FieldText whitespaceText(Rng& rng, Role role, const SessionLocale& locale)
{
    if (between(rng, 0, 3) == 0)
        return {QStringLiteral("   "), kNoNumber};
    FieldText padded = ordinaryText(rng, role, locale);
    const std::vector<std::pair<const char*, const char*>> pads{{" ", " "}, {"  ", ""}, {"", "   "}};
    const auto& [before, after] = pick(rng, pads);
    padded.text = QLatin1String(before) + padded.text + QLatin1String(after);
    return padded;
}

FieldText emptyText(Rng&, Role, const SessionLocale&) { return {QString(), kNoNumber}; }

struct TextKind {
    const char* name;
    int weight;
    FieldText (*make)(Rng&, Role, const SessionLocale&);
};

const TextKind kTextKinds[] = {
    {"ordinary", 12, ordinaryText},
    {"garbage", 2, garbageText},
    {"huge", 3, hugeText},
    {"negative", 2, negativeText},
    {"separators", 2, foreignSeparatorText},
    {"whitespace", 1, whitespaceText},
    {"empty", 1, emptyText},
};

// Whether a render with these sizes and MaxIt stays small, whatever the window fields hold:
// it stops before it allocates or computes much, or its grid and its work are small.
bool staysSmall(const Reading& width, const Reading& height, const Reading& maxIt)
{
    constexpr double kMostBytes = 16e6, kMostPoints = 31000, kMostPasses = 3e7;
    auto fits = [](double v, double low, double high) {
        return std::nearbyint(v) >= low && std::nearbyint(v) <= high;
    };
    if (width.error || height.error || !fits(width.value + 2, 0, 2147483647) ||
        !fits(height.value + 2, 0, 2147483647))
        return true;
    if ((std::nearbyint(width.value + 2) + 1) * (std::nearbyint(height.value + 2) + 1) > kMostBytes)
        return false;
    const double rows = std::max(0.0, std::nearbyint(height.value + 1) + 1);
    const double columns = std::max(0.0, std::nearbyint(width.value + 1) + 1);
    if (rows == 0 || columns == 0)
        return rows <= kMostPoints;
    if (maxIt.error || !fits(width.value, -32768, 32767) || !fits(height.value, -32768, 32767))
        return true; // stops at the first point
    const double points = rows * columns;
    return points <= kMostPoints && points * std::max(1.0, std::ceil(maxIt.value)) <= kMostPasses;
}

// ---- Steps ---------------------------------------------------------------------------------

struct SetFieldStep {
    FieldId field;
    FieldText text;
    const char* kind = "view"; // the kind of text, for the step list
};

struct ButtonStep {
    const char* caption;
    platform::CommandButton* form1::*button;
    Expectation (*model)(const Model&, const SessionLocale&);
};

const ButtonStep kRender{"Render", &form1::cmdRender, afterRender};
const ButtonStep kRedraw{"Redraw", &form1::cmdReload, afterRedraw};
const ButtonStep kReset{"Reset", &form1::cmdReset, afterReset};
const ButtonStep kPrevious{"<", &form1::cmdPrev, afterPrevious};
const ButtonStep kNext{">", &form1::cmdNext, afterNext};

struct GestureStep {
    const char* name;
    std::vector<MouseEvent> events;
};

struct SliderStep {
    enum How { Set, Thumb, Home, End } how;
    int value;
};

struct SaveStep {
    SaveTarget target;
    QString name; // within the session's folder
};

using Step = std::variant<SetFieldStep, ButtonStep, GestureStep, SliderStep, SaveStep>;

// What runs one event procedure (or, for a field, one edit): a gesture is one per mouse event.
using Action = std::variant<SetFieldStep, ButtonStep, MouseEvent, SliderStep, SaveStep>;

template <class S>
std::vector<Action> actionsOf(const S& step)
{
    return {Action{step}};
}

std::vector<Action> actionsOf(const GestureStep& gesture)
{
    return {gesture.events.begin(), gesture.events.end()};
}

std::vector<Action> actionsOf(const Step& step)
{
    return std::visit([](const auto& s) { return actionsOf(s); }, step);
}

std::string describe(const SetFieldStep& s)
{
    return std::string(kFieldNames[s.field]) + " := \"" + s.text.text.toStdString() + "\" (" + s.kind + ")";
}

std::string describe(const ButtonStep& s) { return std::string("click ") + s.caption; }

std::string buttonsText(Qt::MouseButtons buttons)
{
    std::string text;
    for (const auto& [button, letter] :
        {std::pair{Qt::LeftButton, "L"}, {Qt::RightButton, "R"}, {Qt::MiddleButton, "M"}})
        if (buttons & button)
            text += (text.empty() ? "" : "+") + std::string(letter);
    return text;
}

std::string describe(const GestureStep& s)
{
    std::ostringstream out;
    out << s.name << ":";
    for (const MouseEvent& e : s.events)
        out << (e.type == MouseEvent::Press         ? " down "
                       : e.type == MouseEvent::Move ? " move "
                                                    : " up ")
            << buttonsText(e.buttons) << " (" << e.at.x() << "," << e.at.y() << ")";
    return out.str();
}

std::string describe(const SliderStep& s)
{
    switch (s.how) {
    case SliderStep::Set: return "slider value := " + std::to_string(s.value);
    case SliderStep::Thumb: return "slider thumb dragged to " + std::to_string(s.value);
    case SliderStep::Home: return "slider key Home";
    case SliderStep::End: break;
    }
    return "slider key End";
}

std::string describe(const SaveStep& s)
{
    return s.target == SaveTarget::Cancel ? std::string("Save, cancelled")
                                        : "Save as \"" + s.name.toStdString() + "\"";
}

std::string describe(const Step& step)
{
    return std::visit([](const auto& s) { return describe(s); }, step);
}

// ---- What each step must do ------------------------------------------------------------------

Expectation expect(const Model& m, const SetFieldStep& s, const SessionLocale&)
{
    return afterFieldEdit(m, s.field, s.text);
}

Expectation expect(const Model& m, const ButtonStep& s, const SessionLocale& locale)
{
    return s.model(m, locale);
}

Expectation expect(const Model& m, const MouseEvent& e, const SessionLocale&) { return afterMouseEvent(m, e); }

Expectation expect(const Model& m, const SliderStep& s, const SessionLocale&)
{
    const std::int32_t value =
        s.how == SliderStep::Home ? 0 : s.how == SliderStep::End ? kLargestColourRange : s.value;
    return afterSliderMove(m, value);
}

Expectation expect(const Model& m, const SaveStep& s, const SessionLocale&) { return afterSave(m, s.target); }

Expectation expect(const Model& m, const Action& action, const SessionLocale& locale)
{
    return std::visit([&](const auto& a) { return expect(m, a, locale); }, action);
}

// ---- The views that end each session -------------------------------------------------------

struct FinalView {
    std::array<const char*, kFieldCount> texts; // with "." as the decimal separator
    View view;
};

const std::vector<FinalView> kFinalViews{
    {{"-2", "0.5", "-1.25", "1.25", "259", "65536", "120", "90"}, {-2, 0.5, -1.25, 1.25, 259, 65536, 120, 90}},
    {{"-0.8", "-0.7", "0.05", "0.15", "500", "65536", "160", "120"},
        {-0.8, -0.7, 0.05, 0.15, 500, 65536, 160, 120}},
    {{"-1.5", "0.5", "-1", "1", "50", "256", "64", "48"}, {-1.5, 0.5, -1, 1, 50, 256, 64, 48}},
    {{"0.5", "-2", "1.25", "-1.25", "100", "-65536", "81", "61"}, {0.5, -2, 1.25, -1.25, 100, -65536, 81, 61}},
    {{"-2", "2", "-2", "2", "2.5", "1000", "40", "30"}, {-2, 2, -2, 2, 2.5, 1000, 40, 30}},
    {{"-0.75", "-0.74", "0.1", "0.11", "1000", "65536", "200", "150"},
        {-0.75, -0.74, 0.1, 0.11, 1000, 65536, 200, 150}},
};

double viewValue(const View& v, int field)
{
    const std::array<double, kFieldCount> values{v.rmin, v.rmax, v.imin, v.imax, v.maxIt, v.mColors,
        static_cast<double>(v.width), static_cast<double>(v.height)};
    return values[static_cast<std::size_t>(field)];
}

// The colour painting gives a grid value: the code of its first decimal digit times
// range / MaxIt, rounded half to even; red and green are its low bytes, blue its third byte
// divided by 65535.
QRgb paintedColour(std::uint8_t value, std::int32_t range, double maxIt)
{
    const int code = std::to_string(value).front();
    const auto colour = static_cast<std::int32_t>(std::nearbyint(range / maxIt * code));
    return qRgb(colour & 0xFF, (colour & 0xFF00) / 256, (colour & 0xFF0000) / 65535);
}

// Pixel (x, y) shows grid point (x + 1, y + 1).
QImage expectedPicture(const View& view, std::int32_t range)
{
    QImage picture(view.width, view.height, QImage::Format_RGB32);
    for (int y = 0; y < view.height; ++y)
        for (int x = 0; x < view.width; ++x)
            picture.setPixel(x, y, paintedColour(expectedPoint(view, x + 1, y + 1), range, view.maxIt));
    return picture;
}

// ---- Planning a session ----------------------------------------------------------------------

struct Plan {
    std::vector<Step> steps;
    const FinalView* finalView = nullptr; // the last steps set its fields and render it
};

// Draws a session's steps from its seed. It follows the texts of Width, Height and MaxIt so
// that no render grows large.
class Planner {
public:
    Planner(unsigned seed, const SessionLocale& locale) : rng_(seed), locale_(locale) { }

    Plan plan()
    {
        Plan p;
        addSmallSize(p);
        for (int i = 0; i < kRandomSteps; ++i)
            p.steps.push_back(weighted(rng_, kStepKinds).make(*this));
        p.finalView = &pick(rng_, kFinalViews);
        for (int field = 0; field < kFieldCount; ++field) {
            const QString text = QString::fromUtf8(p.finalView->texts[static_cast<std::size_t>(field)]);
            p.steps.push_back(
                SetFieldStep{static_cast<FieldId>(field),
                    {locale_.local(text), number(viewValue(p.finalView->view, field))}});
        }
        p.steps.push_back(kRender);
        return p;
    }

private:
    struct StepKind {
        int weight;
        Step (*make)(Planner&);
    };
    static const std::array<StepKind, 9> kStepKinds;

    // The window opens at 320 x 240; a session starts at a smaller size.
    void addSmallSize(Plan& p)
    {
        FieldText width, height;
        do {
            width = ordinaryText(rng_, Role::Size, locale_);
            height = ordinaryText(rng_, Role::Size, locale_);
        } while (!staysSmall(width.reading, height.reading, maxIt_));
        width_ = width.reading;
        height_ = height.reading;
        p.steps.push_back(SetFieldStep{Width, width, "ordinary"});
        p.steps.push_back(SetFieldStep{Height, height, "ordinary"});
    }

    Step fieldStep()
    {
        const auto field = static_cast<FieldId>(between(rng_, 0, kFieldCount - 1));
        for (;;) {
            const TextKind& kind = weighted(rng_, kTextKinds);
            const FieldText text = kind.make(rng_, roleOf(field), locale_);
            const Reading& w = field == Width ? text.reading : width_;
            const Reading& h = field == Height ? text.reading : height_;
            const Reading& it = field == MaxIt ? text.reading : maxIt_;
            if (!staysSmall(w, h, it))
                continue;
            width_ = w, height_ = h, maxIt_ = it;
            return SetFieldStep{field, text, kind.name};
        }
    }

    QPoint point()
    {
        if (between(rng_, 0, 2) > 0)
            return {between(rng_, 0, 320), between(rng_, 0, 240)};
        return {between(rng_, -400, 720), between(rng_, -250, 500)}; // beyond the box, over other controls
    }

    Step gestureStep()
    {
        using E = MouseEvent;
        const QPoint a = point(), b = point(), c = point();
        switch (between(rng_, 0, 6)) {
        case 0: return GestureStep{"click", {{E::Press, a, Qt::LeftButton}, {E::Release, a, Qt::LeftButton}}};
        case 6: {
            const QPoint end = between(rng_, 0, 1) ? QPoint(a.x(), b.y()) : QPoint(b.x(), a.y());
            return GestureStep{"drag along a line (no width or no height)",
                {{E::Press, a, Qt::LeftButton}, {E::Move, end, Qt::LeftButton}, {E::Release, end, Qt::LeftButton}}};
        }
        case 1: {
            const Qt::MouseButton other = between(rng_, 0, 1) ? Qt::RightButton : Qt::MiddleButton;
            return GestureStep{"drag with another button",
                {{E::Press, a, other}, {E::Move, b, other}, {E::Release, b, other}}};
        }
        case 2:
            return GestureStep{"drag, right button held too on the way",
                {{E::Press, a, Qt::LeftButton}, {E::Move, b, Qt::LeftButton | Qt::RightButton},
                    {E::Move, c, Qt::LeftButton}, {E::Release, c, Qt::LeftButton}}};
        case 3:
            return GestureStep{"drag",
                {{E::Press, a, Qt::LeftButton}, {E::Move, b, Qt::LeftButton}, {E::Move, c, Qt::LeftButton},
                    {E::Release, c, Qt::LeftButton}}};
        default:
            return GestureStep{"drag",
                {{E::Press, a, Qt::LeftButton}, {E::Move, b, Qt::LeftButton}, {E::Release, b, Qt::LeftButton}}};
        }
    }

    Step sliderStep()
    {
        const std::vector<int> values{0, 1, 4999999, 5000000, between(rng_, 0, 5000000)};
        const auto how = static_cast<SliderStep::How>(between(rng_, 0, 3));
        return SliderStep{how, pick(rng_, values)};
    }

    Step saveStep()
    {
        switch (between(rng_, 0, 7)) {
        case 0:
        case 1: return SaveStep{SaveTarget::Cancel, {}};
        case 2: return SaveStep{SaveTarget::MissingDirectory, QStringLiteral("missing/folder/picture.bmp")};
        case 3: return SaveStep{SaveTarget::Directory, QStringLiteral(".")};
        case 4: return SaveStep{SaveTarget::File, QStringLiteral("same.bmp")}; // replaced again and again
        case 5: return SaveStep{SaveTarget::File, QStringLiteral("no extension %1").arg(++saves_)};
        default: return SaveStep{SaveTarget::File, QStringLiteral("picture %1.bmp").arg(++saves_)};
        }
    }

    Rng rng_;
    SessionLocale locale_;
    Reading width_ = number(320), height_ = number(240), maxIt_ = number(259);
    int saves_ = 0;
};

const std::array<Planner::StepKind, 9> Planner::kStepKinds{{
    {34, [](Planner& p) { return p.fieldStep(); }},
    {14, [](Planner&) { return Step{kRender}; }},
    {6, [](Planner&) { return Step{kRedraw}; }},
    {4, [](Planner&) { return Step{kReset}; }},
    {3, [](Planner&) { return Step{kPrevious}; }},
    {3, [](Planner&) { return Step{kNext}; }},
    {5, [](Planner& p) { return p.sliderStep(); }},
    {7, [](Planner& p) { return p.saveStep(); }},
    {24, [](Planner& p) { return p.gestureStep(); }},
}};

// ---- Figures of the run ---------------------------------------------------------------------

struct Figures {
    int sessions = 0, steps = 0, errors = 0;
    std::map<std::string, int> byKind; // by the kind's name

    void print() const
    {
        std::string kinds;
        for (const auto& [kind, count] : byKind)
            kinds += (kinds.empty() ? "" : ", ") + kind + " " + std::to_string(count);
        std::printf("session figures: %d sessions, %d steps, %d reported errors (%s)\n", sessions, steps,
            errors, kinds.c_str());
        std::fflush(stdout);
    }
};

std::string kindsText(const std::vector<ErrorKind>& kinds)
{
    std::string text;
    for (ErrorKind kind : kinds)
        text += (text.empty() ? "" : " or ") + std::string(platform::kindName(kind));
    return text;
}

// ---- The sessions -------------------------------------------------------------------------

// The session of one seed, on the window the fixture opens for it in the session's locale.
class SessionTest : public ViewerTest, public ::testing::WithParamInterface<unsigned> {
protected:
    void beforeWindow() override { QLocale::setDefault(locale.locale()); }
    void runSession(unsigned seed);

    const SessionLocale locale{GetParam() % 4 == 0};
    Figures figures;
    // VELDTRA_SESSION_TRACE=1 prints every step with the errors it reported.
    const bool trace = qEnvironmentVariableIntValue("VELDTRA_SESSION_TRACE") == 1;

private:
    struct Context {
        unsigned seed;
        SessionLocale locale;
        const Plan* plan;
        QString folder;
    };

    void perform(const SetFieldStep& s, const Context&);
    void perform(const ButtonStep& s, const Context&) { click(f.get()->*s.button); }
    void perform(const MouseEvent& e, const Context&);
    void perform(const SliderStep& s, const Context&);
    void perform(const SaveStep& s, const Context& c);

    platform::TextBox* field(int id) const;
    bool runStep(const Context& c, std::size_t step, Model& model);
    void traceOutcome(const std::string& which, std::size_t errorsBefore) const;
    std::optional<Model> judge(const Expectation& expected, std::size_t errorsBefore, std::string& complaint);
    std::string differences(const Model& m);
    std::string savedFileDifference(const Action& action, const Context& c);
    std::string finalPictureDifference(const Model& m, const FinalView& view);
    void fail(const Context& c, std::size_t step, const std::string& what);
};

platform::TextBox* SessionTest::field(int id) const
{
    const std::array<platform::TextBox*, kFieldCount> boxes{
        f->txtRmin, f->txtRmax, f->txtImin, f->txtImax, f->txtMaxIt, f->txtMColors, f->txtWidth, f->txtHeight};
    return boxes[static_cast<std::size_t>(id)];
}

void SessionTest::perform(const SetFieldStep& s, const Context&)
{
    platform::TextBox* box = field(s.field);
    const QString& text = s.text.text;
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }))
        return setField(box, text);
    // QTest types ASCII only: other characters arrive as key events that carry their text.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    for (QChar c : text) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &key);
    }
    ASSERT_EQ(box->Text(), text);
}

void SessionTest::perform(const MouseEvent& e, const Context&)
{
    const auto button = static_cast<Qt::MouseButton>(e.buttons.toInt());
    if (e.type == MouseEvent::Press)
        press(e.at, button);
    else if (e.type == MouseEvent::Move)
        move(e.at, e.buttons);
    else
        release(e.at, button);
}

void SessionTest::perform(const SliderStep& s, const Context&)
{
    platform::Slider* slider = f->Slider1;
    switch (s.how) {
    case SliderStep::Set: slider->setValue(s.value); break;
    case SliderStep::Thumb:
        slider->setSliderDown(true);
        slider->setSliderPosition(s.value);
        slider->setSliderDown(false);
        break;
    case SliderStep::Home: QTest::keyClick(slider, Qt::Key_Home); break;
    case SliderStep::End: QTest::keyClick(slider, Qt::Key_End); break;
    }
}

void SessionTest::perform(const SaveStep& s, const Context& c)
{
    const QString answer = s.target == SaveTarget::Cancel ? QString() : QDir(c.folder).filePath(s.name);
    platform::CommonDialog::setAnswerer([answer](const platform::CommonDialog&) { return answer; });
    click(f->cmdSave);
}

// The model after the step where the errors it reported are ones it may raise; a complaint
// otherwise.
std::optional<Model> SessionTest::judge(
    const Expectation& expected, std::size_t errorsBefore, std::string& complaint)
{
    const std::vector<ReportedError> reported(
        errors.begin() + static_cast<std::ptrdiff_t>(errorsBefore), errors.end());
    if (reported.empty() && expected.passed)
        return expected.passed;
    if (reported.size() == 1 &&
        std::find(expected.kinds.begin(), expected.kinds.end(), reported[0].kind) != expected.kinds.end())
        return expected.failed;
    std::ostringstream out;
    out << "expected " << (expected.passed ? "no error" : "")
        << (expected.passed && !expected.kinds.empty() ? " or " : "") << kindsText(expected.kinds) << ", but ";
    if (reported.empty())
        out << "no error was reported";
    for (const ReportedError& e : reported)
        out << "reported " << platform::kindName(e.kind) << " (" << e.message.toStdString() << ") ";
    complaint = out.str();
    return std::nullopt;
}

// How the window differs from the model: empty where it matches.
std::string SessionTest::differences(const Model& m)
{
    std::ostringstream out;
    auto compare = [&](const char* what, const auto& actual, const auto& expected) {
        if (!(actual == expected))
            out << "\n    " << what << " is " << ::testing::PrintToString(actual) << ", expected "
                << ::testing::PrintToString(expected);
    };
    compare("lblProcess", f->lblProcess->Caption(), m.caption);
    compare("PicDisp enabled", f->PicDisp->isEnabled(), m.displayEnabled);
    compare("cmdReload enabled", f->cmdReload->isEnabled(), m.redrawEnabled);
    compare("ZoomPending", f->ZoomPending, m.zoomPending);
    compare("SnapMaxIt", mLoadFractal::SnapMaxIt, m.snapMaxIt);
    compare("SnapWidth", mLoadFractal::SnapWidth, m.snapWidth);
    compare("SnapHeight", mLoadFractal::SnapHeight, m.snapHeight);
    compare("Slider1", f->Slider1->Value(), m.colourRange);
    compare("Label6", f->Label6->Caption(), QStringLiteral("Color Range: %1").arg(m.colourRange));
    const QSize hidden = f->PicHidden->image().size();
    compare("PicHidden's size", hidden.isEmpty() ? QSize() : hidden, m.hidden.isEmpty() ? QSize() : m.hidden);
    for (int k = 0; k < kFieldCount; ++k) {
        const FieldState& expected = m.fields[static_cast<std::size_t>(k)];
        if (expected.text) {
            compare(kFieldNames[k], field(k)->Text(), *expected.text);
            continue;
        }
        try {
            compare(kFieldNames[k], field(k)->readDouble(), expected.reading.value);
        } catch (const platform::RuntimeError& e) {
            out << "\n    " << kFieldNames[k] << " \"" << field(k)->Text().toStdString()
                << "\" does not read: " << e.what();
        }
    }
    return out.str();
}

// A save that passed wrote the hidden picture, pixel for pixel.
std::string SessionTest::savedFileDifference(const Action& action, const Context& c)
{
    const auto* save = std::get_if<SaveStep>(&action);
    if (!save || save->target != SaveTarget::File || f->PicHidden->image().isNull())
        return {};
    QImage written;
    if (!written.load(QDir(c.folder).filePath(save->name), "BMP"))
        return "the saved file does not read as a bitmap";
    const auto same = sameImage(written, f->PicHidden->image());
    return same ? std::string() : std::string("the saved file differs from PicHidden: ") + same.message();
}

std::string SessionTest::finalPictureDifference(const Model& m, const FinalView& view)
{
    std::ostringstream out;
    if (f->lblProcess->Caption() != QStringLiteral("None") || !f->PicDisp->isEnabled() ||
        !f->cmdReload->isEnabled())
        out << "after the last render the status is \"" << f->lblProcess->Caption().toStdString()
            << "\", PicDisp " << (f->PicDisp->isEnabled() ? "enabled" : "disabled") << ", cmdReload "
            << (f->cmdReload->isEnabled() ? "enabled" : "disabled") << "; ";
    const auto same = sameImage(f->PicHidden->image(), expectedPicture(view.view, m.colourRange));
    if (!same)
        out << "the last render's picture (colour range " << m.colourRange << ") is wrong: " << same.message();
    return out.str();
}

void SessionTest::fail(const Context& c, std::size_t step, const std::string& what)
{
    std::ostringstream list;
    for (std::size_t i = 0; i < c.plan->steps.size(); ++i)
        list << (i == step ? "\n  >" : "\n   ") << (i + 1) << ". " << describe(c.plan->steps[i]);
    ADD_FAILURE() << "session seed " << c.seed << " (" << c.locale.name() << " locale), step " << (step + 1)
                  << " of " << c.plan->steps.size() << ", " << describe(c.plan->steps[step]) << ": " << what
                  << "\nsteps of the session:" << list.str()
                  << "\nreplay: VELDTRA_SESSION_TRACE=1 viewer_tests --gtest_filter='Seeds/SessionTest.*/"
                  << c.seed << "'";
}

void SessionTest::traceOutcome(const std::string& which, std::size_t errorsBefore) const
{
    std::string outcome = "passed";
    for (std::size_t e = errorsBefore; e < errors.size(); ++e)
        outcome = std::string(platform::kindName(errors[e].kind)) + ": " + errors[e].message.toStdString();
    std::printf("       %s%s\n", which.c_str(), outcome.c_str());
    std::fflush(stdout);
}

// Runs the step's event procedures one by one, each judged against the model; false where
// one went wrong (the failure is reported).
bool SessionTest::runStep(const Context& c, std::size_t step, Model& model)
{
    const std::vector<Action> actions = actionsOf(c.plan->steps[step]);
    // Traced before the step runs, so that a crash shows which step it was.
    if (trace) {
        std::printf("  %zu. %s\n", step + 1, describe(c.plan->steps[step]).c_str());
        std::fflush(stdout);
    }
    for (std::size_t k = 0; k < actions.size(); ++k) {
        const std::string which = actions.size() > 1 ? "mouse event " + std::to_string(k + 1) + ": " : "";
        const Expectation expected = expect(model, actions[k], c.locale);
        const std::size_t errorsBefore = errors.size();
        std::visit([&](const auto& a) { perform(a, c); }, actions[k]);
        if (HasFatalFailure())
            return fail(c, step, which + "the step could not be performed"), false;
        for (std::size_t e = errorsBefore; e < errors.size(); ++e, ++figures.errors)
            ++figures.byKind[platform::kindName(errors[e].kind)];
        if (trace)
            traceOutcome(which, errorsBefore);
        if (!f || !f->isVisible() || QApplication::activeModalWidget())
            return fail(c, step, which + "the window is gone or blocked by a dialog"), false;
        std::string complaint;
        const std::optional<Model> after = judge(expected, errorsBefore, complaint);
        if (!after)
            return fail(c, step, which + complaint), false;
        model = *after;
        if (const std::string diff = differences(model) + savedFileDifference(actions[k], c); !diff.empty())
            return fail(c, step, which + "the window differs from what the step must leave:" + diff), false;
    }
    return true;
}

void SessionTest::runSession(unsigned seed)
{
    std::printf("session seed %u (%s locale)\n", seed, locale.name());
    std::fflush(stdout);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    const Plan plan = Planner(seed, locale).plan();
    const Context context{seed, locale, &plan, folder.path()};
    Model model = startingModel(locale);
    ++figures.sessions;
    if (const std::string diff = differences(model); !diff.empty())
        return fail(context, 0, "the window does not open as it must:" + diff);
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        ++figures.steps;
        if (!runStep(context, i, model))
            return;
    }
    if (const std::string diff = finalPictureDifference(model, *plan.finalView); !diff.empty())
        fail(context, plan.steps.size() - 1, diff);
}

} // namespace

// Random sessions, a quarter of them in a German locale; each ends with a render checked pixel
// for pixel. Every step either passes or stops with a run-time error of a kind its command
// raises for what the fields hold at that moment, and leaves the window as that command does.
TEST_P(SessionTest, RandomStepsKeepTheWindowConsistent)
{
    runSession(GetParam());
    figures.print();
}

// One test per seed, named by it, so that a failing session fails alone and replays by name.
INSTANTIATE_TEST_SUITE_P(Seeds, SessionTest, ::testing::Range(1u, kSessions + 1),
    [](const ::testing::TestParamInfo<unsigned>& seed) { return std::to_string(seed.param); });
