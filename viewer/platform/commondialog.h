// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace platform {

// The file dialog of the window, used to ask for a name to save under. Filter takes the
// "description|pattern;pattern" form. Cancelling leaves FileName as it was and is no error.
class CommonDialog {
public:
    QString FileName;
    QString Filter;
    QString DialogTitle;

    // Shows the modal save dialog over `parent` and stores the name chosen in FileName.
    void ShowSave(QWidget* parent);

    // Qt's name filter for a "description|patterns" filter string.
    static QString toNameFilter(const QString& filter);

    // Tests answer the dialog instead of a user: the function receives the dialog as it would
    // be shown and returns the chosen name, or an empty string for Cancel. An empty function
    // restores the real dialog.
    using Answerer = std::function<QString(const CommonDialog&)>;
    static void setAnswerer(Answerer answerer);
};

} // namespace platform
