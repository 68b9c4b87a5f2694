// SPDX-License-Identifier: MIT
#include "runtimeerror.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>

#include <cstdio>
#include <new>

namespace platform {

const char* kindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::TypeMismatch: return "Type mismatch";
    case ErrorKind::Overflow: return "Overflow";
    case ErrorKind::DivisionByZero: return "Division by zero";
    case ErrorKind::InvalidOperation: return "Invalid floating-point operation";
    case ErrorKind::FloatingPointOverflow: return "Floating-point overflow";
    case ErrorKind::SubscriptOutOfRange: return "Subscript out of range";
    case ErrorKind::OutOfMemory: return "Out of memory";
    case ErrorKind::InvalidPropertyValue: return "Invalid property value";
    case ErrorKind::FileError: return "File error";
    case ErrorKind::BindingError: return "Kernel library not available";
    case ErrorKind::Internal: return "Internal error";
    }
    return "Error";
}

RuntimeError::RuntimeError(ErrorKind kind, const std::string& message)
    : std::runtime_error(message), kind_(kind)
{
}

RuntimeError::RuntimeError(ErrorKind kind, const QString& message)
    : RuntimeError(kind, message.toStdString())
{
}

void raiseError(ErrorKind kind, const QString& message)
{
    throw RuntimeError(kind, message);
}

namespace {

ErrorReporter& customReporter()
{
    static ErrorReporter reporter;
    return reporter;
}

// The window an error box belongs to: the active one, else the program's visible main window.
// The keyboard focus may have left the program by the time a command fails (the pointer moved
// away under a focus-follows-pointer desktop, another program took it); the box still has to
// stay with, and over, the window whose command raised it.
QWidget* errorBoxOwner()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        if (window->isVisible() && window->windowType() == Qt::Window)
            return window;
    return nullptr;
}

void showErrorBox(const RuntimeError& error)
{
    // The title names the error; the desktop adds the program's name to it.
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kindName(error.kind())),
                    QString::fromUtf8(kindName(error.kind())), QMessageBox::Ok, errorBoxOwner());
    box.setObjectName(QStringLiteral("runtimeErrorBox"));
    box.setInformativeText(QString::fromUtf8(error.what()));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void report(const RuntimeError& error) noexcept
{
    try {
        if (customReporter())
            customReporter()(error);
        else if (qobject_cast<QApplication*>(QCoreApplication::instance()))
            showErrorBox(error);
        else
            std::fprintf(stderr, "%s: %s\n", kindName(error.kind()), error.what());
    } catch (...) {
        std::fprintf(stderr, "%s: %s\n", kindName(error.kind()), error.what());
    }
}

} // namespace

void reportError(const RuntimeError& error) noexcept
{
    report(error);
}

void setErrorReporter(ErrorReporter reporter)
{
    customReporter() = std::move(reporter);
}

void endProgram()
{
    throw ProgramEnding{};
}

void reportCurrentException() noexcept
{
    // Building the report may itself fail when memory is exhausted; then a line on standard
    // error is all that can be given.
    try {
        try {
            throw;
        } catch (const ProgramEnding&) {
            QCoreApplication::quit();
        } catch (const RuntimeError& error) {
            report(error);
        } catch (const std::bad_alloc&) {
            report(RuntimeError(ErrorKind::OutOfMemory,
                                std::string("There is not enough memory for this operation.")));
        } catch (const std::exception& e) {
            report(RuntimeError(ErrorKind::Internal, std::string(e.what())));
        } catch (...) {
            report(RuntimeError(ErrorKind::Internal, std::string("An unknown error occurred.")));
        }
    } catch (...) {
        std::fputs("veldtra: an error occurred and could not be reported (out of memory?)\n", stderr);
    }
}

} // namespace platform
