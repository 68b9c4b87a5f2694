// SPDX-License-Identifier: MIT
// A request to end the program from outside (the session logging out, `kill`, Ctrl+C in the
// terminal that started it) closes it the way closing its window does, instead of killing it
// at whatever point it had reached.
#pragma once

namespace platform {

// From now on SIGTERM, SIGINT and SIGHUP make the application leave its event loops once the
// event procedure that runs, if any, has ended. Call once, after the application exists.
void quitOnTerminationRequest();

} // namespace platform
