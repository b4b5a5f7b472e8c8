// Named objects through which the library, the agent and the plug-in meet.
// The side that creates an object is the only one that creates it; the
// others only open it.
#pragma once

#include <windows.h>

#include <string>

namespace events {

// Created by the library for each key event wait; the agent opens and sets
// them after writing a record.
inline constexpr wchar_t kLibraryArrivalEvent[] = L"Global\\TokenEventStatusArrivalDll_VELTA";
inline constexpr wchar_t kLibraryRemovalEvent[] = L"Global\\TokenEventStatusRemoveDll_VELTA";
// Created by the library once per process; the agent sets it at its start,
// when its sequence numbers begin again.
inline constexpr wchar_t kLibraryClearEvent[] = L"Global\\TokenEventStatusClearDll_VELTA";
// Created and set only inside one library process: the process id follows,
// so that a stop never reaches another application's wait.
inline constexpr wchar_t kStopEventPrefix[] = L"TokenEventStopDetectUkeyDll_VELTA";
inline constexpr wchar_t kWaitMutex[] = L"Global\\velta_unified_qvlukey_WaitForKeyEvent";

// Other listeners' events: no deliverable creates them; the agent sets them
// when they exist.
inline constexpr wchar_t kListenerArrivalEvent[] = L"Global\\TokenEventStatusArrival_VELTA";
inline constexpr wchar_t kListenerRemovalEvent[] = L"Global\\TokenEventStatusRemove_VELTA";
inline constexpr wchar_t kListenerClearEvent[] = L"Global\\TokenEventStatusClear_VELTA";

// The agent's: it creates them at its start.
inline constexpr wchar_t kAgentRefreshEvent[] = L"Pelko_EventName_K2Svr_VELTA.exe";
inline constexpr wchar_t kAgentClearUnusedEvent[] = L"Pelko_EventName_ClearUnuseCert__VELTA";
inline constexpr wchar_t kAgentWindowClass[] = L"PelkoSvrClass_VELTA";
inline constexpr wchar_t kAgentWindowTitle[] = L"PelkoSvr001_VELTA";
// Started by bare name: the agent lives in the system directory.
inline constexpr char kAgentProgram[] = "K2Svr_VELTA.exe";

inline std::wstring StopEventName(DWORD processId) {
    return std::wstring(kStopEventPrefix) + L"_" + std::to_wstring(processId);
}

}  // namespace events
