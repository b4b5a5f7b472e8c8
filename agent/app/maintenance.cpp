#include "app/maintenance.h"

#include "events/event_names.h"
#include "tasks/scheduled_task.h"
#include "win/handles.h"

namespace agent {
namespace {

bool Has(const std::wstring& line, const wchar_t* word) { return line.find(word) != std::wstring::npos; }

// Kept open when this process made it: it becomes the agent and its worker
// opens the same event.
win::Handle g_clearUnused;

}  // namespace

int DispatchMaintenance(HWND existingAgent, const std::wstring& commandLine) {
    bool agentRuns = existingAgent != nullptr;
    if (Has(commandLine, L"kill")) {
        tasks::DeleteGuardTask();
        if (existingAgent) {
            ::SendMessageW(existingAgent, WM_CLOSE, 0, 0);
            ::Sleep(500);
        }
        agentRuns = true;  // never start as the agent after "kill"
    }
    if (Has(commandLine, L"installRoot")) return agentRuns ? 1 : 0;
    if (Has(commandLine, L"ClearUnuseCert")) {
        win::Handle e(::CreateEventW(nullptr, FALSE, FALSE, events::kAgentClearUnusedEvent));
        if (e && ::GetLastError() == ERROR_ALREADY_EXISTS) ::SetEvent(e.get());  // a running agent clears
        else g_clearUnused = std::move(e);
        return agentRuns ? 1 : 0;
    }
    return agentRuns ? 1 : 0;
}

}  // namespace agent
