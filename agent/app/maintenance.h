// The agent program's maintenance words, looked for (case-sensitive
// substrings) before it starts as the agent.
#pragma once

#include <windows.h>

#include <string>

namespace agent {

// existingAgent: the agent window of this session, or null. Non-zero: the
// program ends with exit code 1; zero: it goes on to start as the agent.
int DispatchMaintenance(HWND existingAgent, const std::wstring& commandLine);

}  // namespace agent
