#include "process.h"

#include "simkey_control.h"

#include <windows.h>

#include <algorithm>

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
    if (!started) {
        ::CloseHandle(readEnd);
        return -1;
    }
    // Read while the program runs and until it has ended: a process it left
    // behind holding the pipe must not keep this reader waiting for the end.
    auto drain = [&] {
        DWORD available = 0;
        char buf[4096];
        while (::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available) {
            DWORD got = 0;
            if (!::ReadFile(readEnd, buf, std::min<DWORD>(available, sizeof buf), &got, nullptr) || !got) break;
            out.append(buf, got);
        }
    };
    DWORD code = static_cast<DWORD>(-1);
    bool ended = false;
    for (int waited = 0; waited < 60000 && !ended; waited += 20) {
        drain();
        ended = ::WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0;
    }
    drain();
    if (ended) ::GetExitCodeProcess(pi.hProcess, &code);
    else ::TerminateProcess(pi.hProcess, code);  // it did not end in time: the test fails, nothing lingers
    ::CloseHandle(readEnd);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    if (output) *output = out;
    return static_cast<int>(code);
}

}  // namespace testing_support
