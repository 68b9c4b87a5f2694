// SPDX-License-Identifier: MIT
// The event pump of the user interface thread.
#pragma once

namespace platform {

// Lets the user interface process every pending event before it returns.
void DoEvents();

} // namespace platform
