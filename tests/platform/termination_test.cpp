// SPDX-License-Identifier: MIT
// A termination request ends the program through its event loop, after the event procedure
// that was running when it came has finished.
#include "platform/termination.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// In a child: a procedure that receives the signal half-way, then the event loop.
[[noreturn]] void requestTerminationDuringAProcedure(int signal)
{
    platform::quitOnTerminationRequest();
    bool procedureFinished = false;
    QTimer::singleShot(0, qApp, [&] {
        std::raise(signal);
        procedureFinished = true;
    });
    QTimer::singleShot(10000, qApp, [] {
        std::fprintf(stderr, "still running after 10 s\n");
        std::_Exit(3);
    });
    const int status = QApplication::exec();
    std::fprintf(stderr, "left the event loop with %d, procedure %s\n", status,
                 procedureFinished ? "finished" : "cut short");
    std::_Exit(status == 0 && procedureFinished ? 0 : 1);
}

class TerminationRequest : public ::testing::TestWithParam<int> {};

TEST_P(TerminationRequest, LeavesTheEventLoopOnceTheProcedureHasEnded)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(requestTerminationDuringAProcedure(GetParam()), ::testing::ExitedWithCode(0),
                "left the event loop with 0, procedure finished");
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationRequest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             switch (info.param) {
                             case SIGTERM: return std::string("Term");
                             case SIGINT: return std::string("Interrupt");
                             default: return std::string("HangUp");
                             }
                         });

} // namespace
