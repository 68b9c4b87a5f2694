// SPDX-License-Identifier: MIT
// A request to end the program from outside (the session logging out, `kill`, Ctrl+C in the
// terminal that started it) closes it the way closing its window does, instead of killing it
// at whatever point it had reached.
#pragma once

#include <atomic>

namespace platform {

// From now on SIGTERM, SIGINT and SIGHUP make the application leave its event loops once the
// event procedure that runs, if any, has ended. Call once, after the application exists.
void quitOnTerminationRequest();

namespace detail {
inline std::atomic<bool> terminationRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
} // namespace detail

// Whether a termination request has arrived; it stays set. Cheap enough to ask at every point
// of a long computation, from any thread: work with nothing to save stops on it at once
// (endProgram) rather than after it is done.
inline bool terminationRequested() noexcept
{
    return detail::terminationRequested.load(std::memory_order_relaxed);
}

} // namespace platform
