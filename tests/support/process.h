// Starting a program of the build in a process of its own, for tests that
// need a second process.
#pragma once

#include <string>

namespace testing_support {

// Runs bin\<program> with the arguments and waits (at most 60 s); its exit
// code (-1 when it could not start or did not end) and what it printed.
int RunProgram(const std::wstring& program, const std::wstring& arguments, std::string* output = nullptr);

}  // namespace testing_support
