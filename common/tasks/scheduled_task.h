// The scheduled tasks of the product, above all the guard task that starts
// the tray agent with "ClearUnuseCert" every minute so that certificates of
// keys no longer present are cleared even when no agent runs.
//
// On Vista and later the operations drive the system's "schtasks" command
// (started by its bare name and given 10 seconds); before Vista they use the
// Task Scheduler 1.0 COM interfaces. Every failure is only a false result;
// refused input also sets the last error to E_INVALIDARG.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tasks {

inline constexpr wchar_t kGuardTaskName[] = L"VELTA_UKEY_GUARD_QVL";
inline constexpr wchar_t kGuardTaskArgument[] = L"ClearUnuseCert";
inline constexpr int kGuardTaskKind = 0;  // every <modifier> minutes
inline constexpr int kGuardTaskModifier = 1;

// Where the system keeps a registered task's entry (under HKEY_LOCAL_MACHINE,
// 64-bit view), followed by "\" and the task name.
inline constexpr wchar_t kTaskCacheTree[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tree";

// The agent's program file and the folders of the Windows directory it is
// installed in.
inline constexpr wchar_t kAgentProgram[] = L"K2Svr_VELTA.exe";
inline constexpr wchar_t kSysWow64Folder[] = L"SysWow64";
inline constexpr wchar_t kSystem32Folder[] = L"System32";

// How long a task operation waits for one "schtasks" run.
inline constexpr DWORD kCommandWaitSeconds = 10;

// Schedule kinds 0..8: minute, hourly, daily, weekly, monthly (each with a
// modifier clamped to 1..its maximum), once at 23:59, on start, on logon
// (without modifier), on idle (idle minutes clamped to 1..999). The
// schtasks switches for one kind, e.g. " /SC MINUTE /MO 1"; nothing for
// any other kind.
std::optional<std::wstring> ScheduleText(int kind, int modifier);

// Creates (or replaces) a task that runs program with arguments (may be
// null) as the current user, with the highest run level on Vista and later.
bool CreateTask(const wchar_t* name, const wchar_t* program, const wchar_t* arguments, int kind, int modifier);
// Deletes a task; also true when it is confirmed not to exist any more.
bool DeleteTask(const wchar_t* name);
bool TaskExists(const wchar_t* name);

// The guard task for the agent at `program`.
bool CreateGuardTask(const wchar_t* program);
bool DeleteGuardTask();

// Who asks whether the guard task is registered. Both look for its entry in
// the task cache; they differ on an entry that exists but cannot be opened:
// the library counts only "not found" as missing, the agent any failure.
enum class GuardCheck { kLibrary, kAgent };
bool GuardTaskRegistered(GuardCheck check);
// True when the guard task is registered or was created for `program`.
bool EnsureGuardTask(const wchar_t* program, GuardCheck check);

// "<Windows directory>\<folder>\K2Svr_VELTA.exe"; empty when it does not fit
// in MAX_PATH.
std::wstring InstalledAgentPath(const wchar_t* folder);
// The folder the agent names for itself: SysWow64 when it runs under WOW64,
// else System32.
const wchar_t* AgentSystemFolder();
// This process's program file; empty when it does not fit in MAX_PATH.
std::wstring OwnProgramPath();

// Vista and later (6.0 SP0 or more, by VerifyVersionInfoW) selects schtasks.
// Tests put in their own answer to reach either path; null puts the
// system's answer back. Returns the previous check (null: the system's).
using VersionCheck = bool (*)();
VersionCheck SetVersionCheck(VersionCheck check);
bool IsVistaOrLater();
bool SystemIsVistaOrLater();

}  // namespace tasks
