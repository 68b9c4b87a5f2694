// SPDX-License-Identifier: MIT
#include "textbox.h"

#include "conversions.h"

#include <QPixmap>

namespace platform {
namespace {

template <typename T, typename Convert>
T remembered(std::optional<std::variant<T, RuntimeError>>& memory, Convert convert)
{
    if (!memory) {
        try {
            memory.emplace(std::in_place_index<0>, convert());
        } catch (const RuntimeError& error) {
            memory.emplace(std::in_place_index<1>, error);
        }
    }
    if (memory->index() == 1)
        throw std::get<1>(*memory);
    return std::get<0>(*memory);
}

} // namespace

TextBox::TextBox(const QString& caption, QWidget* parent) : QLineEdit(parent), caption_(caption)
{
    connect(this, &QLineEdit::textChanged, this, [this] { forget(); });
}

void TextBox::setText(const QString& text)
{
    QLineEdit::setText(text);
    setCursorPosition(0);
    // QLineEdit works out its scroll while it paints, and from a scroll that a longer text left
    // behind it first lines a new text up at the right, reaching the cursor only at the next
    // paint. One paint into scratch space settles the scroll before the box shows on screen.
    if (!size().isEmpty()) {
        QPixmap scratch(size());
        render(&scratch);
    }
}

void TextBox::forget()
{
    ++changes_;
    double_.reset();
    int16_.reset();
}

void TextBox::followLocale() const
{
    const QLocale now;
    if (now != locale_) {
        double_.reset();
        int16_.reset();
        locale_ = now;
    }
}

double TextBox::readDouble() const
{
    followLocale();
    return remembered(double_, [this] { return textToDouble(text(), caption_); });
}

std::int16_t TextBox::readInt16() const
{
    followLocale();
    return remembered(int16_, [this] { return toInt16(readDouble(), caption_); });
}

} // namespace platform
