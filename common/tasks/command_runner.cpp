#include "tasks/command_runner.h"

#include "win/handles.h"

#include <string>

namespace tasks {

CommandResult RunCommand(const wchar_t* commandLine, DWORD waitSeconds) {
    if (!commandLine || !*commandLine) return CommandResult::kNotStarted;
    // CreateProcessW may write into the command line it is given.
    std::wstring buffer(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return CommandResult::kNotStarted;
    win::Handle process(info.hProcess), thread(info.hThread);

    // Long waits are capped short of INFINITE rather than overflowing.
    constexpr DWORD kLongestWaitSeconds = (INFINITE - 1) / 1000;
    DWORD waitMs = (waitSeconds > kLongestWaitSeconds ? kLongestWaitSeconds : waitSeconds) * 1000;
    if (::WaitForSingleObject(process.get(), waitMs) != WAIT_OBJECT_0) return CommandResult::kUnfinished;
    DWORD code = STILL_ACTIVE;
    if (!::GetExitCodeProcess(process.get(), &code)) return CommandResult::kUnfinished;
    return code == 0 ? CommandResult::kSucceeded : CommandResult::kFailed;
}

bool RunCommandLine(const wchar_t* commandLine, DWORD waitSeconds) {
    return RunCommand(commandLine, waitSeconds) == CommandResult::kSucceeded;
}

}  // namespace tasks
