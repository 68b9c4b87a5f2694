// SPDX-License-Identifier: MIT
// The window as it opens, Reset, a comma-decimal locale, and the colour-range slider with its
// two step buttons.
#include "viewer_fixture.h"

#include "platform/commondialog.h"

#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <limits>
#include <memory>
#include <vector>

using namespace viewertest;

namespace {

const QStringList kDefaultWindow{"-2", "0.5", "-1.25", "1.25"};

QString rangeCaption(int value)
{
    return QStringLiteral("Color Range: ") + QString::number(value);
}

} // namespace

// ---- Start-up ---------------------------------------------------------------------------

using StartUpTest = ViewerTest;

TEST_F(StartUpTest, LoadShowsTheDefaultViewAndIdleControls)
{
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(windowFields(), kDefaultWindow);
    EXPECT_EQ(f->txtMaxIt->Text(), QStringLiteral("259"));
    EXPECT_EQ(f->txtMColors->Text(), QStringLiteral("65536"));
    EXPECT_EQ(f->txtWidth->Text(), QStringLiteral("320"));
    EXPECT_EQ(f->txtHeight->Text(), QStringLiteral("240"));
    EXPECT_EQ(f->lblWidth->Caption(), QStringLiteral("2.5"));
    EXPECT_EQ(f->lblHeight->Caption(), QStringLiteral("2.5"));
    EXPECT_EQ(f->Slider1->Value(), 5000000);
    EXPECT_EQ(f->Slider1->Min(), 0);
    EXPECT_EQ(f->Slider1->Max(), 5000000);
    EXPECT_EQ(f->Label6->Caption(), rangeCaption(5000000));
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
    EXPECT_FALSE(f->cmdReload->isEnabled());
    EXPECT_TRUE(f->cmdRender->isEnabled());
    EXPECT_FALSE(f->ZoomPending);
    EXPECT_FALSE(f->PicHidden->isVisible());
}

TEST_F(StartUpTest, HiddenPictureStaysHiddenAfterPainting)
{
    render();
    click(f->cmdReload);
    EXPECT_FALSE(f->PicHidden->isVisible());
    EXPECT_EQ(f->PicHidden->image().size(), QSize(320, 240));
}

TEST_F(StartUpTest, WindowHasFixedSizeAndControlsTheirPlaces)
{
    EXPECT_EQ(f->size(), QSize(657, 294));
    EXPECT_EQ(f->minimumSize(), QSize(657, 294));
    EXPECT_EQ(f->maximumSize(), QSize(657, 294));
    struct Place {
        const char* name;
        QRect geometry;
    };
    for (const Place& p : {Place{"PicDisp", {328, 48, 321, 241}}, Place{"PicSmall", {160, 48, 161, 121}},
                           Place{"cmdRender", {64, 200, 89, 25}}, Place{"cmdReset", {8, 200, 49, 25}},
                           Place{"cmdReload", {64, 232, 89, 25}}, Place{"cmdSave", {64, 264, 89, 25}},
                           Place{"Slider1", {184, 24, 449, 17}}, Place{"cmdPrev", {160, 24, 17, 17}},
                           Place{"cmdNext", {632, 24, 17, 17}}, Place{"txtRmin", {64, 8, 89, 19}},
                           Place{"txtHeight", {64, 176, 89, 19}}, Place{"PB1", {160, 200, 161, 25}},
                           Place{"lblProcess", {248, 176, 73, 17}}}) {
        const auto* control = f->findChild<QWidget*>(QLatin1String(p.name));
        ASSERT_NE(control, nullptr) << p.name;
        EXPECT_EQ(control->geometry(), p.geometry) << p.name;
    }
    EXPECT_EQ(f->PicDisp->image().size(), QSize(321, 241));
}

TEST_F(StartUpTest, DisplayHasFocusAndTabLeadsToRenderThenRmin)
{
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    EXPECT_EQ(QApplication::focusWidget(), f->PicDisp);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f->cmdRender);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f->txtRmin);
}

// Keyboard users press the focused button with Enter or Return: each of the six buttons runs
// its procedure. No button is the window's default: Enter in a field presses none of them.
TEST_F(StartUpTest, EnterPressesTheFocusedButton)
{
    render();
    int dialogs = 0;
    platform::CommonDialog::setAnswerer([&](const platform::CommonDialog&) {
        ++dialogs;
        return QString(); // Cancel
    });
    f->txtWidth->setText(QStringLiteral("64"));
    f->txtHeight->setText(QStringLiteral("48"));
    f->txtRmin->setText(QStringLiteral("1"));
    struct Press {
        platform::CommandButton* button;
        std::function<bool()> ran; // the procedure's effect is there
    };
    const Press presses[] = {
        {f->cmdRender, [&] { return f->PicHidden->image().size() == QSize(64, 48); }},
        {f->cmdReset, [&] { return f->txtRmin->Text() == QStringLiteral("-2"); }},
        {f->cmdNext, [&] { return f->Slider1->Value() == 0; }},
        {f->cmdPrev, [&] { return f->Slider1->Value() == 0; }}, // Next left it at 1
        {f->cmdReload, [&] { return !f->ZoomPending; }},
        {f->cmdSave, [&] { return dialogs == 1; }},
    };
    for (const Press& p : presses) {
        SCOPED_TRACE(p.button->objectName().toStdString());
        ASSERT_FALSE(p.ran());
        p.button->setFocus();
        QSignalSpy clicks(p.button, &QAbstractButton::clicked);
        QTest::keyClick(p.button, Qt::Key_Return);
        EXPECT_EQ(clicks.count(), 1);
        EXPECT_TRUE(p.ran());
        QTest::keyClick(p.button, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(clicks.count(), 2);
        EXPECT_FALSE(p.button->isDefault());
    }
    EXPECT_TRUE(errors.empty());

    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const Press& p : presses)
        spies.push_back(std::make_unique<QSignalSpy>(p.button, &QAbstractButton::clicked));
    f->txtMaxIt->setFocus();
    QTest::keyClick(f->txtMaxIt, Qt::Key_Return);
    QTest::keyClick(f->txtMaxIt, Qt::Key_Enter, Qt::KeypadModifier);
    for (const auto& spy : spies)
        EXPECT_EQ(spy->count(), 0);
}

// ---- Reset ------------------------------------------------------------------------------

using ResetTest = ViewerTest;

// Reset writes the default window into the four window fields only, leaves the labels as they
// were and makes a zoom pending; a second Reset changes nothing more. Pins an intended behaviour
// (docs/behaviour.md): the labels stay.
TEST_F(ResetTest, WritesTheDefaultWindowAndMakesAZoomPending)
{
    render();
    drag({107, 30}, {214, 200});
    setField(f->txtMaxIt, QStringLiteral("100"));
    setField(f->txtWidth, QStringLiteral("64"));
    const QStringList labels{f->lblWidth->Caption(), f->lblHeight->Caption()};
    ASSERT_NE(labels, (QStringList{"2.5", "2.5"}));

    click(f->cmdReset);
    EXPECT_EQ(windowFields(), kDefaultWindow);
    EXPECT_EQ(f->txtMaxIt->Text(), QStringLiteral("100"));
    EXPECT_EQ(f->txtWidth->Text(), QStringLiteral("64"));
    EXPECT_EQ((QStringList{f->lblWidth->Caption(), f->lblHeight->Caption()}), labels);
    EXPECT_TRUE(f->ZoomPending);
    const double saved[] = {f->SavedRmin, f->SavedRmax, f->SavedImin, f->SavedImax};

    click(f->cmdReset);
    EXPECT_EQ(windowFields(), kDefaultWindow);
    EXPECT_EQ((QStringList{f->lblWidth->Caption(), f->lblHeight->Caption()}), labels);
    EXPECT_TRUE(f->ZoomPending);
    EXPECT_EQ((std::vector<double>{f->SavedRmin, f->SavedRmax, f->SavedImin, f->SavedImax}),
              (std::vector<double>(std::begin(saved), std::end(saved))));
    EXPECT_TRUE(errors.empty());
}

// ---- A locale with a decimal comma --------------------------------------------------------

class GermanLocaleTest : public ViewerTest {
protected:
    void beforeWindow() override { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
};

TEST_F(GermanLocaleTest, FieldsAndLabelsUseTheDecimalComma)
{
    EXPECT_EQ(windowFields(), (QStringList{"-2", "0,5", "-1,25", "1,25"}));
    EXPECT_EQ(f->lblWidth->Caption(), QStringLiteral("2,5"));
    EXPECT_EQ(f->lblHeight->Caption(), QStringLiteral("2,5"));
    EXPECT_EQ(f->Label6->Caption(), QStringLiteral("Color Range: 5000000"));
    click(f->cmdPrev);
    EXPECT_EQ(f->Label6->Caption(), QStringLiteral("Color Range: 4999999"));
    click(f->cmdReset);
    EXPECT_EQ(windowFields(), (QStringList{"-2", "0,5", "-1,25", "1,25"}));
}

// The texts the window writes are read back: render, select, render the selection, and
// select the whole box to get the same window again.
TEST_F(GermanLocaleTest, RenderAndZoomRoundTrip)
{
    KernelSpy spy;
    render();
    ASSERT_EQ(spy.calls().size(), 322u * 242u);
    EXPECT_EQ(spy.calls().front().rmax, 0.5);
    EXPECT_EQ(spy.calls().front().imin, -1.25);
    const View view;
    for (const KernelCall& c : spy.calls())
        ASSERT_EQ(c.result, expectedPoint(view, c.col, c.row));

    drag({107, 0}, {214, 241});
    EXPECT_EQ(windowFields(), (QStringList{"-1,16666666666667", "-0,333333333333333", "-1,25", "1,25"}));
    EXPECT_EQ(f->lblWidth->Caption(), QStringLiteral("0,833333333333337"));

    spy.clear();
    render();
    ASSERT_FALSE(spy.calls().empty());
    EXPECT_EQ(spy.calls().front().rmin, -1.16666666666667);
    EXPECT_EQ(spy.calls().front().rmax, -0.333333333333333);

    const QStringList rendered = windowFields();
    drag({0, 0}, {321, 241});
    EXPECT_EQ(windowFields(), rendered);
    EXPECT_TRUE(errors.empty());
}

// ---- Colour range -----------------------------------------------------------------------

struct Step {
    const char* name;
    int from;
    bool next; // ">" or "<"
    int to;
};

void PrintTo(const Step& s, std::ostream* os) { *os << s.name; }

class ColourRangeStepTest : public ViewerTest, public ::testing::WithParamInterface<Step> {};

// ">" and "<" move the range by one and wrap around at the ends; the caption follows.
TEST_P(ColourRangeStepTest, ButtonMovesTheRangeByOne)
{
    const Step& s = GetParam();
    f->Slider1->setValue(s.from);
    click(s.next ? f->cmdNext : f->cmdPrev);
    EXPECT_EQ(f->Slider1->Value(), s.to);
    EXPECT_EQ(f->Label6->Caption(), rangeCaption(s.to));
    EXPECT_TRUE(errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Buttons, ColourRangeStepTest,
                         ::testing::Values(Step{"NextAtTopWrapsToZero", 5000000, true, 0},
                                           Step{"PrevAtZeroWrapsToTop", 0, false, 5000000},
                                           Step{"NextReachesTop", 4999999, true, 5000000},
                                           Step{"PrevReachesZero", 1, false, 0},
                                           Step{"NextInside", 2500000, true, 2500001},
                                           Step{"PrevInside", 2500000, false, 2499999}),
                         [](const ::testing::TestParamInfo<Step>& info) {
                             return std::string(info.param.name);
                         });

using ColourRangeTest = ViewerTest;

// At the ends of the 32-bit range a step overflows; the message names the colour range, and
// the value stays.
TEST_F(ColourRangeTest, StepPastThe32BitRangeIsAnOverflowOfTheColourRange)
{
    constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t highest = std::numeric_limits<std::int32_t>::max();
    f->Slider1->setRange(lowest, highest);
    for (const auto& [button, at] : {std::pair{f->cmdNext, highest}, std::pair{f->cmdPrev, lowest}}) {
        SCOPED_TRACE(button->objectName().toStdString());
        errors.clear();
        f->Slider1->setValue(at);
        click(button);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].kind, platform::ErrorKind::Overflow);
        EXPECT_TRUE(errors[0].message.contains(QStringLiteral("colour range"))) << errors[0].message.toStdString();
        EXPECT_EQ(f->Slider1->Value(), at);
    }
}

TEST_F(ColourRangeTest, CaptionFollowsDraggingAndChanges)
{
    // Dragging the thumb reports each position.
    f->Slider1->setSliderDown(true);
    f->Slider1->setSliderPosition(1234567);
    EXPECT_EQ(f->Label6->Caption(), rangeCaption(1234567));
    f->Slider1->setSliderDown(false);

    // Each event procedure on its own writes the caption from the value.
    {
        const QSignalBlocker quiet(f->Slider1);
        f->Slider1->setValue(42);
    }
    EXPECT_EQ(f->Label6->Caption(), rangeCaption(1234567));
    f->Slider1_Scroll();
    EXPECT_EQ(f->Label6->Caption(), rangeCaption(42));
    {
        const QSignalBlocker quiet(f->Slider1);
        f->Slider1->setValue(4000000);
    }
    f->Slider1_Change();
    EXPECT_EQ(f->Label6->Caption(), rangeCaption(4000000));

    // Keys move the value too.
    QTest::keyClick(f->Slider1, Qt::Key_Home);
    EXPECT_EQ(f->Label6->Caption(), rangeCaption(0));
}

// Pins an intended behaviour (docs/behaviour.md): a new colour range shows only after Redraw.
TEST_F(ColourRangeTest, StepButtonsDoNotRepaint)
{
    render();
    const QImage hidden = f->PicHidden->image().copy();
    const QImage display = f->PicDisp->image().copy();
    click(f->cmdNext);
    click(f->cmdPrev);
    click(f->cmdPrev);
    EXPECT_EQ(f->Slider1->Value(), 4999999);
    EXPECT_TRUE(sameImage(f->PicHidden->image(), hidden));
    EXPECT_TRUE(sameImage(f->PicDisp->image(), display));
    EXPECT_EQ(f->lblProcess->Caption(), QStringLiteral("None"));
}
