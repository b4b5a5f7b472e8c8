// The operations on systems before Vista, chosen through the version check:
// real Task Scheduler 1.0 work items in the prefix's Tasks folder (Wine
// implements the COM scheduler). Only deletion still runs schtasks, whose
// answer comes from the recording stand-in.
#include "schtasks_record.h"
#include "tasks/com_owner.h"
#include "tasks/scheduled_task.h"
#include "tasks/task_scheduler_v1.h"

#include <gtest/gtest.h>

#include <mstask.h>

using namespace tasks_testing;
using tasks::Com;
using tasks::ComOut;

namespace {

constexpr wchar_t kTestTask[] = L"UKEY_TASKS_TEST";
constexpr wchar_t kAgent[] = L"C:\\windows\\SysWow64\\K2Svr_VELTA.exe";

struct Job {
    bool found = false;
    std::wstring program, parameters;
    DWORD flags = 0;
    WORD triggers = 0;
    TASK_TRIGGER trigger{};
};

std::wstring TakeText(LPWSTR text) {
    std::wstring out = text ? text : L"";
    ::CoTaskMemFree(text);
    return out;
}

bool OpenScheduler(Com<ITaskScheduler>& scheduler) {
    return SUCCEEDED(::CoCreateInstance(tasks::v1::kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                        tasks::v1::kIidTaskScheduler, ComOut(scheduler)));
}

// The work item as the scheduler reads it back from its file.
Job ReadJob(const wchar_t* name) {
    Job job;
    tasks::ComApartment com;
    Com<ITaskScheduler> scheduler;
    Com<ITask> task;
    if (!OpenScheduler(scheduler) ||
        FAILED(scheduler.get()->Activate(name, tasks::v1::kIidTask, reinterpret_cast<IUnknown**>(task.put()))))
        return job;
    job.found = true;
    LPWSTR text = nullptr;
    if (SUCCEEDED(task.get()->GetApplicationName(&text))) job.program = TakeText(text);
    if (SUCCEEDED(task.get()->GetParameters(&text))) job.parameters = TakeText(text);
    task.get()->GetFlags(&job.flags);
    task.get()->GetTriggerCount(&job.triggers);
    Com<ITaskTrigger> trigger;
    job.trigger.cbTriggerSize = sizeof job.trigger;
    if (job.triggers > 0 && SUCCEEDED(task.get()->GetTrigger(0, trigger.put())))
        trigger.get()->GetTrigger(&job.trigger);
    return job;
}

// What the system's schtasks /Delete does there. Wine may still hold a
// freshly saved job file open for a moment (ERROR_SHARING_VIOLATION).
bool RemoveJob(const wchar_t* name) {
    tasks::ComApartment com;
    Com<ITaskScheduler> scheduler;
    if (!OpenScheduler(scheduler)) return false;
    for (int attempt = 0; attempt < 50; ++attempt) {
        HRESULT hr = scheduler.get()->Delete(name);
        if (SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return true;
        if (hr != HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)) return false;
        ::Sleep(100);
    }
    return false;
}

bool JobFileExists(const wchar_t* name) {
    wchar_t windows[MAX_PATH];
    UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring path = std::wstring(windows, n) + L"\\Tasks\\" + name + L".job";
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class TaskScheduler1 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RemoveJob(tasks::kGuardTaskName));
        ASSERT_TRUE(RemoveJob(kTestTask));
    }
    void TearDown() override {
        EXPECT_TRUE(RemoveJob(tasks::kGuardTaskName));
        EXPECT_TRUE(RemoveJob(kTestTask));
    }
    SchedulerPath older{false};
    SchtasksStandIn schtasks;
};

// The trigger's begin date and start time as one comparable value.
ULONGLONG Minutes(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    return ((((ULONGLONG{year} * 13 + month) * 32 + day) * 24 + hour) * 60) + minute;
}
ULONGLONG Minutes(const SYSTEMTIME& t) { return Minutes(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute); }

TEST_F(TaskScheduler1, GuardTaskBecomesAJobForTheLoggedOnUserThatIsFound) {
    SYSTEMTIME before{}, after{};
    ::GetLocalTime(&before);
    ASSERT_TRUE(tasks::CreateGuardTask(kAgent));
    ::GetLocalTime(&after);
    EXPECT_TRUE(JobFileExists(tasks::kGuardTaskName));
    EXPECT_TRUE(tasks::TaskExists(tasks::kGuardTaskName));

    Job job = ReadJob(tasks::kGuardTaskName);
    ASSERT_TRUE(job.found);
    EXPECT_EQ(job.program, kAgent);
    EXPECT_EQ(job.parameters, L"ClearUnuseCert");
    EXPECT_EQ(job.flags, static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON));
    ASSERT_EQ(job.triggers, 1);
    // Daily from now; a minute schedule gets no repetition here, so before
    // Vista the guard task runs once a day.
    EXPECT_EQ(job.trigger.TriggerType, TASK_TIME_TRIGGER_DAILY);
    EXPECT_EQ(job.trigger.Type.Daily.DaysInterval, 1);
    EXPECT_EQ(job.trigger.MinutesInterval, 0u);
    EXPECT_EQ(job.trigger.MinutesDuration, 0u);
    const TASK_TRIGGER& t = job.trigger;
    ULONGLONG start = Minutes(t.wBeginYear, t.wBeginMonth, t.wBeginDay, t.wStartHour, t.wStartMinute);
    EXPECT_GE(start, Minutes(before));
    EXPECT_LE(start, Minutes(after));

    // A second creation replaces the task.
    ASSERT_TRUE(tasks::CreateTask(tasks::kGuardTaskName, kAgent, L"RepairEnv", 0, 1));
    EXPECT_EQ(ReadJob(tasks::kGuardTaskName).parameters, L"RepairEnv");
    EXPECT_EQ(schtasks.Commands(), std::vector<std::wstring>{});  // no schtasks on this path
}

TEST_F(TaskScheduler1, OnlyTheHourlyKindRepeatsThroughTheDay) {
    struct Case {
        int kind;
        DWORD interval, duration;
    };
    const Case cases[] = {{0, 0, 0}, {1, 60, 1440}, {2, 0, 0}, {8, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_TRUE(tasks::CreateTask(kTestTask, kAgent, nullptr, c.kind, 5));
        Job job = ReadJob(kTestTask);
        ASSERT_TRUE(job.found);
        EXPECT_EQ(job.parameters, L"");
        EXPECT_EQ(job.trigger.TriggerType, TASK_TIME_TRIGGER_DAILY);
        EXPECT_EQ(job.trigger.MinutesInterval, c.interval);
        EXPECT_EQ(job.trigger.MinutesDuration, c.duration);
    }
}

TEST_F(TaskScheduler1, RefusedKindWritesNoJob) {
    ::SetLastError(0);
    EXPECT_FALSE(tasks::CreateTask(kTestTask, kAgent, L"a", 9, 1));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(E_INVALIDARG));
    EXPECT_FALSE(JobFileExists(kTestTask));
}

TEST_F(TaskScheduler1, DeleteThatFailsIsDoneOnlyWhenTheSchedulerNoLongerFindsTheTask) {
    const std::wstring deleteCommand = L"schtasks /Delete /TN \"VELTA_UKEY_GUARD_QVL\" /F ";
    schtasks.Answer(1, L"DELETE");
    ASSERT_TRUE(tasks::CreateGuardTask(kAgent));
    EXPECT_FALSE(tasks::DeleteGuardTask());  // the job is still there

    ASSERT_TRUE(RemoveJob(tasks::kGuardTaskName));
    EXPECT_FALSE(tasks::TaskExists(tasks::kGuardTaskName));
    EXPECT_TRUE(tasks::DeleteGuardTask());
    // The existence test asks the scheduler, not schtasks /Query.
    EXPECT_EQ(schtasks.Commands(), (std::vector<std::wstring>{deleteCommand, deleteCommand}));
}

}  // namespace
