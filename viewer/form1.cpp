// SPDX-License-Identifier: MIT
#include "form1.h"

#include "kernelbinding.h"
#include "mloadfractal.h"
#include "platform/conversions.h"
#include "platform/gdi.h"
#include "platform/runtimeerror.h"
#include "platform/savepicture.h"
#include "platform/doevents.h"
#include "platform/termination.h"
#include "rowworkers.h"

#include <algorithm>
#include <limits>
#include <optional>

using namespace platform;
using mLoadFractal::FractalGrid;

namespace {

constexpr int kClientWidth = 657;
constexpr int kClientHeight = 294;
constexpr double kBailout = 4.0;

const QString kIdle = QStringLiteral("None");
const QString kColorRangeCaption = QStringLiteral("Color Range: ");

template <typename Control, typename... Args>
Control* place(QWidget* parent, const char* name, int left, int top, int width, int height,
               Args&&... args)
{
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}

Label* fieldLabel(QWidget* parent, const char* name, const QString& caption, int top)
{
    auto* label = place<Label>(parent, name, -8, top, 65, 17, caption);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

TextBox* field(QWidget* parent, const char* name, const QString& caption, const QString& text, int top)
{
    auto* box = place<TextBox>(parent, name, 64, top, 89, 19, caption);
    box->setText(text);
    return box;
}

// i + 1 in 32-bit arithmetic, raising Overflow where the result would leave the range; `what`
// names the quantity in the message.
std::int32_t plusOne(std::int32_t i, const char* what)
{
    if (i == std::numeric_limits<std::int32_t>::max())
        raiseError(ErrorKind::Overflow, QStringLiteral("%1 left the 32-bit range.").arg(QLatin1String(what)));
    return i + 1;
}

// i - 1, the same way.
std::int32_t minusOne(std::int32_t i, const char* what)
{
    if (i == std::numeric_limits<std::int32_t>::min())
        raiseError(ErrorKind::Overflow, QStringLiteral("%1 left the 32-bit range.").arg(QLatin1String(what)));
    return i - 1;
}

// i + 1 for a 32-bit loop counter of the render.
std::int32_t nextCounter(std::int32_t i)
{
    return plusOne(i, "The loop counter");
}

} // namespace

form1::form1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("form1"));
    setWindowTitle(QStringLiteral("Veldtra"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    createControls();
    arrangeTabOrder();
    connectEvents();
    PicDisp->setFocus();
}

void form1::createControls()
{
    Label1 = fieldLabel(this, "Label1", QStringLiteral("Rmin:"), 8);
    Label2 = fieldLabel(this, "Label2", QStringLiteral("Rmax:"), 32);
    Label3 = fieldLabel(this, "Label3", QStringLiteral("Imin:"), 56);
    Label4 = fieldLabel(this, "Label4", QStringLiteral("Imax:"), 80);
    Label5 = fieldLabel(this, "Label5", QStringLiteral("MaxIt:"), 104);
    Label10 = fieldLabel(this, "Label10", QStringLiteral("MaxColors:"), 128);
    Label12 = fieldLabel(this, "Label12", QStringLiteral("Width:"), 152);
    Label11 = fieldLabel(this, "Label11", QStringLiteral("Height:"), 176);

    txtRmin = field(this, "txtRmin", QStringLiteral("Rmin"), QStringLiteral("-2"), 8);
    txtRmax = field(this, "txtRmax", QStringLiteral("Rmax"), QStringLiteral("0.5"), 32);
    txtImin = field(this, "txtImin", QStringLiteral("Imin"), QStringLiteral("-1.25"), 56);
    txtImax = field(this, "txtImax", QStringLiteral("Imax"), QStringLiteral("1.25"), 80);
    txtMaxIt = field(this, "txtMaxIt", QStringLiteral("MaxIt"), QStringLiteral("259"), 104);
    txtMColors = field(this, "txtMColors", QStringLiteral("MaxColors"), QStringLiteral("65536"), 128);
    txtWidth = field(this, "txtWidth", QStringLiteral("Width"), QStringLiteral("320"), 152);
    txtHeight = field(this, "txtHeight", QStringLiteral("Height"), QStringLiteral("240"), 176);

    cmdReset = place<CommandButton>(this, "cmdReset", 8, 200, 49, 25, QStringLiteral("Reset"));
    cmdRender = place<CommandButton>(this, "cmdRender", 64, 200, 89, 25, QStringLiteral("Render"));
    cmdReload = place<CommandButton>(this, "cmdReload", 64, 232, 89, 25, QStringLiteral("Redraw"));
    cmdSave = place<CommandButton>(this, "cmdSave", 64, 264, 89, 25, QStringLiteral("Save"));
    cmdReload->setEnabled(false);

    Label6 = place<Label>(this, "Label6", 160, 8, 241, 17, QStringLiteral("Color Range: 5000000"));
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cmdPrev = place<CommandButton>(this, "cmdPrev", 160, 24, 17, 17, QStringLiteral("<"));
    Slider1 = place<Slider>(this, "Slider1", 184, 24, 449, 17);
    Slider1->setRange(0, 5000000);
    Slider1->setValue(5000000);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(50000);
    cmdNext = place<CommandButton>(this, "cmdNext", 632, 24, 17, 17, QStringLiteral(">"));

    PicDisp = place<PictureBox>(this, "PicDisp", 328, 48, 321, 241);
    PicSmall = place<PictureBox>(this, "PicSmall", 160, 48, 161, 121);
    PicHidden = place<PictureBox>(this, "PicHidden", 16, 232, 41, 17);
    PicHidden->setVisible(false);

    Label7 = place<Label>(this, "Label7", 160, 176, 81, 17, QStringLiteral("Current process:"));
    lblProcess = place<Label>(this, "lblProcess", 248, 176, 73, 17, kIdle);
    PB1 = place<ProgressBar>(this, "PB1", 160, 200, 161, 25);

    Label9 = place<Label>(this, "Label9", 160, 232, 33, 17, QStringLiteral("Width:"));
    Label9->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblWidth = place<Label>(this, "lblWidth", 200, 232, 129, 17, QString());
    Label8 = place<Label>(this, "Label8", 160, 256, 33, 17, QStringLiteral("Height:"));
    Label8->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblHeight = place<Label>(this, "lblHeight", 200, 256, 129, 17, QString());
}

void form1::arrangeTabOrder()
{
    const QWidget* order[] = {PicDisp, cmdRender, txtRmin, txtRmax, txtImin, txtImax,
                              txtMaxIt, Slider1, txtMColors, PicSmall, cmdSave, txtHeight,
                              txtWidth, cmdNext, cmdPrev, cmdReload, cmdReset};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    PicHidden->setFocusPolicy(Qt::NoFocus);
}

void form1::connectEvents()
{
    auto click = [this](CommandButton* button, void (form1::*procedure)()) {
        connect(button, &CommandButton::Click, this,
                [this, procedure] { runEventProcedure([&] { (this->*procedure)(); }); });
    };
    click(cmdRender, &form1::cmdRender_Click);
    click(cmdReload, &form1::cmdReload_Click);
    click(cmdReset, &form1::cmdReset_Click);
    click(cmdSave, &form1::cmdSave_Click);
    click(cmdPrev, &form1::cmdPrev_Click);
    click(cmdNext, &form1::cmdNext_Click);

    using MouseProcedure = void (form1::*)(std::int16_t, std::int16_t, float, float);
    auto mouse = [this](void (PictureBox::*signal)(std::int16_t, std::int16_t, float, float),
                        MouseProcedure procedure) {
        connect(PicDisp, signal, this, [this, procedure](std::int16_t b, std::int16_t s, float x, float y) {
            runEventProcedure([&] { (this->*procedure)(b, s, x, y); });
        });
    };
    mouse(&PictureBox::MouseDown, &form1::PicDisp_MouseDown);
    mouse(&PictureBox::MouseMove, &form1::PicDisp_MouseMove);
    mouse(&PictureBox::MouseUp, &form1::PicDisp_MouseUp);

    connect(Slider1, &Slider::Scroll, this, [this] { runEventProcedure([this] { Slider1_Scroll(); }); });
    connect(Slider1, &Slider::Change, this, [this] { runEventProcedure([this] { Slider1_Change(); }); });
}

// ---- Start-up and Reset -------------------------------------------------------------------

void form1::writeDefaultWindow()
{
    txtRmin->setText(numberToText(static_cast<std::int16_t>(-2)));
    txtRmax->setText(numberToText(0.5));
    txtImin->setText(numberToText(-1.25));
    txtImax->setText(numberToText(1.25));
}

void form1::showExtent(Label* label, TextBox* low, TextBox* high)
{
    const double highValue = high->readDouble();
    label->setCaption(numberToText(checkedSub(highValue, low->readDouble(), "The extent of the window")));
}

void form1::Form_Load()
{
    show();
    writeDefaultWindow();
    showExtent(lblWidth, txtRmin, txtRmax);
    showExtent(lblHeight, txtImin, txtImax);
}

void form1::cmdReset_Click()
{
    ZoomPending = true;
    writeDefaultWindow();
}

// ---- Render and Redraw --------------------------------------------------------------------

void form1::cmdRender_Click()
{
    lblProcess->setCaption(QStringLiteral("Rendering..."));
    DoEvents();
    PicDisp->setEnabled(false);
    computeGrid();
    PB1->setValue(0.0f);
    lblProcess->setCaption(QStringLiteral("Drawing..."));
    DoEvents();
    mLoadFractal::SnapMaxIt = txtMaxIt->readDouble();
    mLoadFractal::SnapWidth = txtWidth->readInt16();
    mLoadFractal::SnapHeight = txtHeight->readInt16();
    mLoadFractal::DrawFractal(*PicHidden, Slider1->Value(), *PB1);
    showHiddenPicture();
    ZoomPending = false;
    PicDisp->setEnabled(true);
    cmdReload->setEnabled(true);
    lblProcess->setCaption(kIdle);
}

// The arguments that every grid point reads from the fields, in the order they are read.
struct form1::PointFields {
    double rmin, rmax, imin, imax, maxIt, mColors;
    std::int16_t width, height;

    // The kernel's value of the grid point (row, column) with these fields and steps.
    std::uint8_t computePoint(MandelbrotFn kernel, std::int16_t row, std::int16_t column, double stepR,
                              double stepI) const
    {
        return kernel(rmin, rmax, imin, imax, maxIt, mColors, width, height, row, column, kBailout,
                      stepR, stepI);
    }
};

form1::PointFields form1::readPointFields() const
{
    PointFields f{};
    f.rmin = txtRmin->readDouble();
    f.rmax = txtRmax->readDouble();
    f.imin = txtImin->readDouble();
    f.imax = txtImax->readDouble();
    f.maxIt = txtMaxIt->readDouble();
    f.mColors = txtMColors->readDouble();
    f.width = txtWidth->readInt16();
    f.height = txtHeight->readInt16();
    return f;
}

namespace {

// A row or column index as the kernel takes it: a 16-bit integer.
inline std::int16_t gridIndex(std::int32_t index, const char* what)
{
    if (index >= std::numeric_limits<std::int16_t>::min() && index <= std::numeric_limits<std::int16_t>::max())
        [[likely]] return static_cast<std::int16_t>(index);
    return toInt16(index, QLatin1String(what));
}

} // namespace

// Re-creates FractalGrid and fills it through the kernel, row by row; the bar advances once
// per row. Every grid point takes its arguments from the fields as they stand. The rows that
// can be shared out are computed on every processor first (computeRowsOnWorkers); the loop
// below takes the rest, one point after the other, and raises where a point cannot be
// computed, exactly where the loop alone would have raised.
void form1::computeGrid()
{
    const std::int32_t upperX = toInt32(checkedAdd(txtWidth->readDouble(), 2.0, "Width + 2"), QStringLiteral("Width + 2"));
    const std::int32_t upperY = toInt32(checkedAdd(txtHeight->readDouble(), 2.0, "Height + 2"), QStringLiteral("Height + 2"));
    FractalGrid.recreate(upperX, upperY);

    const double rmax = txtRmax->readDouble();
    const double spanR = checkedSub(rmax, txtRmin->readDouble(), "The real extent (Rmax − Rmin)");
    const double stepR = checkedDiv(spanR, checkedSub(txtWidth->readDouble(), 1.0, "Width − 1"),
                                    "The step between columns, (Rmax − Rmin) / (Width − 1),");
    const double imax = txtImax->readDouble();
    const double spanI = checkedSub(imax, txtImin->readDouble(), "The imaginary extent (Imax − Imin)");
    const double stepI = checkedDiv(spanI, checkedSub(txtHeight->readDouble(), 1.0, "Height − 1"),
                                    "The step between rows, (Imax − Imin) / (Height − 1),");

    PB1->setMax(static_cast<float>(checkedAdd(txtHeight->readDouble(), 2.0, "Height + 2")));
    const std::int32_t rowLimit = toInt32(checkedAdd(txtHeight->readDouble(), 1.0, "Height + 1"), QStringLiteral("Height + 1"));
    const std::int32_t sharedRows = computeRowsOnWorkers(rowLimit, stepR, stepI);
    // The values read for one point serve the next ones until one of the eight texts changes
    // (nothing in the loops lets the user change one, so normally they are read once).
    std::optional<PointFields> fields;
    std::uint64_t fieldsReadAt = 0;
    // Fetched at the first point, where the library is bound (or fails to be), then kept.
    MandelbrotFn kernel = nullptr;
    for (std::int32_t i = sharedRows; i <= rowLimit; i = nextCounter(i)) {
        // Read at the start of every row, from the field as it stands then.
        const std::int32_t columnLimit = readColumnLimit();
        // Where the whole row lies in the grid, its cells are written directly.
        std::uint8_t* cells = FractalGrid.contains(std::max(columnLimit, 0), i) ? FractalGrid.row(i) : nullptr;
        for (std::int32_t j = 0; j <= columnLimit; j = nextCounter(j)) {
            if (terminationRequested()) [[unlikely]]
                endProgram();
            if (!fields || fieldsReadAt != TextBox::changeCount()) {
                fields = readPointFields();
                fieldsReadAt = TextBox::changeCount();
            }
            const PointFields& f = *fields;
            const std::int16_t row = gridIndex(i, "Row"), column = gridIndex(j, "Column");
            if (!kernel) [[unlikely]]
                kernel = kernelbinding::kernel();
            const std::uint8_t value = f.computePoint(kernel, row, column, stepR, stepI);
            if (cells)
                cells[j] = value;
            else
                FractalGrid.set(j, i, value);
        }
        PB1->setValue(PB1->Value() + 1.0f);
    }
}

// The last column index, Width + 1, from the field as it stands: the same for every row.
std::int32_t form1::readColumnLimit() const
{
    return toInt32(checkedAdd(txtWidth->readDouble(), 1.0, "Width + 1"), QStringLiteral("Width + 1"));
}

// Computes the rows that can be shared out among the processors, from row 0 on, and returns how
// many. They are the rows whose every point the loop of computeGrid would compute: rows whose
// index fits the kernel's 16 bits, where every column index does too. The first point's own
// steps come first, here on this thread, in the loop's order: reading the fields and binding
// the kernel raise what the loop would raise there, with nothing computed. Every point gets
// the arguments the loop would pass (no field can change while the grid is computed), and the
// bar climbs with the rows finished from row 0 on. Where nothing can be shared (one processor,
// no point to compute, or a first row that stops part-way), returns 0 and leaves all to the loop.
std::int32_t form1::computeRowsOnWorkers(std::int32_t rowLimit, double stepR, double stepI)
{
    constexpr std::int32_t lastIndex = std::numeric_limits<std::int16_t>::max();
    const int threads = rowworkers::threadCount();
    if (threads < 2 || rowLimit < 0)
        return 0;
    const std::int32_t columnLimit = readColumnLimit();
    if (columnLimit < 0 || columnLimit > lastIndex)
        return 0;
    const std::int32_t rows = std::min(rowLimit, lastIndex) + 1;
    if (!FractalGrid.contains(columnLimit, rows - 1))
        return 0;
    const PointFields f = readPointFields();
    const MandelbrotFn kernel = kernelbinding::kernel();

    // Each worker keeps its own copy of the arguments (captured by value).
    auto computeRow = [f, kernel, columnLimit, stepR, stepI](std::int32_t i, const std::stop_token& stop) {
        std::uint8_t* cells = FractalGrid.row(i);
        const auto row = static_cast<std::int16_t>(i);
        for (std::int32_t j = 0; j <= columnLimit; ++j) {
            if (stop.stop_requested()) [[unlikely]]
                return;
            cells[j] = f.computePoint(kernel, row, static_cast<std::int16_t>(j), stepR, stepI);
        }
    };
    auto advanceBar = [this](std::int32_t finishedRows) {
        for (std::int32_t k = 0; k < finishedRows; ++k)
            PB1->setValue(PB1->Value() + 1.0f);
    };
    if (!rowworkers::computeRows(rows, threads, computeRow, advanceBar, terminationRequested))
        endProgram();
    return rows;
}

// The display step: PicHidden's whole picture, stretched onto the whole of PicDisp.
void form1::showHiddenPicture()
{
    PicHidden->Refresh();
    const HDC display = PicDisp->hDC();
    const std::int32_t displayWidth = toInt32(PicDisp->ScaleWidth());
    const std::int32_t displayHeight = toInt32(PicDisp->ScaleHeight());
    const HDC hidden = PicHidden->hDC();
    const std::int32_t hiddenWidth = toInt32(PicHidden->ScaleWidth());
    const std::int32_t hiddenHeight = toInt32(PicHidden->ScaleHeight());
    StretchBlt(display, 0, 0, displayWidth, displayHeight, hidden, 0, 0, hiddenWidth, hiddenHeight,
               SRCCOPY);
    PicDisp->Refresh();
}

void form1::cmdReload_Click()
{
    lblProcess->setCaption(QStringLiteral("Drawing..."));
    DoEvents();
    mLoadFractal::DrawFractal(*PicHidden, Slider1->Value(), *PB1);
    showHiddenPicture();
    ZoomPending = false;
    lblProcess->setCaption(kIdle);
}

// ---- Zoom selection -----------------------------------------------------------------------

void form1::PicDisp_MouseDown(std::int16_t Button, std::int16_t, float X, float Y)
{
    if (Button != LeftButton)
        return;
    SelX1 = toInt16(X, QStringLiteral("The pointer's x"));
    SelY1 = toInt16(Y, QStringLiteral("The pointer's y"));
    SelectionDragged = false;
    if (!ZoomPending) {
        SavedRmin = txtRmin->readDouble();
        SavedRmax = txtRmax->readDouble();
        SavedImin = txtImin->readDouble();
        SavedImax = txtImax->readDouble();
    } else {
        txtRmin->setText(numberToText(SavedRmin));
        txtRmax->setText(numberToText(SavedRmax));
        txtImin->setText(numberToText(SavedImin));
        txtImax->setText(numberToText(SavedImax));
    }
    PicDisp->setPicture(PicDisp->image());
}

void form1::PicDisp_MouseMove(std::int16_t Button, std::int16_t, float X, float Y)
{
    if (Button != LeftButton)
        return;
    SelX2 = toInt16(X, QStringLiteral("The pointer's x"));
    SelY2 = toInt16(Y, QStringLiteral("The pointer's y"));
    SelectionDragged = true;
    const std::int16_t left = std::min(SelX1, SelX2), right = std::max(SelX1, SelX2);
    const std::int16_t top = std::min(SelY1, SelY2), bottom = std::max(SelY1, SelY2);
    PicDisp->Cls();

    const std::int16_t width = toInt16(static_cast<double>(right) - left, QStringLiteral("The selection's width"));
    const std::int16_t height = toInt16(static_cast<double>(bottom) - top, QStringLiteral("The selection's height"));
    // The preview shows this selection only: where its source lies outside the display (past
    // an edge, or a selection of no width or height) it shows the background, not an earlier
    // preview.
    PicSmall->Cls();
    StretchBlt(PicSmall->hDC(), 0, 0, toInt32(PicSmall->ScaleWidth()), toInt32(PicSmall->ScaleHeight()),
               PicDisp->hDC(), left, top, width, height, SRCCOPY);
    PicSmall->Refresh();

    constexpr std::uint32_t black = 0;
    PicDisp->Line(left, top, left, bottom, black);
    PicDisp->Line(left, top, right, top, black);
    PicDisp->Line(right, bottom, left, bottom, black);
    PicDisp->Line(right, top, right, bottom, black);
    PicDisp->Refresh();
}

void form1::PicDisp_MouseUp(std::int16_t Button, std::int16_t, float, float)
{
    if (Button != LeftButton)
        return;
    if (!SelectionDragged) {
        // A click selects nothing (its second corner would be one left by an earlier drag):
        // the fields keep what the press left in them, the window of the picture on display
        // where a selection was pending, and the labels follow them.
        PicDisp->Cls();
        showExtent(lblWidth, txtRmin, txtRmax);
        showExtent(lblHeight, txtImin, txtImax);
        return;
    }
    if (SelX2 < SelX1)
        std::swap(SelX1, SelX2);
    if (SelY2 < SelY1)
        std::swap(SelY1, SelY2);
    PicDisp->Cls();

    const double rmin = txtRmin->readDouble(), rmax = txtRmax->readDouble();
    const double imin = txtImin->readDouble(), imax = txtImax->readDouble();
    const double w = PicDisp->ScaleWidth(), h = PicDisp->ScaleHeight();
    constexpr const char* window = "The selected window";
    const double unitR = checkedDiv(checkedSub(rmax, rmin, window), w, window);
    const double unitI = checkedDiv(checkedSub(imax, imin, window), h, window);
    const double newRmin = checkedAdd(rmin, checkedMul(unitR, SelX1, window), window);
    const double newRmax = checkedAdd(rmin, checkedMul(unitR, SelX2, window), window);
    const double newImin = checkedAdd(imin, checkedMul(unitI, SelY1, window), window);
    const double newImax = checkedAdd(imin, checkedMul(unitI, SelY2, window), window);

    txtRmin->setText(numberToText(newRmin));
    txtRmax->setText(numberToText(newRmax));
    txtImin->setText(numberToText(newImin));
    txtImax->setText(numberToText(newImax));
    showExtent(lblWidth, txtRmin, txtRmax);
    showExtent(lblHeight, txtImin, txtImax);
    ZoomPending = true;
}

// ---- Colour range -------------------------------------------------------------------------

// The caption follows the thumb while it is dragged and every change of the value alike.
void form1::showColourRange()
{
    Label6->setCaption(kColorRangeCaption + QString::number(Slider1->Value()));
}

void form1::Slider1_Scroll()
{
    showColourRange();
}

void form1::Slider1_Change()
{
    showColourRange();
}

void form1::cmdNext_Click()
{
    constexpr const char* range = "The colour range";
    const std::int32_t next = plusOne(Slider1->Value(), range);
    // The new value is formed from the slider's value read again, after its maximum is read.
    Slider1->setValue(next > Slider1->Max() ? Slider1->Min() : plusOne(Slider1->Value(), range));
}

void form1::cmdPrev_Click()
{
    constexpr const char* range = "The colour range";
    const std::int32_t previous = minusOne(Slider1->Value(), range);
    // The new value is formed from the slider's value read again, after its minimum is read.
    Slider1->setValue(previous < Slider1->Min() ? Slider1->Max() : minusOne(Slider1->Value(), range));
}

// ---- Save ---------------------------------------------------------------------------------

void form1::cmdSave_Click()
{
    CDSave.FileName = QString();
    CDSave.Filter = QStringLiteral("Bitmaps (*.bmp,*.dib)|*.bmp;*.dib");
    CDSave.DialogTitle = QStringLiteral("Save Fractal As Bitmap");
    CDSave.ShowSave(this);
    if (CDSave.FileName.isEmpty())
        return;
    // The name is kept here: a Save clicked again while events run below reuses the dialog,
    // and this save must still go to the name chosen for it.
    const QString fileName = CDSave.FileName;
    lblProcess->setCaption(QStringLiteral("Saving..."));
    DoEvents();
    const QImage image = PicHidden->image();
    SavePicture(image, fileName);
    lblProcess->setCaption(kIdle);
}
