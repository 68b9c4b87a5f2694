// SPDX-License-Identifier: MIT
// Zoom selection on the display: the window the selection writes into the fields, the window it
// is measured against, the outline and the magnified preview while dragging, and the buttons
// and failures that leave everything as it was.
#include "viewer_fixture.h"

#include "platform/conversions.h"

#include <QScreen>
#include <QTest>

#include <algorithm>

#include <cmath>

using namespace viewertest;
using platform::ErrorKind;

namespace {

class ZoomTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        render();
        picture = f->PicDisp->image().copy();
    }

    QStringList labels() const { return {f->lblWidth->Caption(), f->lblHeight->Caption()}; }

    // The display as it shows the picture with a one-pixel black outline around the rectangle.
    QImage withOutline(int left, int top, int right, int bottom) const
    {
        QImage expected = picture.copy();
        auto set = [&](int x, int y) {
            if (x >= 0 && y >= 0 && x < expected.width() && y < expected.height())
                expected.setPixel(x, y, qRgb(0, 0, 0));
        };
        for (int x = left; x <= right; ++x) {
            set(x, top);
            set(x, bottom);
        }
        for (int y = top; y <= bottom; ++y) {
            set(left, y);
            set(right, y);
        }
        return expected;
    }

    // The rectangle of the picture, magnified nearest-neighbour onto the 161 x 121 preview.
    QImage magnified(int left, int top, int width, int height) const
    {
        QImage expected(161, 121, QImage::Format_RGB32);
        for (int y = 0; y < 121; ++y)
            for (int x = 0; x < 161; ++x)
                expected.setPixel(x, y, picture.pixel(left + x * width / 161, top + y * height / 121));
        return expected;
    }

    QImage displayOnScreen() const;

    QImage picture; // the display after the render
};

double number(const QString& text)
{
    return platform::textToDouble(text);
}

int significantDigits(const QString& text)
{
    QString mantissa = text.section(QLatin1Char('E'), 0, 0);
    mantissa.remove(QLatin1Char('-')).remove(QLatin1Char('.'));
    while (mantissa.startsWith(QLatin1Char('0')))
        mantissa.remove(0, 1);
    return static_cast<int>(mantissa.size());
}

} // namespace

// The window is measured on the display's 321 x 241 pixels: the whole box gives back the
// window that was rendered.
TEST_F(ZoomTest, WholeBoxGivesBackTheRenderedWindow)
{
    drag({0, 0}, {321, 241});
    EXPECT_EQ(windowFields(), (QStringList{"-2", "0.5", "-1.25", "1.25"}));
    EXPECT_EQ(labels(), (QStringList{"2.5", "2.5"}));
    EXPECT_TRUE(f->ZoomPending);
    EXPECT_TRUE(errors.empty());
}

// new Rmin = Rmin + (Rmax - Rmin) / 321 * SelX1, and so on; texts carry at most 15 significant
// digits, and the labels are the differences of the texts as written, read back.
TEST_F(ZoomTest, SelectionWritesTheWindowItCovers)
{
    drag({107, 0}, {214, 241});
    EXPECT_EQ(windowFields(),
              (QStringList{"-1.16666666666667", "-0.333333333333333", "-1.25", "1.25"}));
    // 1.16666666666667 - 0.333333333333333, not the exact 0.8333...
    EXPECT_EQ(labels(), (QStringList{"0.833333333333337", "2.5"}));
    EXPECT_EQ(f->SelX1, 107);
    EXPECT_EQ(f->SelX2, 214);

    // The same through QTest's mouse, which carries the held button into the move.
    QTest::mousePress(f->PicDisp, Qt::LeftButton, {}, QPoint(13, 29));
    QTest::mouseMove(f->PicDisp, QPoint(250, 97));
    QTest::mouseRelease(f->PicDisp, Qt::LeftButton, {}, QPoint(250, 97));
    const double unitR = 2.5 / 321, unitI = 2.5 / 241;
    const double expected[] = {-2 + unitR * 13, -2 + unitR * 250, -1.25 + unitI * 29, -1.25 + unitI * 97};
    const QStringList fields = windowFields();
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(number(fields[i]), expected[i], 1e-14) << fields[i].toStdString();
        EXPECT_LE(significantDigits(fields[i]), 15) << fields[i].toStdString();
    }
    EXPECT_EQ(f->lblHeight->Caption(), platform::numberToText(number(fields[3]) - number(fields[2])));
}

TEST_F(ZoomTest, ZeroWidthSelectionGivesAnEmptyRange)
{
    drag({100, 50}, {100, 150});
    EXPECT_EQ(f->txtRmin->Text(), f->txtRmax->Text());
    EXPECT_EQ(f->lblWidth->Caption(), QStringLiteral("0"));
    EXPECT_NE(f->txtImin->Text(), f->txtImax->Text());
    EXPECT_TRUE(errors.empty());
}

// Dragging from either corner selects the same rectangle, outline and preview alike.
TEST_F(ZoomTest, ReversedDragGivesTheSameSelection)
{
    struct Outcome {
        QImage display, preview;
        QStringList fields;
    };
    auto select = [&](QPoint from, QPoint to) {
        press(from);
        move(to);
        Outcome outcome{f->PicDisp->image().copy(), f->PicSmall->image().copy(), {}};
        release(to);
        outcome.fields = windowFields();
        return outcome;
    };
    const Outcome forward = select({50, 40}, {200, 150});
    const Outcome reversed = select({200, 150}, {50, 40});
    const Outcome crossed = select({200, 40}, {50, 150});
    for (const Outcome* other : {&reversed, &crossed}) {
        EXPECT_TRUE(sameImage(other->display, forward.display));
        EXPECT_TRUE(sameImage(other->preview, forward.preview));
        EXPECT_EQ(other->fields, forward.fields);
    }
    EXPECT_TRUE(sameImage(forward.display, withOutline(50, 40, 200, 150)));
    EXPECT_TRUE(sameImage(forward.preview, magnified(50, 40, 150, 110)));
}

// Each move draws the outline afresh on the clean picture; the preview is taken before the
// outline is drawn, so it never shows it; the release removes the outline.
TEST_F(ZoomTest, OutlineFollowsThePointerAndIsRemovedOnRelease)
{
    press({30, 20});
    move({120, 90});
    EXPECT_TRUE(sameImage(f->PicDisp->image(), withOutline(30, 20, 120, 90)));
    EXPECT_TRUE(sameImage(f->PicSmall->image(), magnified(30, 20, 90, 70)));

    move({60, 200}); // the first outline must be gone, also where the rectangles overlap
    EXPECT_TRUE(sameImage(f->PicDisp->image(), withOutline(30, 20, 60, 200)));
    EXPECT_TRUE(sameImage(f->PicSmall->image(), magnified(30, 20, 30, 180)));

    release({60, 200});
    EXPECT_TRUE(sameImage(f->PicDisp->image(), picture));
    EXPECT_TRUE(errors.empty());
}

// What the screen shows of the display box, once the event loop has run.
QImage ZoomTest::displayOnScreen() const
{
    QCoreApplication::processEvents();
    const QImage window = f->screen()->grabWindow(f->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const qreal ratio = window.devicePixelRatio();
    const QRect box = f->PicDisp->geometry();
    return window.copy(QRect(box.topLeft() * ratio, box.size() * ratio))
        .scaled(box.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// The screen keeps no outline once the button is released, without a repaint of its own.
TEST_F(ZoomTest, ReleaseTakesTheOutlineOffTheScreen)
{
    for (const QPoint end : {QPoint(120, 90), QPoint(400, -30)}) {
        SCOPED_TRACE(end.x());
        press({30, 20});
        move(end);
        ASSERT_FALSE(sameImage(displayOnScreen(), picture)) << "no outline on screen to take off";
        release(end);
        EXPECT_TRUE(sameImage(displayOnScreen(), picture));
    }
    EXPECT_TRUE(errors.empty());
}

// After a zoom each window field shows its new text from the first character: the sign and the
// leading digits, not the end of the number.
TEST_F(ZoomTest, ZoomedFieldsShowTheirTextFromTheStart)
{
    drag({310, 230}, {10, 5}); // texts longer than the fields
    for (platform::TextBox* field : {f->txtRmin, f->txtRmax, f->txtImin, f->txtImax}) {
        SCOPED_TRACE(field->objectName().toStdString());
        const QRect text = field->contentsRect();
        field->grab(); // paints the field as the screen shows it
        ASSERT_LT(field->cursorPositionAt(QPoint(text.right() - 4, text.center().y())), field->Text().size())
            << field->Text().toStdString() << " fits in its field";
        EXPECT_EQ(field->cursorPositionAt(QPoint(text.left() + 4, text.center().y())), 0)
            << field->Text().toStdString();
    }
}

// Pixels of the preview whose source lies outside the display show the preview's background,
// never what an earlier preview left there; the part taken from the display stays magnified.
TEST_F(ZoomTest, PreviewShowsOnlyTheCurrentSelection)
{
    const QRgb background = f->PicSmall->backColor().rgb();
    struct Case {
        QPoint from, to;
    };
    for (const Case& c : {Case{{250, 180}, {400, 300}}, Case{{100, 50}, {100, 150}}, Case{{-60, 40}, {40, 60}}}) {
        SCOPED_TRACE(c.to.x());
        drag({0, 0}, {321, 241}); // a preview over the whole box first
        press(c.from);
        move(c.to);
        const int left = std::min(c.from.x(), c.to.x()), top = std::min(c.from.y(), c.to.y());
        const int width = std::abs(c.to.x() - c.from.x()), height = std::abs(c.to.y() - c.from.y());
        QImage expected(161, 121, QImage::Format_RGB32);
        for (int y = 0; y < 121; ++y)
            for (int x = 0; x < 161; ++x) {
                const QPoint source(left + x * width / 161, top + y * height / 121);
                const bool inside = width > 0 && height > 0 && picture.rect().contains(source);
                expected.setPixel(x, y, inside ? picture.pixel(source) : background);
            }
        EXPECT_TRUE(sameImage(f->PicSmall->image(), expected));
        release(c.to);
    }
    EXPECT_TRUE(errors.empty());
}

// A click on the picture without a drag selects nothing, although an earlier drag left its
// second corner elsewhere: the press puts back the window of the picture on display, and the
// labels follow; a drag after it selects as usual.
TEST_F(ZoomTest, AClickWithoutADragSelectsNothing)
{
    const QStringList rendered = windowFields();
    drag({10, 10}, {200, 150});
    ASSERT_NE(windowFields(), rendered);
    press({100, 100});
    release({100, 100});
    EXPECT_EQ(windowFields(), rendered);
    EXPECT_EQ(labels(), (QStringList{"2.5", "2.5"}));
    EXPECT_TRUE(sameImage(f->PicDisp->image(), picture));

    // Also on a fresh picture, where no selection is pending.
    render();
    press({40, 40});
    release({40, 40});
    EXPECT_EQ(windowFields(), rendered);

    drag({0, 0}, {321, 241});
    EXPECT_EQ(windowFields(), rendered);
    drag({0, 0}, {160, 120});
    EXPECT_NE(windowFields(), rendered);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ZoomTest, DragLeavingTheBoxOnTheLeftWidensTheWindow)
{
    drag({100, 100}, {-20, 50});
    EXPECT_EQ(f->SelX1, -20);
    EXPECT_EQ(f->SelX2, 100);
    EXPECT_LT(number(f->txtRmin->Text()), -2.0);
    EXPECT_NEAR(number(f->txtRmin->Text()), -2 - 20 * 2.5 / 321, 1e-14);
    // The outline's left edge lies outside the picture; the rest is drawn.
    EXPECT_TRUE(errors.empty());
}

// Only the left button selects.
TEST_F(ZoomTest, OtherButtonsChangeNothing)
{
    drag({10, 10}, {100, 100}); // a selection to keep
    const QStringList fields = windowFields();
    const QStringList shownLabels = labels();
    const QImage preview = f->PicSmall->image().copy();
    const std::int16_t sel[] = {f->SelX1, f->SelY1, f->SelX2, f->SelY2};
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SCOPED_TRACE(button == Qt::RightButton ? "right" : "middle");
        press({200, 150}, button);
        move({300, 220}, button);
        EXPECT_TRUE(sameImage(f->PicDisp->image(), picture));
        release({300, 220}, button);
        EXPECT_EQ(windowFields(), fields);
        EXPECT_EQ(labels(), shownLabels);
        EXPECT_TRUE(f->ZoomPending);
        EXPECT_TRUE(sameImage(f->PicSmall->image(), preview));
        EXPECT_EQ(f->SelX1, sel[0]);
        EXPECT_EQ(f->SelY1, sel[1]);
        EXPECT_EQ(f->SelX2, sel[2]);
        EXPECT_EQ(f->SelY2, sel[3]);
    }
    // A move with the left button and another held is no left-button move either.
    press({20, 20});
    move({250, 200}, Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(f->SelX2, sel[2]);
    EXPECT_TRUE(sameImage(f->PicDisp->image(), picture));
}

// A second selection without a render between is measured against the rendered window, not
// against the first selection.
TEST_F(ZoomTest, SecondSelectionIsMeasuredAgainstTheRenderedWindow)
{
    drag({50, 40}, {200, 150});
    const QStringList afterFirst = windowFields();
    drag({100, 100}, {150, 120});
    ASSERT_NE(windowFields(), afterFirst);

    auto fresh = newWindow();
    ViewerTest::f.swap(fresh);
    drag({100, 100}, {150, 120});
    const QStringList alone = windowFields();
    ViewerTest::f.swap(fresh);
    EXPECT_EQ(windowFields(), alone);

    // After a render the new window is the one measured against.
    render();
    const QStringList rendered = windowFields();
    drag({0, 0}, {321, 241});
    EXPECT_EQ(windowFields(), rendered);
}

// Pins an intended behaviour (docs/behaviour.md): after Reset the display still shows the last
// rendered picture, so a selection on it is measured against the window saved at the last
// press on that picture, not against the defaults that Reset wrote.
TEST_F(ZoomTest, SelectionAfterResetIsMeasuredAgainstTheWindowSavedAtThePress)
{
    drag({50, 40}, {200, 150});
    render();
    const QStringList rendered = windowFields();
    drag({10, 10}, {100, 80}); // its press saves the rendered window
    click(f->cmdReset);
    ASSERT_EQ(windowFields(), (QStringList{"-2", "0.5", "-1.25", "1.25"}));

    press({0, 0});
    EXPECT_EQ(windowFields(), rendered);
    move({321, 241});
    release({321, 241});
    EXPECT_EQ(windowFields(), rendered);
    EXPECT_TRUE(f->ZoomPending);
    EXPECT_TRUE(errors.empty());
}

using FreshWindowZoomTest = ViewerTest;

// Reset makes a zoom pending; with no window saved yet the press writes that empty window.
// Pins an intended behaviour (docs/behaviour.md): the window saved at the last press, here none.
TEST_F(FreshWindowZoomTest, SelectionAfterResetStartsFromZero)
{
    click(f->cmdReset);
    press({10, 10});
    EXPECT_EQ(windowFields(), (QStringList{"0", "0", "0", "0"}));
    move({100, 80});
    release({100, 80});
    EXPECT_EQ(windowFields(), (QStringList{"0", "0", "0", "0"}));
    EXPECT_EQ(f->lblWidth->Caption(), QStringLiteral("0"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(ZoomTest, PressWithUnreadableRminKeepsTheSavedWindow)
{
    drag({50, 40}, {200, 150}); // saves the rendered window
    render();                   // renders the selection; no zoom pending
    setField(f->txtRmin, QStringLiteral("left"));
    press({10, 10});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, ErrorKind::TypeMismatch);
    EXPECT_EQ(f->SavedRmin, -2.0);
    EXPECT_EQ(f->SavedRmax, 0.5);
    EXPECT_EQ(f->SavedImin, -1.25);
    EXPECT_EQ(f->SavedImax, 1.25);
}

struct FailingRelease {
    const char* name;
    bool pending;                           // a zoom pending before the press
    const char* rmin;                       // typed before the press
    const char* rmax;
    const char* rminAfterPress;             // typed between the move and the release, or null
    ErrorKind kind;
};

void PrintTo(const FailingRelease& r, std::ostream* os) { *os << r.name; }

class ZoomFailureTest : public ZoomTest, public ::testing::WithParamInterface<FailingRelease> {};

// A release whose window cannot be worked out changes no field, no label and no pending state.
TEST_P(ZoomFailureTest, ReleaseThatFailsChangesNothing)
{
    const FailingRelease& p = GetParam();
    if (p.pending)
        drag({10, 10}, {300, 200});
    setField(f->txtRmin, QString::fromLatin1(p.rmin));
    setField(f->txtRmax, QString::fromLatin1(p.rmax));
    press({40, 40});
    move({90, 80});
    if (p.rminAfterPress)
        setField(f->txtRmin, QString::fromLatin1(p.rminAfterPress));
    const QStringList fields = windowFields();
    const QStringList shownLabels = labels();
    ASSERT_TRUE(errors.empty());

    release({90, 80});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].kind, p.kind);
    EXPECT_EQ(windowFields(), fields);
    EXPECT_EQ(labels(), shownLabels);
    EXPECT_EQ(f->ZoomPending, p.pending);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ZoomFailureTest,
    ::testing::Values(
        FailingRelease{"SpanBeyondDoubleRange", false, "-1.7E+308", "1.7E+308", nullptr,
                       ErrorKind::FloatingPointOverflow},
        FailingRelease{"RminEditedDuringDrag", true, "-2", "0.5", "abc", ErrorKind::TypeMismatch}),
    [](const ::testing::TestParamInfo<FailingRelease>& info) { return std::string(info.param.name); });
