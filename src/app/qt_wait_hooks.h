#pragma once

#include "bus/wait_hooks.h"

namespace kestrel {

// The millisecond wait on Qt's event loop: sleeps until window input arrives
// or the time runs out, and handles pending events, so the windows stay
// responsive while the bus is held.
WaitHooks qtWaitHooks();

}  // namespace kestrel
