// SPDX-License-Identifier: MIT
// Helpers shared by the platform and window tests (target veldtra_test_support): readable
// values in failure messages, a pinned locale, a scoped error reporter, catching the run-time
// error that a call raises, and counting paints.
#pragma once

#include "platform/runtimeerror.h"

#include <QEvent>
#include <QLocale>
#include <QObject>
#include <QWidget>
#include <QString>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

// Readable QStrings and error kinds in assertion messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace platform {

inline void PrintTo(ErrorKind kind, std::ostream* out)
{
    *out << kindName(kind);
}

namespace test {

// Makes `name` the default locale (what QLocale() gives) for the scope, then restores the
// previous one.
class LocaleScope {
public:
    explicit LocaleScope(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~LocaleScope() { QLocale::setDefault(saved_); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

private:
    QLocale saved_;
};

// The run-time error that `call` raises, or nothing when it returns normally. Any other
// exception passes through and fails the test.
template <class Call>
std::optional<RuntimeError> raised(Call&& call)
{
    try {
        call();
    } catch (const RuntimeError& error) {
        return error;
    }
    return std::nullopt;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// Installs a reporter for the scope and restores the default one afterwards.
class ReporterScope {
public:
    explicit ReporterScope(ErrorReporter reporter) { setErrorReporter(std::move(reporter)); }
    ~ReporterScope() { setErrorReporter({}); }
    ReporterScope(const ReporterScope&) = delete;
    ReporterScope& operator=(const ReporterScope&) = delete;
};

} // namespace test
} // namespace platform
