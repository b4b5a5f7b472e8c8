#include "process.h"

#include "simkey_control.h"

#include <algorithm>

namespace testing_support {

ChildProcess StartProgram(const std::wstring& program, const std::wstring& arguments) {
    ChildProcess child;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return child;
    win::Handle read(readEnd), write(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring cmd = L"\"" + ProgramDir() + program + L"\" " + arguments;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return child;
    ::CloseHandle(pi.hThread);
    child.process.reset(pi.hProcess);
    child.output = std::move(read);
    child.pid = pi.dwProcessId;
    return child;
}

void DrainPipe(HANDLE pipe, std::string& out) {
    DWORD available = 0;
    char buf[4096];
    while (::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available) {
        DWORD got = 0;
        if (!::ReadFile(pipe, buf, std::min<DWORD>(available, sizeof buf), &got, nullptr) || !got) break;
        out.append(buf, got);
    }
}

int RunProgram(const std::wstring& program, const std::wstring& arguments, std::string* output) {
    ChildProcess child = StartProgram(program, arguments);
    if (!child) return -1;
    std::string out;
    DWORD code = static_cast<DWORD>(-1);
    bool ended = false;
    for (int waited = 0; waited < 60000 && !ended; waited += 20) {
        DrainPipe(child.output.get(), out);
        ended = ::WaitForSingleObject(child.process.get(), 20) == WAIT_OBJECT_0;
    }
    DrainPipe(child.output.get(), out);
    if (ended) ::GetExitCodeProcess(child.process.get(), &code);
    else ::TerminateProcess(child.process.get(), code);  // it did not end in time: the test fails, nothing lingers
    if (output) *output = out;
    return static_cast<int>(code);
}

}  // namespace testing_support
