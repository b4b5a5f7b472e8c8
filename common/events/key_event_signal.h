// The agent's side of a key event, after its record is in the shared block:
// wake the waiting applications.
#pragma once

#include <cstdint>

namespace events {

// The event type WaitForKeyEvent answers.
enum class KeyEvent : uint32_t { Stopped = 0, Arrival = 1, Removal = 2 };

// Opens and sets the other listeners' event, then the library's, for the
// kind; one that does not exist (nobody waits) is skipped. How many were set.
int SignalKeyEvent(KeyEvent kind);

}  // namespace events
