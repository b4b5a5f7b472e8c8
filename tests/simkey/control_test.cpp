// The control program and the shared state: what simkey.exe does in its own
// process is what every other process sees.
#include "simkey_control.h"
#include "token_api_binding.h"

#include <string>

using namespace testing_support;

namespace {

class SimKeyProgram : public CleanKeyState {};

// Runs simkey.exe with the arguments; its exit code and what it printed.
int RunSimkey(const std::wstring& arguments, std::string* output = nullptr) {
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
    std::wstring cmd = L"\"" + ProgramDir() + L"simkey.exe\" " + arguments;
    PROCESS_INFORMATION pi{};
    BOOL started = ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(writeEnd);
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (started && ::ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    ::CloseHandle(readEnd);
    if (!started) return -1;
    ::WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    if (output) *output = out;
    return static_cast<int>(code);
}

TEST_F(SimKeyProgram, KeysMadeByTheProgramAreSeenByTheTokenLibraryHere) {
    ASSERT_EQ(RunSimkey(L"create CLI-KEY-0001 --model 6120 --pin 888888 --tries 5 --label \"From CLI\" --plug"), 0);
    SimToken tok;
    std::vector<ULONG> slots = tok.Slots();
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(tok.login(slots[0], 2, "888888", 6), token::kOk);

    std::string shown;
    ASSERT_EQ(RunSimkey(L"show", &shown), 0);
    EXPECT_NE(shown.find("CLI-KEY-0001"), std::string::npos) << shown;
    EXPECT_NE(shown.find("6120"), std::string::npos) << shown;
    EXPECT_NE(shown.find("5/5"), std::string::npos) << shown;
    EXPECT_NE(shown.find("From CLI"), std::string::npos) << shown;
    EXPECT_NE(shown.find("yes"), std::string::npos) << shown;  // logged in by this process

    ASSERT_EQ(RunSimkey(L"unplug CLI-KEY-0001"), 0);
    EXPECT_TRUE(tok.Slots().empty());
    ASSERT_EQ(RunSimkey(L"pinpad pin 888888 change 888888 999999 cancel"), 0);
    EXPECT_EQ(SimKeyOk({{"op", "state"}})["padScript"], json::array({"pin", "pin", "cancel"}));
}

TEST_F(SimKeyProgram, RefusedCommandsSayWhyAndChangeNothing) {
    ASSERT_EQ(RunSimkey(L"create CLI-KEY-0002"), 0);
    struct Case {
        const wchar_t* args;
        const char* says;
    };
    const Case cases[] = {
        {L"create CLI-KEY-0002", "exists"},
        {L"create CLI-KEY-0003 --pin 123", "6 to 20"},
        {L"create CLI-KEY-0003 --tries 16", "1 to 15"},
        {L"create CLI-KEY-00030000000", "longer than 16"},
        {L"create CLI-KEY-0003 --colour red", "unknown option"},
        {L"unplug CLI-KEY-0002", "not plugged"},
        {L"plug CLI-KEY-0009", "no key"},
        {L"pinpad pin", "expected"},
        {L"frobnicate", "unknown command"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(RunSimkey(c.args, &out), 1) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
    EXPECT_EQ(SimKeyOk({{"op", "state"}})["keys"].size(), 1u);
}

}  // namespace
