// Starting a program of the build in a process of its own, for tests that
// need a second process.
#pragma once

#include "win/handles.h"

#include <windows.h>

#include <string>

namespace testing_support {

// A started program: its process and the read end of its output (stdout
// and stderr together).
struct ChildProcess {
    win::Handle process;
    win::Handle output;
    DWORD pid = 0;
    explicit operator bool() const { return static_cast<bool>(process); }
};

// Starts bin\<program> with the arguments.
ChildProcess StartProgram(const std::wstring& program, const std::wstring& arguments);

// Appends what waits in the pipe, without blocking: a process the program
// left behind may hold the pipe open long after the program has ended.
void DrainPipe(HANDLE pipe, std::string& out);

// Runs bin\<program> with the arguments and waits (at most 60 s; a program
// that does not end is ended); its exit code (-1 when it could not start or
// did not end) and what it printed.
int RunProgram(const std::wstring& program, const std::wstring& arguments, std::string* output = nullptr);

}  // namespace testing_support
