// SPDX-License-Identifier: MIT
// The program's one window. It holds the eight view and image fields, the command buttons,
// the colour-range slider, the status line and progress bar, and three picture boxes: PicDisp
// (the display, where a zoom rectangle is dragged), PicSmall (the magnified preview of the
// selection) and the invisible PicHidden (the full-size picture that painting draws into).
//
// Each event procedure runs to its end on the user-interface thread. Render reads the fields,
// fills mLoadFractal::FractalGrid through the kernel, records the snapshot and paints the grid
// into PicHidden (mLoadFractal::DrawFractal over the GetDIBBits pixel buffer); the display step
// then copies PicHidden, stretched, onto PicDisp. Redraw repaints the same grid with the
// slider's current value. A zoom selection rewrites the four window fields for the next render.
#pragma once

#include "platform/commondialog.h"
#include "platform/controls.h"
#include "platform/picturebox.h"
#include "platform/textbox.h"

#include <QWidget>

#include <cstdint>

class form1 : public QWidget {
    Q_OBJECT

public:
    explicit form1(QWidget* parent = nullptr);

    // Event procedures.
    void Form_Load();
    void cmdRender_Click();
    void cmdReload_Click();
    void cmdReset_Click();
    void cmdSave_Click();
    void cmdPrev_Click();
    void cmdNext_Click();
    void PicDisp_MouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void PicDisp_MouseMove(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void PicDisp_MouseUp(std::int16_t Button, std::int16_t Shift, float X, float Y);
    void Slider1_Scroll();
    void Slider1_Change();

    // View and image fields.
    platform::TextBox* txtRmin;
    platform::TextBox* txtRmax;
    platform::TextBox* txtImin;
    platform::TextBox* txtImax;
    platform::TextBox* txtMaxIt;
    platform::TextBox* txtMColors;
    platform::TextBox* txtWidth;
    platform::TextBox* txtHeight;

    platform::Label* Label1;
    platform::Label* Label2;
    platform::Label* Label3;
    platform::Label* Label4;
    platform::Label* Label5;
    platform::Label* Label6;
    platform::Label* Label7;
    platform::Label* Label8;
    platform::Label* Label9;
    platform::Label* Label10;
    platform::Label* Label11;
    platform::Label* Label12;
    platform::Label* lblProcess;
    platform::Label* lblWidth;
    platform::Label* lblHeight;

    platform::CommandButton* cmdReset;
    platform::CommandButton* cmdRender;
    platform::CommandButton* cmdReload;
    platform::CommandButton* cmdSave;
    platform::CommandButton* cmdPrev;
    platform::CommandButton* cmdNext;

    platform::Slider* Slider1;
    platform::ProgressBar* PB1;
    platform::PictureBox* PicDisp;
    platform::PictureBox* PicSmall;
    platform::PictureBox* PicHidden;
    platform::CommonDialog CDSave;

    // True while the four window fields differ from the window of the picture on display
    // (after a selection or Reset, until the next Render or Redraw).
    bool ZoomPending = false;

    // The zoom selection's corners, in pixels of PicDisp, and the window it is measured against.
    std::int16_t SelX1 = 0, SelY1 = 0, SelX2 = 0, SelY2 = 0;
    // Whether the pointer has moved with the left button held since the last press: a click
    // without a drag selects nothing.
    bool SelectionDragged = false;
    double SavedRmin = 0, SavedRmax = 0, SavedImin = 0, SavedImax = 0;

private:
    void createControls();
    // The order in which Tab moves the focus through the controls.
    void arrangeTabOrder();
    void connectEvents();
    struct PointFields;
    PointFields readPointFields() const;
    void computeGrid();
    std::int32_t readColumnLimit() const;
    std::int32_t computeRowsOnWorkers(std::int32_t rowLimit, double stepR, double stepI);
    void showHiddenPicture();
    void writeDefaultWindow();
    void showColourRange();
    void showExtent(platform::Label* label, platform::TextBox* low, platform::TextBox* high);
};
