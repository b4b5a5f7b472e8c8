// What the task tests need around the recording schtasks.exe that sits
// beside the test program (tests/helpers/fake_schtasks.cpp): its settings
// for one test and the command lines it was started with.
#pragma once

#include "tasks/scheduled_task.h"

#include <windows.h>

#include <string>
#include <vector>

namespace tasks_testing {

class SchtasksStandIn {
public:
    SchtasksStandIn();  // records into a fresh file; answers 0 to everything
    SchtasksStandIn(const SchtasksStandIn&) = delete;
    SchtasksStandIn& operator=(const SchtasksStandIn&) = delete;
    ~SchtasksStandIn();  // settings cleared, files removed

    // verb: L"CREATE", L"DELETE", L"QUERY"; none: every command.
    void Answer(int exitCode, const wchar_t* verb = nullptr);
    void SleepFor(DWORD ms, const wchar_t* verb = nullptr);
    // Also record the start-up information and whether `probe` was inherited.
    void RecordStartup(HANDLE probe);

    std::vector<std::wstring> Commands() const;
    std::wstring Startup() const;

private:
    void Set(const std::wstring& name, const std::wstring& value);
    std::wstring record_, startup_;
    std::vector<std::wstring> names_;
};

// Chooses the schtasks path (vista true) or the Task Scheduler 1.0 path for
// the length of a test.
class SchedulerPath {
public:
    explicit SchedulerPath(bool vista);
    SchedulerPath(const SchedulerPath&) = delete;
    SchedulerPath& operator=(const SchedulerPath&) = delete;
    ~SchedulerPath();

private:
    tasks::VersionCheck previous_;
};

// The text of a file written as UTF-8.
std::wstring ReadUtf8File(const std::wstring& path);

}  // namespace tasks_testing
