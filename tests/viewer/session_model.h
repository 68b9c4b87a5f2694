// SPDX-License-Identifier: MIT
// A model of the window for the random sessions: from what the fields hold, it works out what
// each user action must do (pass, or stop with which kind of run-time error) and how the window
// looks after (status caption, enabled controls, pending zoom, snapshot, picture size, slider,
// fields).
//
// It is an independent statement of the window's rules, written from the rules for reading
// fields, rounding and floating-point checks and not from the program's code: it never calls
// the window's procedures or asks the window what happened, so that a fault in either the
// program or the model shows as a difference between the two.
#pragma once

#include "platform/runtimeerror.h"

#include <QLocale>
#include <QPoint>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace sessionmodel {

using platform::ErrorKind;

// ---- Field texts and what they read as ---------------------------------------------------

// The number a text reads as, or the run-time error that reading it raises.
struct Reading {
    std::optional<ErrorKind> error;
    double value = 0;
};

inline Reading number(double value) { return {std::nullopt, value}; }
inline const Reading kNoNumber{ErrorKind::TypeMismatch, 0};
inline const Reading kBeyondDoubles{ErrorKind::Overflow, 0};

struct FieldText {
    QString text;
    Reading reading;
};

enum FieldId { Rmin, Rmax, Imin, Imax, MaxIt, MColors, Width, Height, kFieldCount };
inline const char* const kFieldNames[kFieldCount] = {
    "txtRmin", "txtRmax", "txtImin", "txtImax", "txtMaxIt", "txtMColors", "txtWidth", "txtHeight"};

struct SessionLocale {
    bool german = false;

    const char* name() const { return german ? "de_DE" : "C"; }
    QLocale locale() const { return german ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c(); }
    // A number written with "." as its decimal separator, in this locale's form.
    QString local(QString text) const
    {
        if (german)
            text.replace(u'.', u',');
        return text;
    }
};

// ---- The window as the model sees it -------------------------------------------------------

struct FieldState {
    std::optional<QString> text; // none where the program wrote the number
    Reading reading;
};

inline constexpr std::int32_t kLargestColourRange = 5000000;

struct Model {
    std::array<FieldState, kFieldCount> fields;
    bool zoomPending = false;
    QString caption = QStringLiteral("None");
    bool displayEnabled = true;
    bool redrawEnabled = false;
    double snapMaxIt = 0;
    std::int16_t snapWidth = 0, snapHeight = 0;
    QSize hidden{41, 17}; // PicHidden as laid out, until a paint sizes it
    std::int32_t colourRange = kLargestColourRange;
    std::int16_t selX1 = 0, selY1 = 0, selX2 = 0, selY2 = 0;
    bool dragged = false;
    std::array<double, 4> saved{};
};

// The window as Form_Load leaves it.
Model startingModel(const SessionLocale& locale);

// What an action must do: pass and leave `passed`, or stop with one of `kinds` and leave `failed`.
struct Expectation {
    std::optional<Model> passed;
    std::vector<ErrorKind> kinds;
    std::optional<Model> failed;
};

// ---- The rules of each action ----------------------------------------------------------------

// A field's text typed in.
Expectation afterFieldEdit(const Model& m, FieldId field, const FieldText& text);

// Clicks on the buttons. A click on a disabled button is delivered to no procedure.
Expectation afterRender(const Model& m, const SessionLocale& locale);
Expectation afterRedraw(const Model& m, const SessionLocale& locale);
Expectation afterReset(const Model& m, const SessionLocale& locale);
Expectation afterPrevious(const Model& m, const SessionLocale& locale);
Expectation afterNext(const Model& m, const SessionLocale& locale);

// One mouse event on the display: the button that changed on a press or release, those held on
// a move.
struct MouseEvent {
    enum Type { Press, Move, Release } type;
    QPoint at;
    Qt::MouseButtons buttons;
};
Expectation afterMouseEvent(const Model& m, const MouseEvent& e);

// The slider moved to `value`, by the program, the thumb or a key.
Expectation afterSliderMove(const Model& m, std::int32_t value);

// Save, with the file dialog answering a file, a missing folder, a folder, or cancelling.
enum class SaveTarget { File, Cancel, MissingDirectory, Directory };
Expectation afterSave(const Model& m, SaveTarget target);

} // namespace sessionmodel
