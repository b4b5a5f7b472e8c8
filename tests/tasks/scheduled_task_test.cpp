// The task operations on Vista and later: the schtasks command lines they
// run (read back from the recording schtasks.exe beside the test program),
// how they read its answers, and the guard task's registry check.
#include "schtasks_record.h"
#include "simkey_control.h"
#include "tasks/scheduled_task.h"
#include "win/handles.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

using namespace tasks_testing;
using Commands = std::vector<std::wstring>;

namespace {

constexpr wchar_t kGuardCreate[] =
    L"schtasks /Create /TN \"VELTA_UKEY_GUARD_QVL\" /TR \"'C:\\windows\\SysWow64\\K2Svr_VELTA.exe' "
    L"ClearUnuseCert\" /SC MINUTE /MO 1 /RL HIGHEST /F";
constexpr wchar_t kGuardDelete[] = L"schtasks /Delete /TN \"VELTA_UKEY_GUARD_QVL\" /F ";
constexpr wchar_t kGuardQuery[] = L"schtasks /Query /TN \"VELTA_UKEY_GUARD_QVL\"";

// The guard task's entry in the task cache of the prefix's registry, which
// Wine never writes itself.
class TaskCacheEntry {
public:
    enum State { kAbsent, kPresent, kUnopenable };
    explicit TaskCacheEntry(State state) {
        Remove();
        if (state == kPresent) {
            win::RegKey key;
            EXPECT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, nullptr, 0,
                                        KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
                      ERROR_SUCCESS);
        } else if (state == kUnopenable) {
            MakeUnopenable();
        }
    }
    TaskCacheEntry(const TaskCacheEntry&) = delete;
    TaskCacheEntry& operator=(const TaskCacheEntry&) = delete;
    ~TaskCacheEntry() { Remove(); }

    static std::wstring Path() { return std::wstring(tasks::kTaskCacheTree) + L"\\" + tasks::kGuardTaskName; }

private:
    // A key that exists but cannot be opened: a registry link to itself
    // (opening it fails with ERROR_INVALID_PARAMETER, not "not found").
    static void MakeUnopenable() {
        win::RegKey parent, link;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, tasks::kTaskCacheTree, 0, nullptr, 0,
                                    KEY_WRITE | KEY_WOW64_64KEY, nullptr, parent.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, nullptr,
                                    REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                                    nullptr, link.put(), nullptr),
                  ERROR_SUCCESS);
        std::wstring target = L"\\Registry\\Machine\\" + Path();
        ASSERT_EQ(::RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                                   reinterpret_cast<const BYTE*>(target.c_str()),
                                   static_cast<DWORD>(target.size() * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        win::RegKey probe;
        LSTATUS status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                                         probe.put());
        ASSERT_NE(status, ERROR_SUCCESS);
        ASSERT_NE(status, ERROR_FILE_NOT_FOUND);
    }

    // The key itself, never what a link points to.
    static void Remove() {
        using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
        auto ntDeleteKey =
            reinterpret_cast<NtDeleteKeyFn>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey"));
        win::RegKey key;
        if (ntDeleteKey && ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), REG_OPTION_OPEN_LINK,
                                           DELETE | KEY_WOW64_64KEY, key.put()) == ERROR_SUCCESS)
            ntDeleteKey(key.get());
        win::RegKey gone;
        EXPECT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), REG_OPTION_OPEN_LINK,
                                  KEY_READ | KEY_WOW64_64KEY, gone.put()),
                  ERROR_FILE_NOT_FOUND);
    }
};

class Schtasks : public ::testing::Test {
protected:
    SchedulerPath vista{true};
    TaskCacheEntry noGuardEntry{TaskCacheEntry::kAbsent};
};

TEST(ScheduleText, ModifiersAreClampedPerKind) {
    struct Case {
        int kind, modifier;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, 1, L" /SC MINUTE /MO 1"},      {0, 5000, L" /SC MINUTE /MO 1439"}, {0, 1439, L" /SC MINUTE /MO 1439"},
        {0, 0, L" /SC MINUTE /MO 1"},      {0, -7, L" /SC MINUTE /MO 1"},      {0, INT_MIN, L" /SC MINUTE /MO 1"},
        {0, INT_MAX, L" /SC MINUTE /MO 1439"},
        {1, 5, L" /SC HOURLY /MO 5"},      {1, 24, L" /SC HOURLY /MO 23"},
        {2, 366, L" /SC DAILY /MO 365"},   {3, 53, L" /SC WEEKLY /MO 52"},
        {4, 13, L" /SC MONTHLY /MO 12"},   {4, 0, L" /SC MONTHLY /MO 1"},
        // No modifier: whatever is given leaves no trace.
        {5, 7, L" /SC ONCE /ST 23:59"},    {6, 7, L" /SC ONSTART"},            {7, 0, L" /SC ONLOGON"},
        {8, 30, L" /SC ONIDLE /I 30"},     {8, 1000, L" /SC ONIDLE /I 999"},   {8, 0, L" /SC ONIDLE /I 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " modifier " << c.modifier);
        EXPECT_EQ(tasks::ScheduleText(c.kind, c.modifier), std::wstring(c.text));
    }
    for (int kind : {9, 10, -1, INT_MIN, INT_MAX}) EXPECT_FALSE(tasks::ScheduleText(kind, 1)) << kind;
}

TEST_F(Schtasks, GuardTaskIsCreatedForTheAgentWithItsSchedule) {
    struct Case {
        const char* who;
        std::function<bool()> create;
        std::wstring command;
    };
    auto guardFor = [](const std::wstring& program) {
        return L"schtasks /Create /TN \"VELTA_UKEY_GUARD_QVL\" /TR \"'" + program +
               L"' ClearUnuseCert\" /SC MINUTE /MO 1 /RL HIGHEST /F";
    };
    const Case cases[] = {
        {"library", [] { return tasks::EnsureGuardTask(tasks::InstalledAgentPath(tasks::kSysWow64Folder).c_str(),
                                                       tasks::GuardCheck::kLibrary); },
         kGuardCreate},
        // A 64-bit process does not run under WOW64.
        {"agent repair", [] { return tasks::EnsureGuardTask(tasks::InstalledAgentPath(tasks::AgentSystemFolder()).c_str(),
                                                            tasks::GuardCheck::kAgent); },
         guardFor(L"C:\\windows\\System32\\K2Svr_VELTA.exe")},
        {"agent start", [] { return tasks::CreateGuardTask(tasks::OwnProgramPath().c_str()); },
         guardFor(testing_support::ProgramDir() + L"task_tests.exe")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.who);
        SchtasksStandIn record;
        EXPECT_TRUE(c.create());
        EXPECT_EQ(record.Commands(), Commands{c.command});
    }
}

TEST_F(Schtasks, CreateCommandQuotesNameProgramAndArguments) {
    struct Case {
        const wchar_t* arguments;
        int kind, modifier;
        const wchar_t* command;
    };
    const Case cases[] = {
        {L"one two", 0, 5000,
         L"schtasks /Create /TN \"UKEY test task\" /TR \"'C:\\Program Files\\App\\run.exe' one two\" /SC MINUTE /MO 1439 "
         L"/RL HIGHEST /F"},
        {L"one two", 0, 0,
         L"schtasks /Create /TN \"UKEY test task\" /TR \"'C:\\Program Files\\App\\run.exe' one two\" /SC MINUTE /MO 1 "
         L"/RL HIGHEST /F"},
        // Without arguments the blank after the program stays.
        {nullptr, 5, 3,
         L"schtasks /Create /TN \"UKEY test task\" /TR \"'C:\\Program Files\\App\\run.exe' \" /SC ONCE /ST 23:59 "
         L"/RL HIGHEST /F"},
        {L"", 8, 1000,
         L"schtasks /Create /TN \"UKEY test task\" /TR \"'C:\\Program Files\\App\\run.exe' \" /SC ONIDLE /I 999 "
         L"/RL HIGHEST /F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " modifier " << c.modifier);
        SchtasksStandIn record;
        EXPECT_TRUE(tasks::CreateTask(L"UKEY test task", L"C:\\Program Files\\App\\run.exe", c.arguments, c.kind,
                                      c.modifier));
        EXPECT_EQ(record.Commands(), Commands{c.command});
    }
}

TEST_F(Schtasks, CreateFailsWhenTheCommandFails) {
    SchtasksStandIn schtasks;
    schtasks.Answer(1, L"CREATE");
    EXPECT_FALSE(tasks::CreateGuardTask(L"C:\\windows\\SysWow64\\K2Svr_VELTA.exe"));
    EXPECT_EQ(schtasks.Commands(), Commands{kGuardCreate});
}

TEST_F(Schtasks, RefusedInputRunsNothing) {
    SchtasksStandIn schtasks;
    const wchar_t* program = L"C:\\windows\\SysWow64\\K2Svr_VELTA.exe";
    struct Case {
        const char* what;
        std::function<bool()> call;
    };
    const Case cases[] = {
        {"kind 9", [&] { return tasks::CreateTask(L"T", program, L"a", 9, 1); }},
        {"kind -1", [&] { return tasks::CreateTask(L"T", program, L"a", -1, 1); }},
        {"empty name", [&] { return tasks::CreateTask(L"", program, L"a", 0, 1); }},
        {"no name", [&] { return tasks::CreateTask(nullptr, program, L"a", 0, 1); }},
        {"empty program", [&] { return tasks::CreateTask(L"T", L"", L"a", 0, 1); }},
        {"no program", [&] { return tasks::CreateTask(L"T", nullptr, L"a", 0, 1); }},
        // A double quote would end the quoted part and add switches of its own.
        {"quote in name", [&] { return tasks::CreateTask(L"T\" /RU \"SYSTEM", program, L"a", 0, 1); }},
        {"quote in program", [&] { return tasks::CreateTask(L"T", L"C:\\a.exe' x\" /RU \"SYSTEM", L"a", 0, 1); }},
        {"quote in arguments", [&] { return tasks::CreateTask(L"T", program, L"a\" /RU \"SYSTEM", 0, 1); }},
        {"delete, empty name", [] { return tasks::DeleteTask(L""); }},
        {"delete, no name", [] { return tasks::DeleteTask(nullptr); }},
        {"delete, quote in name", [] { return tasks::DeleteTask(L"T\" /S \"other"); }},
        {"exists, empty name", [] { return tasks::TaskExists(L""); }},
        {"exists, no name", [] { return tasks::TaskExists(nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::SetLastError(0);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(E_INVALIDARG));
    }
    EXPECT_EQ(schtasks.Commands(), Commands{});
}

TEST_F(Schtasks, DeleteThatFailsIsDoneWhenTheQueryFindsNoTask) {
    struct Case {
        int deleteExit, queryExit;
        bool deleted;
        Commands commands;
    };
    const Case cases[] = {
        {0, 0, true, {kGuardDelete}},
        {1, 1, true, {kGuardDelete, kGuardQuery}},  // there was no such task
        {1, 0, false, {kGuardDelete, kGuardQuery}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "delete " << c.deleteExit << " query " << c.queryExit);
        SchtasksStandIn record;
        record.Answer(c.deleteExit, L"DELETE");
        record.Answer(c.queryExit, L"QUERY");
        EXPECT_EQ(tasks::DeleteGuardTask(), c.deleted);
        EXPECT_EQ(record.Commands(), c.commands);
    }
}

// The query is given the operations' 10 seconds: this test takes that long.
TEST_F(Schtasks, DeleteIsNotConfirmedByAQueryThatNeverAnswers) {
    SchtasksStandIn schtasks;
    schtasks.Answer(1, L"DELETE");
    schtasks.Answer(1, L"QUERY");
    schtasks.SleepFor(11000, L"QUERY");
    EXPECT_FALSE(tasks::DeleteGuardTask());
    EXPECT_EQ(schtasks.Commands(), (Commands{kGuardDelete, kGuardQuery}));
}

TEST_F(Schtasks, ExistsIsTheQueryAnswer) {
    for (int exitCode : {0, 1}) {
        SchtasksStandIn record;
        record.Answer(exitCode);
        EXPECT_EQ(tasks::TaskExists(tasks::kGuardTaskName), exitCode == 0);
        EXPECT_EQ(record.Commands(), Commands{kGuardQuery});
    }
}

TEST_F(Schtasks, EnsureGuardTaskCreatesOnlyWhatTheRegistryMisses) {
    struct Case {
        TaskCacheEntry::State entry;
        tasks::GuardCheck check;
        bool registered;
    };
    using tasks::GuardCheck;
    const Case cases[] = {
        {TaskCacheEntry::kAbsent, GuardCheck::kLibrary, false},
        {TaskCacheEntry::kAbsent, GuardCheck::kAgent, false},
        {TaskCacheEntry::kPresent, GuardCheck::kLibrary, true},
        {TaskCacheEntry::kPresent, GuardCheck::kAgent, true},
        // Only the library gives an entry it cannot open the benefit of the doubt.
        {TaskCacheEntry::kUnopenable, GuardCheck::kLibrary, true},
        {TaskCacheEntry::kUnopenable, GuardCheck::kAgent, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "entry " << c.entry << " check " << static_cast<int>(c.check));
        TaskCacheEntry entry(c.entry);
        SchtasksStandIn record;
        record.Answer(1, L"CREATE");  // so that a creation shows in the result too
        EXPECT_EQ(tasks::GuardTaskRegistered(c.check), c.registered);
        EXPECT_EQ(tasks::EnsureGuardTask(L"C:\\windows\\SysWow64\\K2Svr_VELTA.exe", c.check), c.registered);
        EXPECT_EQ(record.Commands(), c.registered ? Commands{} : Commands{kGuardCreate});
    }
}

TEST(VersionCheck, ThisPrefixIsVistaOrLater) {
    // The prefix reports Windows 7 (6.1).
    EXPECT_TRUE(tasks::SystemIsVistaOrLater());
    EXPECT_TRUE(tasks::IsVistaOrLater());
}

}  // namespace
