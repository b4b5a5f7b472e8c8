#include "tasks/scheduled_task.h"

#include "tasks/command_runner.h"
#include "tasks/task_scheduler_v1.h"
#include "win/handles.h"

#include <cwchar>
#include <iterator>

namespace tasks {
namespace {

struct ScheduleKind {
    const wchar_t* text;
    const wchar_t* modifierSwitch;  // null: the kind takes no modifier
    int maximum;
};

constexpr ScheduleKind kScheduleKinds[] = {
    {L" /SC MINUTE", L" /MO ", 1439},
    {L" /SC HOURLY", L" /MO ", 23},
    {L" /SC DAILY", L" /MO ", 365},
    {L" /SC WEEKLY", L" /MO ", 52},
    {L" /SC MONTHLY", L" /MO ", 12},
    {L" /SC ONCE /ST 23:59", nullptr, 0},
    {L" /SC ONSTART", nullptr, 0},
    {L" /SC ONLOGON", nullptr, 0},
    {L" /SC ONIDLE", L" /I ", 999},
};

VersionCheck g_versionCheck = nullptr;

bool Refuse() {
    ::SetLastError(static_cast<DWORD>(E_INVALIDARG));
    return false;
}

// Names, programs and arguments go into the command between double quotes:
// one of their own would end the quoted part early and let the rest be read
// as further switches of the command.
bool Quotable(const wchar_t* text) { return !text || !std::wcschr(text, L'"'); }
bool Given(const wchar_t* text) { return text && *text; }

std::wstring CreateCommand(const wchar_t* name, const wchar_t* program, const wchar_t* arguments,
                           const std::wstring& schedule) {
    std::wstring command = L"schtasks /Create /TN \"";
    command += name;
    command += L"\" /TR \"'";
    command += program;
    command += L"' ";
    if (arguments) command += arguments;
    command += L"\"";
    command += schedule;
    command += L" /RL HIGHEST";
    command += L" /F";
    return command;
}

std::wstring DeleteCommand(const wchar_t* name) {
    return std::wstring(L"schtasks /Delete /TN \"") + name + L"\" /F ";
}

std::wstring QueryCommand(const wchar_t* name) {
    return std::wstring(L"schtasks /Query /TN \"") + name + L"\"";
}

v1::Presence FindTask(const wchar_t* name) {
    if (!IsVistaOrLater()) return v1::FindTask(name);
    switch (RunCommand(QueryCommand(name).c_str(), kCommandWaitSeconds)) {
        case CommandResult::kSucceeded: return v1::Presence::kPresent;
        case CommandResult::kFailed: return v1::Presence::kAbsent;
        default: return v1::Presence::kUnknown;
    }
}

}  // namespace

std::optional<std::wstring> ScheduleText(int kind, int modifier) {
    if (kind < 0 || kind >= static_cast<int>(std::size(kScheduleKinds))) return std::nullopt;
    const ScheduleKind& k = kScheduleKinds[kind];
    std::wstring text = k.text;
    if (k.modifierSwitch) {
        int clamped = modifier < 1 ? 1 : modifier > k.maximum ? k.maximum : modifier;
        text += k.modifierSwitch;
        text += std::to_wstring(clamped);
    }
    return text;
}

bool CreateTask(const wchar_t* name, const wchar_t* program, const wchar_t* arguments, int kind, int modifier) {
    if (!Given(name) || !Given(program) || !Quotable(name) || !Quotable(program) || !Quotable(arguments))
        return Refuse();
    std::optional<std::wstring> schedule = ScheduleText(kind, modifier);
    if (!schedule) return Refuse();
    if (!IsVistaOrLater()) return v1::CreateTask(name, program, arguments, kind);
    return RunCommandLine(CreateCommand(name, program, arguments, *schedule).c_str(), kCommandWaitSeconds);
}

bool DeleteTask(const wchar_t* name) {
    if (!Given(name) || !Quotable(name)) return Refuse();
    if (RunCommandLine(DeleteCommand(name).c_str(), kCommandWaitSeconds)) return true;
    // A query that did not answer proves nothing: the task may still be there.
    return FindTask(name) == v1::Presence::kAbsent;
}

bool TaskExists(const wchar_t* name) {
    if (!Given(name) || !Quotable(name)) return Refuse();
    return FindTask(name) == v1::Presence::kPresent;
}

bool CreateGuardTask(const wchar_t* program) {
    return CreateTask(kGuardTaskName, program, kGuardTaskArgument, kGuardTaskKind, kGuardTaskModifier);
}

bool DeleteGuardTask() { return DeleteTask(kGuardTaskName); }

bool GuardTaskRegistered(GuardCheck check) {
    std::wstring path = std::wstring(kTaskCacheTree) + L"\\" + kGuardTaskName;
    win::RegKey key;
    LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put());
    if (status == ERROR_SUCCESS) return true;
    return check == GuardCheck::kLibrary && status != ERROR_FILE_NOT_FOUND;
}

bool EnsureGuardTask(const wchar_t* program, GuardCheck check) {
    return GuardTaskRegistered(check) || CreateGuardTask(program);
}

std::wstring InstalledAgentPath(const wchar_t* folder) {
    wchar_t windows[MAX_PATH];
    UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path = std::wstring(windows, n) + L"\\" + folder + L"\\" + kAgentProgram;
    return path.size() < MAX_PATH ? path : std::wstring();
}

const wchar_t* AgentSystemFolder() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64 ? kSysWow64Folder : kSystem32Folder;
}

std::wstring OwnProgramPath() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(path, n);
}

VersionCheck SetVersionCheck(VersionCheck check) {
    VersionCheck previous = g_versionCheck;
    g_versionCheck = check;
    return previous;
}

bool IsVistaOrLater() { return g_versionCheck ? g_versionCheck() : SystemIsVistaOrLater(); }

bool SystemIsVistaOrLater() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 6;
    version.dwMinorVersion = 0;
    version.wServicePackMajor = 0;
    DWORDLONG conditions = 0;
    conditions = ::VerSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = ::VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = ::VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, conditions);
}

}  // namespace tasks
