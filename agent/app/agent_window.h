// The agent's hidden top-level window: it receives device-interface, power
// and session notifications and turns them into event codes for the worker.
#pragma once

#include "app/agent_worker.h"

#include <windows.h>

#include <string>

namespace agent {

inline constexpr wchar_t kWindowClass[] = L"PelkoSvrClass_VELTA";
inline constexpr wchar_t kWindowTitle[] = L"PelkoSvr001_VELTA";
inline constexpr wchar_t kNotifyMessageName[] = L"{4E8A2C71-9B3D-4f06-B5E2-8C17E5A9F360}_VELTA";

// Creates the (hidden) window; its notifications go to the worker.
HWND CreateAgentWindow(HINSTANCE instance, AgentWorker* worker);

// Whether a device-interface name belongs to the maker's devices: the USB
// vendor id or the maker's name in a disk's vendor part.
bool IsMakersDevice(const wchar_t* name, size_t maxChars);

}  // namespace agent
