#include "store/agent_link.h"

#include "events/event_names.h"
#include "win/handles.h"

#include <windows.h>

namespace store {

int CheckAndStartAgent(int startIfMissing) {
    if (::FindWindowW(events::kAgentWindowClass, events::kAgentWindowTitle)) return 1;
    if (startIfMissing == 0) return 0;
    static_assert(sizeof events::kAgentProgram <= MAX_PATH, "the start command stays within 260 bytes");
    // WinExec answers values above 31 for a started program.
    return ::WinExec(events::kAgentProgram, SW_HIDE) > 31 ? 1 : 0;
}

bool RequestAgentRefresh() {
    win::Handle event(::OpenEventW(EVENT_ALL_ACCESS, FALSE, events::kAgentRefreshEvent));
    return event && ::SetEvent(event.get()) == 1;
}

}  // namespace store
