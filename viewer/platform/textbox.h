// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>
#include <QLocale>

#include <cstdint>
#include <optional>
#include <variant>

#include "runtimeerror.h"

namespace platform {

// A single-line text field. Its text is the only store of the value it holds; the numeric
// reads convert it as it stands, in the locale in force, and remember the outcome until the
// text or the locale changes, so a field read again and again at no change costs no new
// conversion.
class TextBox : public QLineEdit {
    Q_OBJECT

public:
    // `caption` names the field in error messages ("Rmin").
    TextBox(const QString& caption, QWidget* parent = nullptr);

    QString Text() const { return text(); }
    // A text written by the program is shown from its first character (QLineEdit would scroll
    // to its end), so a long number shows its sign and leading digits.
    void setText(const QString& text);
    const QString& caption() const { return caption_; }
    // Counts the changes of the texts of all text boxes: while it stays the same, no text box
    // holds a new text.
    static std::uint64_t changeCount() { return changes_; }

    // The text as a number in the user's locale; raises like platform::textToDouble.
    double readDouble() const;
    // The text as a number rounded half to even to a 16-bit integer; raises TypeMismatch or
    // Overflow.
    std::int16_t readInt16() const;

private:
    template <typename T>
    using Outcome = std::variant<T, RuntimeError>;

    void forget();
    // Forgets the remembered outcomes when they were read in another locale.
    void followLocale() const;

    QString caption_;
    static inline std::uint64_t changes_ = 0;
    mutable QLocale locale_;
    mutable std::optional<Outcome<double>> double_;
    mutable std::optional<Outcome<std::int16_t>> int16_;
};

} // namespace platform
