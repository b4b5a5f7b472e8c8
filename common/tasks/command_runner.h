// Running a system command (the "schtasks" command of the task operations)
// as a hidden process and reading its answer from the exit code.
#pragma once

#include <windows.h>

namespace tasks {

// How a run ended. Callers that only need "did it work" use RunCommandLine;
// the distinction matters where a failed answer is itself information (a
// query that says "no such task" is not the same as one that never answered).
enum class CommandResult {
    kSucceeded,   // ended with exit code 0
    kFailed,      // ended with another exit code
    kUnfinished,  // still running when the wait ended, or its end could not be read
    kNotStarted,  // the process could not be created
};

// Starts the text as a command line (CreateProcessW with no application
// name, so the usual program search applies), hidden and inheriting no
// handles, and waits at most waitSeconds for it to end. A process still
// running is left to finish on its own.
CommandResult RunCommand(const wchar_t* commandLine, DWORD waitSeconds);

// True only when the command ended with exit code 0 within the wait.
bool RunCommandLine(const wchar_t* commandLine, DWORD waitSeconds);

}  // namespace tasks
