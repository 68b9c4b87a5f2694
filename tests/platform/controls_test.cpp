// SPDX-License-Identifier: MIT
// The controls of the window: label, slider, progress bar, command button and text box.
#include "platform/controls.h"
#include "platform/textbox.h"
#include "test_support.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <utility>

namespace platform {
namespace {

using test::LocaleScope;
using test::PaintCounter;
using test::raised;

// ---- Slider --------------------------------------------------------------------------------

// Where a caption is wider than the visible part of its label, the label's font shrinks until
// it fits; a caption that fits keeps the window's font.
struct LabelCase {
    const char* name;
    QRect geometry;
    QString caption;
    bool shrinks;
};

class LabelFits : public ::testing::TestWithParam<LabelCase> {};

TEST_P(LabelFits, CaptionIsNeverCutOff)
{
    const LabelCase& c = GetParam();
    QWidget window;
    window.resize(300, 100);
    QFont windowFont = window.font();
    windowFont.setPixelSize(14);
    window.setFont(windowFont);
    Label label(QString(), &window);
    label.setGeometry(c.geometry);
    label.setCaption(c.caption);

    const int visible = c.geometry.intersected(window.rect()).width();
    EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(c.caption), visible);
    EXPECT_EQ(label.font().pixelSize() < 14, c.shrinks);
    EXPECT_EQ(label.Caption(), c.caption);

    // A short caption afterwards follows the window's font again.
    label.setCaption(QStringLiteral("x"));
    EXPECT_EQ(label.font().pixelSize(), 14);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, LabelFits,
    ::testing::Values(LabelCase{"Fits", QRect(10, 10, 200, 20), QStringLiteral("Rmin:"), false},
                      LabelCase{"TooWide", QRect(10, 10, 81, 20), QStringLiteral("Current process:"), true},
                      LabelCase{"PartlyLeftOfTheWindow", QRect(-8, 10, 65, 20),
                                QStringLiteral("MaxColors:"), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Slider, HoldsThirtyTwoBitRangeAndValue)
{
    Slider slider;
    constexpr std::int32_t low = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t high = std::numeric_limits<std::int32_t>::max();
    slider.setRange(low, high);
    EXPECT_EQ(slider.Min(), low);
    EXPECT_EQ(slider.Max(), high);
    for (const std::int32_t v : {high, low, 0, 40000, -70000, high - 1}) {
        slider.setValue(v);
        EXPECT_EQ(slider.Value(), v);
    }
    // Values outside the range are brought into it.
    slider.setRange(0, 255);
    slider.setValue(1000);
    EXPECT_EQ(slider.Value(), 255);
    slider.setValue(-5);
    EXPECT_EQ(slider.Value(), 0);
}

TEST(Slider, ChangeReportsEveryChangeOfTheValueAndOnlyThose)
{
    Slider slider;
    slider.setRange(0, 255);
    QSignalSpy change(&slider, &Slider::Change);
    QSignalSpy scroll(&slider, &Slider::Scroll);
    slider.setValue(10);
    slider.setValue(10);
    slider.setValue(200);
    EXPECT_EQ(change.count(), 2);
    EXPECT_EQ(scroll.count(), 0) << "a value set by the program is no drag";
    slider.setRange(0, 100); // clamps 200 to 100: a change too
    EXPECT_EQ(change.count(), 3);
    EXPECT_EQ(slider.Value(), 100);
}

class SliderDrag : public ::testing::Test {
protected:
    void SetUp() override
    {
        slider.setRange(0, 255);
        slider.resize(300, 30);
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    }

    QRect handle()
    {
        QStyleOptionSlider option;
        option.initFrom(&slider);
        option.orientation = Qt::Horizontal;
        option.minimum = slider.minimum();
        option.maximum = slider.maximum();
        option.sliderPosition = slider.sliderPosition();
        option.sliderValue = slider.value();
        option.singleStep = slider.singleStep();
        option.pageStep = slider.pageStep();
        option.upsideDown = slider.invertedAppearance();
        option.subControls = QStyle::SC_All;
        return slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider);
    }

    Slider slider;
};

TEST_F(SliderDrag, DraggingTheThumbWithTheMouseEmitsScroll)
{
    QSignalSpy scroll(&slider, &Slider::Scroll);
    QSignalSpy change(&slider, &Slider::Change);
    QWindow* window = slider.windowHandle();
    const QPoint start = handle().center();
    QTest::mousePress(window, Qt::LeftButton, {}, start);
    for (int step = 1; step <= 5; ++step)
        QTest::mouseMove(window, start + QPoint(step * 30, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, start + QPoint(150, 0));
    EXPECT_GE(scroll.count(), 3) << "every move of the thumb is reported";
    EXPECT_GT(slider.Value(), 0);
    EXPECT_GE(change.count(), 1);
}

TEST_F(SliderDrag, MovingTheThumbWhileDownEmitsScroll)
{
    QSignalSpy scroll(&slider, &Slider::Scroll);
    slider.setSliderDown(true);
    slider.setSliderPosition(40);
    slider.setSliderPosition(90);
    slider.setSliderDown(false);
    EXPECT_EQ(scroll.count(), 2);
    EXPECT_EQ(slider.Value(), 90);
}

// ---- ProgressBar ---------------------------------------------------------------------------

TEST(ProgressBar, HoldsMaxAndValueExactlyAsSinglePrecision)
{
    ProgressBar bar;
    for (const float max : {242.5f, 0.1f, 100.0f, 1e-3f, 3e38f, 16777217.0f}) {
        bar.setMax(max);
        EXPECT_EQ(bar.Max(), max);
    }
    for (const float value : {0.1f, 242.5f, 1.0f / 3.0f, -5.25f, 1e30f}) {
        bar.setValue(value);
        EXPECT_EQ(bar.Value(), value);
    }
    // Adding 1 again and again, as the drawing loop does, keeps every step.
    bar.setMax(242.0f);
    bar.setValue(0.0f);
    for (int i = 0; i < 242; ++i)
        bar.setValue(bar.Value() + 1.0f);
    EXPECT_EQ(bar.Value(), 242.0f);
}

struct ShownCase {
    float max, value;
    int permille; // of the bar's length
};

class ProgressBarShows : public ::testing::TestWithParam<ShownCase> {};

TEST_P(ProgressBarShows, ValueAgainstMaxOnceEventsRun)
{
    const ShownCase& c = GetParam();
    ProgressBar bar;
    bar.setMax(c.max);
    bar.setValue(c.value);
    QCoreApplication::processEvents();
    QTest::qWait(40);
    EXPECT_EQ(bar.maximum() - bar.minimum(), 1000);
    EXPECT_EQ(bar.stepsOnScreen(), c.permille);
}

INSTANTIATE_TEST_SUITE_P(Controls, ProgressBarShows,
                         ::testing::Values(ShownCase{242.5f, 0.0f, 0}, ShownCase{242.5f, 242.5f, 1000},
                                           ShownCase{200.0f, 50.0f, 250}, ShownCase{241.0f, 120.5f, 500},
                                           ShownCase{100.0f, 150.0f, 1000}, ShownCase{100.0f, -3.0f, 0},
                                           ShownCase{0.0f, 5.0f, 0}, ShownCase{-10.0f, 5.0f, 0}));

// The drawing loop never returns to the event loop until the picture is done; the bar on screen
// still advances while it runs.
TEST(ProgressBarWhileBusy, AdvancesWithoutTheEventLoopAndReachesTheLatestValue)
{
    QWidget window;
    ProgressBar* bar = new ProgressBar(&window);
    bar->setGeometry(10, 10, 161, 25);
    window.resize(200, 50);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();

    bar->setMax(241.0f);
    bar->setValue(0.0f);
    PaintCounter paints(bar);
    std::set<int> shown;
    QElapsedTimer running;
    running.start();
    for (int row = 1; row < 241; ++row) {
        bar->setValue(bar->Value() + 1.0f);
        shown.insert(bar->stepsOnScreen());
        QThread::msleep(2); // a row's work, without processing events
    }
    const qint64 elapsed = running.elapsed();
    EXPECT_GE(shown.size(), 4u) << "the bar advanced only " << shown.size() << " times in " << elapsed << " ms";
    EXPECT_GE(paints.count, 2) << "the bar was painted " << paints.count << " times in " << elapsed << " ms";

    // The last value of the loop reaches the bar once events run.
    QTest::qWait(50);
    EXPECT_EQ(bar->stepsOnScreen(), static_cast<int>(std::lround(240.0 / 241.0 * 1000)));

    // Done and reset are shown at once.
    bar->setValue(241.0f);
    EXPECT_EQ(bar->stepsOnScreen(), 1000);
    bar->setValue(0.0f);
    EXPECT_EQ(bar->stepsOnScreen(), 0);
}

// ---- CommandButton -------------------------------------------------------------------------

TEST(CommandButton, IsNeverTheDefaultButtonAndEmitsClick)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* first = new CommandButton(QStringLiteral("Render"), &dialog);
    auto* second = new CommandButton(QStringLiteral("Save"), &dialog);
    layout->addWidget(first);
    layout->addWidget(second);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    second->setFocus();
    QCoreApplication::processEvents();

    for (CommandButton* button : {first, second}) {
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }
    QSignalSpy firstClicks(first, &CommandButton::Click);
    QSignalSpy secondClicks(second, &CommandButton::Click);
    // Enter in the dialog presses no button: none is its default.
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(firstClicks.count() + secondClicks.count(), 0);
    EXPECT_TRUE(dialog.isVisible());

    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(firstClicks.count(), 1);
    first->click();
    EXPECT_EQ(firstClicks.count(), 2);
    QTest::keyClick(second, Qt::Key_Space);
    EXPECT_EQ(secondClicks.count(), 1);
    first->setEnabled(false);
    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(firstClicks.count(), 2);
}

// With the keyboard focus a button is pressed with Enter and Return as with Space, once per
// key press however long the key is held; the keys reach no button that lacks the focus.
TEST(CommandButton, EnterPressesTheFocusedButtonOnly)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* focused = new CommandButton(QStringLiteral("Render"), &window);
    auto* other = new CommandButton(QStringLiteral("Save"), &window);
    layout->addWidget(focused);
    layout->addWidget(other);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    focused->setFocus();
    QSignalSpy focusedClicks(focused, &CommandButton::Click);
    QSignalSpy otherClicks(other, &CommandButton::Click);

    int expected = 0;
    for (const auto& [key, name] : {std::pair{Qt::Key_Return, "Return"}, std::pair{Qt::Key_Enter, "Enter"},
                                    std::pair{Qt::Key_Space, "Space"}}) {
        SCOPED_TRACE(name);
        QTest::keyClick(focused, key);
        EXPECT_EQ(focusedClicks.count(), ++expected);
    }
    QTest::keyClick(focused, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(focusedClicks.count(), ++expected);

    // A held Enter: the first press and its repeats click once.
    QTest::keyPress(focused, Qt::Key_Return);
    for (int repeat = 0; repeat < 3; ++repeat) {
        QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(focused, &repeated);
    }
    QTest::keyRelease(focused, Qt::Key_Return);
    EXPECT_EQ(focusedClicks.count(), ++expected);

    // Other keys press nothing.
    QTest::keyClick(focused, Qt::Key_A);
    QTest::keyClick(focused, Qt::Key_Escape);
    EXPECT_EQ(focusedClicks.count(), expected);
    EXPECT_EQ(otherClicks.count(), 0);
    EXPECT_FALSE(focused->isDefault());
    EXPECT_FALSE(other->isDefault());
}

// ---- TextBox -------------------------------------------------------------------------------

struct FieldCase {
    const char* locale;
    QString text;
    std::optional<double> number;          // nothing: the read raises
    std::optional<std::int16_t> integer;   // nothing: the read raises
    ErrorKind kind = ErrorKind::TypeMismatch;
};

class TextBoxReads : public ::testing::TestWithParam<FieldCase> {};

TEST_P(TextBoxReads, TheTextAsItStandsInTheLocale)
{
    const FieldCase& c = GetParam();
    LocaleScope locale(QString::fromLatin1(c.locale));
    TextBox box(QStringLiteral("Width"));
    box.setText(c.text);
    // Read twice: the second read gives the same outcome as the first.
    for (int read = 0; read < 2; ++read) {
        double number = 0.0;
        const auto numberError = raised([&] { number = box.readDouble(); });
        if (c.number) {
            ASSERT_FALSE(numberError) << numberError->what();
            EXPECT_EQ(number, *c.number);
        } else {
            ASSERT_TRUE(numberError);
            EXPECT_EQ(numberError->kind(), c.kind);
            EXPECT_TRUE(QString::fromUtf8(numberError->what()).contains(QStringLiteral("Width")));
        }
        std::int16_t integer = 0;
        const auto integerError = raised([&] { integer = box.readInt16(); });
        if (c.integer) {
            ASSERT_FALSE(integerError) << integerError->what();
            EXPECT_EQ(integer, *c.integer);
        } else {
            ASSERT_TRUE(integerError);
            EXPECT_EQ(integerError->kind(), c.number ? ErrorKind::Overflow : c.kind);
            EXPECT_TRUE(QString::fromUtf8(integerError->what()).contains(QStringLiteral("Width")));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Controls, TextBoxReads,
    ::testing::Values(FieldCase{"C", "320", 320.0, 320}, FieldCase{"C", "320.5", 320.5, 320},
                      FieldCase{"C", "321.5", 321.5, 322}, FieldCase{"de_DE", "2,5", 2.5, 2},
                      FieldCase{"de_DE", "-2,5", -2.5, -2}, FieldCase{"sv_SE", "\u2212" "1,5", -1.5, -2},
                      FieldCase{"C", "40000", 40000.0, std::nullopt},
                      FieldCase{"de_DE", "2.5", std::nullopt, std::nullopt},
                      FieldCase{"C", "", std::nullopt, std::nullopt},
                      FieldCase{"C", "abc", std::nullopt, std::nullopt},
                      FieldCase{"C", "1e309", std::nullopt, std::nullopt, ErrorKind::Overflow}));

TEST(TextBox, RaisesTheSameErrorForTheSameBadTextEachTime)
{
    TextBox box(QStringLiteral("MaxIt"));
    box.setText(QStringLiteral("12x"));
    std::set<std::string> messages;
    for (int read = 0; read < 3; ++read) {
        const auto error = raised([&] { box.readDouble(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), ErrorKind::TypeMismatch);
        messages.insert(error->what());
    }
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_NE(messages.begin()->find("12x"), std::string::npos);
}

TEST(TextBox, SeesAChangedTextAtOnce)
{
    TextBox box(QStringLiteral("Rmin"));
    box.setText(QStringLiteral("1.5"));
    EXPECT_EQ(box.readDouble(), 1.5);
    EXPECT_EQ(box.readInt16(), 2);
    box.setText(QStringLiteral("-0.75"));
    EXPECT_EQ(box.readDouble(), -0.75);
    EXPECT_EQ(box.readInt16(), -1);
    box.setText(QStringLiteral("oops"));
    EXPECT_TRUE(raised([&] { box.readDouble(); }));
    EXPECT_TRUE(raised([&] { box.readInt16(); }));
    box.setText(QStringLiteral("2.5"));
    EXPECT_EQ(box.readDouble(), 2.5);
    EXPECT_EQ(box.readInt16(), 2);
    EXPECT_EQ(box.Text(), QStringLiteral("2.5"));
}

TEST(TextBox, SeesTypedTextAtOnce)
{
    TextBox box(QStringLiteral("Imax"));
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.setText(QStringLiteral("1"));
    EXPECT_EQ(box.readDouble(), 1.0);
    box.setFocus();
    box.end(false);
    QTest::keyClicks(&box, QStringLiteral(".25"));
    EXPECT_EQ(box.readDouble(), 1.25);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QTest::keyClick(&box, Qt::Key_Backspace);
    QTest::keyClicks(&box, QStringLiteral("x"));
    const auto error = raised([&] { box.readDouble(); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(QString::fromUtf8(error->what()).contains(QStringLiteral("1.x")));
    QTest::keyClick(&box, Qt::Key_Backspace);
    QTest::keyClicks(&box, QStringLiteral("5"));
    EXPECT_EQ(box.readDouble(), 1.5);
    EXPECT_EQ(box.readInt16(), 2);
}

// A text written by the program is shown from its first character, whether or not the box has
// the focus and however the user had scrolled it; typing scrolls as a line edit does.
TEST(TextBox, ShowsAWrittenTextFromItsFirstCharacter)
{
    QWidget window;
    window.resize(200, 60);
    TextBox box(QStringLiteral("Rmin"), &window);
    box.setGeometry(10, 10, 89, 19);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QString longText = QStringLiteral("-1.76635514018692");
    // The position of the character drawn at the box's left edge, as the box is now painted.
    auto firstShown = [&] {
        box.grab();
        return box.cursorPositionAt(QPoint(box.contentsRect().left() + 4, box.height() / 2));
    };
    auto lastShown = [&] {
        box.grab();
        return box.cursorPositionAt(QPoint(box.contentsRect().right() - 4, box.height() / 2));
    };

    for (bool focused : {false, true}) {
        SCOPED_TRACE(focused ? "with the focus" : "without the focus");
        if (focused)
            box.setFocus();
        else
            box.clearFocus();
        // The user scrolls to the end first, so the box has something to undo.
        box.QLineEdit::setText(QStringLiteral("-0.0000000000000000000000000001"));
        box.end(false);
        ASSERT_GT(firstShown(), 0) << "the box is too wide to scroll";

        box.setText(longText);
        EXPECT_EQ(firstShown(), 0);
        EXPECT_LT(lastShown(), longText.size()) << "the whole text fits: it cannot show its end instead";
        EXPECT_EQ(box.text(), longText);
    }

    // Typing at the end scrolls to what is typed, as usual.
    box.setFocus();
    box.end(false);
    QTest::keyClicks(&box, QStringLiteral("5"));
    EXPECT_EQ(lastShown(), box.text().size());
    EXPECT_GT(firstShown(), 0);
}

// The same text reads in the locale in force at the time of the read.// The same text reads in the locale in force at the time of the read.
TEST(TextBox, ReadsInTheLocaleInForceNow)
{
    TextBox box(QStringLiteral("Rmax"));
    box.setText(QStringLiteral("0,5"));
    {
        LocaleScope german(QStringLiteral("de_DE"));
        EXPECT_EQ(box.readDouble(), 0.5);
    }
    {
        LocaleScope c(QStringLiteral("C"));
        const auto error = raised([&] { box.readDouble(); });
        ASSERT_TRUE(error) << "read \"0,5\" in the C locale as " << box.readDouble();
        EXPECT_EQ(error->kind(), ErrorKind::TypeMismatch);
    }
    {
        LocaleScope german(QStringLiteral("de_DE"));
        EXPECT_EQ(box.readDouble(), 0.5);
    }
}

} // namespace
} // namespace platform
