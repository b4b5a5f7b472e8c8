// schtasks.exe stand-in: Wine's own schtasks cannot create a task with /TR
// and answers nothing to /Query, so the task tests put this program beside
// the test program, where a bare "schtasks ..." command line finds it first.
// It records how it was started and answers with the exit code a test asks
// for. Settings come from the environment (the runner passes its own on):
//   UKEY_SCHTASKS_RECORD     file to which the full command line is appended
//                            as one UTF-8 line (none: nothing is recorded)
//   UKEY_SCHTASKS_EXIT       exit code (default 0)
//   UKEY_SCHTASKS_SLEEP_MS   sleep after recording, before exiting
//   UKEY_SCHTASKS_STARTUP    file that gets one line "<show flag> <show> <inherited>":
//                            whether STARTF_USESHOWWINDOW was set, the show
//                            command, and whether the handle named by
//   UKEY_SCHTASKS_PROBE_HANDLE  (a decimal value) is open in this process
// EXIT and SLEEP_MS may carry the command's verb: UKEY_SCHTASKS_EXIT_DELETE
// applies to "schtasks /Delete ..." and wins over UKEY_SCHTASKS_EXIT.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

std::wstring Env(const std::wstring& name) {
    wchar_t value[1024];
    DWORD n = ::GetEnvironmentVariableW(name.c_str(), value, 1024);
    return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// "CREATE" for "schtasks /Create /TN ...": the first switch after the program.
std::wstring Verb(const wchar_t* line) {
    const wchar_t* p = line;
    if (*p == L'"') {
        p = std::wcschr(p + 1, L'"');
        p = p ? p + 1 : line + std::wcslen(line);
    }
    while (*p && *p != L' ') ++p;
    while (*p == L' ') ++p;
    std::wstring verb;
    if (*p == L'/')
        for (++p; *p && *p != L' '; ++p) verb += static_cast<wchar_t>(std::towupper(*p));
    return verb;
}

std::wstring Setting(const std::wstring& name, const std::wstring& verb) {
    std::wstring value = verb.empty() ? std::wstring() : Env(name + L"_" + verb);
    return value.empty() ? Env(name) : value;
}

void Append(const std::wstring& file, const std::wstring& line) {
    if (file.empty()) return;
    HANDLE h = ::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::wstring text = line + L"\n";
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes : 0, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                          nullptr);
    DWORD written = 0;
    ::WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::wstring StartupLine() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    std::wstring probe = Env(L"UKEY_SCHTASKS_PROBE_HANDLE");
    DWORD flags = 0;
    bool inherited = !probe.empty() &&
                     ::GetHandleInformation(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::wcstoull(
                                                probe.c_str(), nullptr, 10))),
                                            &flags);
    wchar_t line[64];
    std::swprintf(line, 64, L"%d %u %d", (startup.dwFlags & STARTF_USESHOWWINDOW) ? 1 : 0,
                  static_cast<unsigned>(startup.wShowWindow), inherited ? 1 : 0);
    return line;
}

}  // namespace

int main() {
    const wchar_t* line = ::GetCommandLineW();
    std::wstring verb = Verb(line);
    Append(Env(L"UKEY_SCHTASKS_RECORD"), line);
    Append(Env(L"UKEY_SCHTASKS_STARTUP"), StartupLine());
    std::wstring sleep = Setting(L"UKEY_SCHTASKS_SLEEP_MS", verb);
    if (!sleep.empty()) ::Sleep(static_cast<DWORD>(std::wcstoul(sleep.c_str(), nullptr, 10)));
    std::wstring code = Setting(L"UKEY_SCHTASKS_EXIT", verb);
    return code.empty() ? 0 : static_cast<int>(std::wcstol(code.c_str(), nullptr, 10));
}
