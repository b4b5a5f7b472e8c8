#include "process.h"

#include "simkey_control.h"

#include <windows.h>

namespace testing_support {

int RunProgram(const std::wstring& program, const std::wstring& arguments, std::string* output) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return -1;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring cmd = L"\"" + ProgramDir() + program + L"\" " + arguments;
    PROCESS_INFORMATION pi{};
    BOOL started = ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(writeEnd);
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (started && ::ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    ::CloseHandle(readEnd);
    if (!started) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    if (output) *output = out;
    return static_cast<int>(code);
}

}  // namespace testing_support
