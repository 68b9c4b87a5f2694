// SPDX-License-Identifier: MIT
// Run-time errors end at the boundary of an event procedure: every kind of exception is turned
// into a RuntimeError and handed to the reporter, and none escapes.
#include "platform/runtimeerror.h"
#include "test_support.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace platform {
namespace {

using test::ReporterScope;

TEST(RuntimeErrorKinds, EveryKindHasItsOwnReadableName)
{
    std::set<std::string> names;
    for (int k = static_cast<int>(ErrorKind::TypeMismatch); k <= static_cast<int>(ErrorKind::Internal); ++k) {
        const std::string name = kindName(static_cast<ErrorKind>(k));
        EXPECT_GE(name.size(), 5u) << "kind " << k;
        EXPECT_NE(name, "Error") << "kind " << k << " falls through to the generic name";
        EXPECT_TRUE(names.insert(name).second) << "kind " << k << " shares the name " << name;
    }
    EXPECT_EQ(std::string(kindName(ErrorKind::Overflow)), "Overflow");
    EXPECT_EQ(std::string(kindName(ErrorKind::TypeMismatch)), "Type mismatch");
    EXPECT_EQ(std::string(kindName(ErrorKind::DivisionByZero)), "Division by zero");
}

TEST(RuntimeErrorKinds, RaiseErrorCarriesKindAndMessage)
{
    try {
        raiseError(ErrorKind::SubscriptOutOfRange, QStringLiteral("Index 7 of 5 — \u00e9"));
        FAIL() << "raiseError returned";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.kind(), ErrorKind::SubscriptOutOfRange);
        EXPECT_EQ(QString::fromUtf8(error.what()), QStringLiteral("Index 7 of 5 — \u00e9"));
    }
}

struct ThrowCase {
    const char* name;
    std::function<void()> procedure;
    ErrorKind kind;
    std::string messagePart;
};

class EventProcedureBoundary : public ::testing::TestWithParam<ThrowCase> {};

TEST_P(EventProcedureBoundary, ReportsTheErrorAndLetsNoneEscape)
{
    const ThrowCase& c = GetParam();
    std::vector<std::pair<ErrorKind, std::string>> reports;
    ReporterScope scope([&](const RuntimeError& error) { reports.emplace_back(error.kind(), error.what()); });

    bool endedNormally = false;
    EXPECT_NO_THROW({
        runEventProcedure(c.procedure);
        endedNormally = true;
    });
    EXPECT_TRUE(endedNormally);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, c.kind);
    EXPECT_NE(reports[0].second.find(c.messagePart), std::string::npos) << reports[0].second;
}

struct NotStd {};

INSTANTIATE_TEST_SUITE_P(
    RuntimeErrors, EventProcedureBoundary,
    ::testing::Values(
        ThrowCase{"RuntimeError",
                  [] { raiseError(ErrorKind::Overflow, QStringLiteral("Rmin is too large")); },
                  ErrorKind::Overflow, "Rmin is too large"},
        ThrowCase{"FileError",
                  [] { throw RuntimeError(ErrorKind::FileError, std::string("cannot write x.bmp")); },
                  ErrorKind::FileError, "cannot write x.bmp"},
        ThrowCase{"BadAlloc", [] { throw std::bad_alloc(); }, ErrorKind::OutOfMemory, "memory"},
        ThrowCase{"BadArrayNewLength",
                  [] {
                      volatile long long n = -1;
                      delete[] new int[static_cast<std::size_t>(n)];
                  },
                  ErrorKind::OutOfMemory, "memory"},
        ThrowCase{"StdException", [] { throw std::out_of_range("index 9"); }, ErrorKind::Internal, "index 9"},
        ThrowCase{"NonStdThrow", [] { throw NotStd{}; }, ErrorKind::Internal, ""},
        ThrowCase{"Int", [] { throw 42; }, ErrorKind::Internal, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventProcedureBoundaryRuns, AProcedureThatEndsNormallyReportsNothing)
{
    int reports = 0;
    ReporterScope scope([&](const RuntimeError&) { ++reports; });
    int ran = 0;
    runEventProcedure([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(reports, 0);
}

TEST(EventProcedureBoundaryRuns, AReporterThatThrowsDoesNotEscapeEither)
{
    int calls = 0;
    ReporterScope scope([&](const RuntimeError&) {
        ++calls;
        throw std::runtime_error("reporter failed");
    });
    EXPECT_NO_THROW(runEventProcedure([] { raiseError(ErrorKind::Internal, QStringLiteral("first")); }));
    EXPECT_EQ(calls, 1);
}

// Closes the error box of the default reporter once it is up, and remembers what it showed.
// Should the box not be the active modal widget, it is closed all the same after a while, so
// that a fault fails the test instead of hanging it.
class ErrorBoxCloser {
public:
    ErrorBoxCloser()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }

    QString objectName, text, informativeText;
    QWidget* owner = nullptr;
    bool modal = false;
    int shown = 0;
    bool foundOnlyAmongWindows = false;

private:
    void look()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box && ++ticks_ > 400) {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->isVisible() && qobject_cast<QMessageBox*>(widget))
                    box = static_cast<QMessageBox*>(widget);
            foundOnlyAmongWindows = box != nullptr;
        }
        if (!box)
            return;
        timer_.stop();
        ++shown;
        objectName = box->objectName();
        text = box->text();
        informativeText = box->informativeText();
        modal = box->isModal();
        owner = box->parentWidget();
        box->done(QMessageBox::Ok);
    }

    QTimer timer_;
    int ticks_ = 0;
};

TEST(EventProcedureBoundaryRuns, AnEmptyReporterRestoresTheDefault)
{
    int calls = 0;
    setErrorReporter([&](const RuntimeError&) { ++calls; });
    setErrorReporter({});
    ErrorBoxCloser closer;
    runEventProcedure([] { raiseError(ErrorKind::Internal, QStringLiteral("to the box")); });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(closer.shown, 1);
}

// The default reporter shows a modal error box whose title line is the kind and whose detail
// is the message, and the program goes on once the user closes it.
TEST(DefaultErrorReporter, ShowsAModalBoxWithKindAndMessage)
{
    setErrorReporter({});
    ErrorBoxCloser seen;
    runEventProcedure([] {
        raiseError(ErrorKind::DivisionByZero, QStringLiteral("The zoom divides by a width of 0."));
    });

    EXPECT_EQ(seen.shown, 1);
    EXPECT_FALSE(seen.foundOnlyAmongWindows) << "the box is not the active modal widget";
    EXPECT_EQ(seen.objectName, QStringLiteral("runtimeErrorBox"));
    EXPECT_TRUE(seen.modal);
    EXPECT_TRUE(seen.text.contains(QString::fromUtf8(kindName(ErrorKind::DivisionByZero)))) << seen.text.toStdString();
    EXPECT_TRUE(seen.informativeText.contains(QStringLiteral("The zoom divides by a width of 0.")))
        << seen.informativeText.toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The box belongs to the program's window even when no window of the program is active, as
// when the keyboard focus has gone elsewhere by the time the command fails; else the desktop
// may leave it behind the window, or anywhere on the screen.
TEST(DefaultErrorReporter, BelongsToTheMainWindowWhateverWindowIsActive)
{
    setErrorReporter({});
    QWidget mainWindow;
    mainWindow.show();
    QWidget otherWindow;
    struct Case {
        const char* active;
        QWidget* activate; // nullptr: the other window is shown, made active, and hidden again
        QWidget* owner;
    };
    for (const Case& c : {Case{"none", nullptr, &mainWindow}, Case{"the main window", &mainWindow, &mainWindow},
                          Case{"another window", &otherWindow, &otherWindow}}) {
        SCOPED_TRACE(c.active);
        otherWindow.show();
        QWidget* active = c.activate ? c.activate : &otherWindow;
        active->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == active; }));
        if (!c.activate) {
            otherWindow.hide();
            ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }));
        }
        ErrorBoxCloser seen;
        runEventProcedure([] { raiseError(ErrorKind::BindingError, QStringLiteral("no kernel")); });
        EXPECT_EQ(seen.shown, 1);
        EXPECT_EQ(seen.owner, c.owner);
    }
}

TEST(DefaultErrorReporter, ShowsOutOfMemoryForAFailedAllocation)
{
    setErrorReporter({});
    ErrorBoxCloser seen;
    runEventProcedure([] { throw std::bad_alloc(); });
    EXPECT_EQ(seen.shown, 1);
    EXPECT_EQ(seen.text, QString::fromUtf8(kindName(ErrorKind::OutOfMemory)));
    EXPECT_FALSE(seen.informativeText.isEmpty());
}

} // namespace
} // namespace platform
