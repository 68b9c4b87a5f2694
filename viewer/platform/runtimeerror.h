// SPDX-License-Identifier: MIT
// Run-time errors of the program and the one place where they end: the boundary of every
// event procedure, which hands them to the unhandled-error handler so that no exception ever
// travels through Qt's event loop.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

class QString;

namespace platform {

enum class ErrorKind {
    TypeMismatch,
    Overflow,
    DivisionByZero,
    InvalidOperation,
    FloatingPointOverflow,
    SubscriptOutOfRange,
    OutOfMemory,
    InvalidPropertyValue,
    FileError,
    BindingError,
    Internal,
};

// The short name of a kind, as shown in the title line of the error box ("Overflow").
const char* kindName(ErrorKind kind);

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(ErrorKind kind, const std::string& message);
    RuntimeError(ErrorKind kind, const QString& message);
    ErrorKind kind() const noexcept { return kind_; }

private:
    ErrorKind kind_;
};

[[noreturn]] void raiseError(ErrorKind kind, const QString& message);

// Thrown to leave the running event procedure because the program is ending (a termination
// request came while it worked on something with nothing to save): the boundary below quits
// the application instead of reporting an error.
struct ProgramEnding {};
[[noreturn]] void endProgram();

// Reports an error that no event procedure handled. The default shows a modal error box;
// tests install their own reporter. Passing an empty function restores the default.
using ErrorReporter = std::function<void(const RuntimeError&)>;
void setErrorReporter(ErrorReporter reporter);

// Reports an error that no event procedure handled. Never throws.
void reportError(const RuntimeError& error) noexcept;

// Translates the exception in flight into a RuntimeError and reports it. Never throws.
void reportCurrentException() noexcept;

// Runs one event procedure to its end; a run-time error ends the procedure, is reported, and
// the program goes on. A ProgramEnding ends the procedure and the application's event loops.
template <class Procedure>
void runEventProcedure(Procedure&& procedure) noexcept
{
    try {
        procedure();
    } catch (...) {
        reportCurrentException();
    }
}

} // namespace platform
