#include "tasks/task_scheduler_v1.h"

#include "tasks/com_owner.h"

#include <mstask.h>

namespace tasks::v1 {
namespace {

static_assert(sizeof(TASK_TRIGGER) == 48, "the scheduler checks the trigger's size field");

bool OpenScheduler(Com<ITaskScheduler>& scheduler) {
    return SUCCEEDED(::CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler,
                                        ComOut(scheduler)));
}

HRESULT NewTask(ITaskScheduler* scheduler, const wchar_t* name, Com<ITask>& task) {
    return scheduler->NewWorkItem(name, kClsidTask, kIidTask, reinterpret_cast<IUnknown**>(task.put()));
}

TASK_TRIGGER DailyFromNow(int kind) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    TASK_TRIGGER trigger{};
    trigger.cbTriggerSize = sizeof trigger;
    trigger.wBeginYear = now.wYear;
    trigger.wBeginMonth = now.wMonth;
    trigger.wBeginDay = now.wDay;
    trigger.wStartHour = now.wHour;
    trigger.wStartMinute = now.wMinute;
    trigger.TriggerType = TASK_TIME_TRIGGER_DAILY;
    trigger.Type.Daily.DaysInterval = 1;
    if (kind == 1) {
        trigger.MinutesInterval = 60;
        trigger.MinutesDuration = 1440;
    }
    return trigger;
}

}  // namespace

bool CreateTask(const wchar_t* name, const wchar_t* program, const wchar_t* arguments, int kind) {
    ComApartment com;
    if (!com.usable()) return false;
    Com<ITaskScheduler> scheduler;
    if (!OpenScheduler(scheduler)) return false;
    Com<ITask> task;
    HRESULT hr = NewTask(scheduler.get(), name, task);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) {
        scheduler.get()->Delete(name);  // the second attempt tells whether it went
        hr = NewTask(scheduler.get(), name, task);
    }
    if (FAILED(hr)) return false;

    wchar_t user[512];
    DWORD userLength = static_cast<DWORD>(sizeof user / sizeof user[0]);
    if (!::GetUserNameW(user, &userLength)) return false;
    if (FAILED(task.get()->SetApplicationName(program)) ||
        FAILED(task.get()->SetParameters(arguments ? arguments : L"")) ||
        FAILED(task.get()->SetFlags(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON)) ||
        FAILED(task.get()->SetAccountInformation(user, nullptr)))
        return false;

    WORD index = 0;
    Com<ITaskTrigger> trigger;
    if (FAILED(task.get()->CreateTrigger(&index, trigger.put()))) return false;
    TASK_TRIGGER settings = DailyFromNow(kind);
    if (FAILED(trigger.get()->SetTrigger(&settings))) return false;

    Com<IPersistFile> file;
    if (FAILED(task.get()->QueryInterface(kIidPersistFile, ComOut(file)))) return false;
    return SUCCEEDED(file.get()->Save(nullptr, TRUE));
}

Presence FindTask(const wchar_t* name) {
    ComApartment com;
    if (!com.usable()) return Presence::kUnknown;
    Com<ITaskScheduler> scheduler;
    if (!OpenScheduler(scheduler)) return Presence::kUnknown;
    Com<IUnknown> task;
    HRESULT hr = scheduler.get()->Activate(name, kIidTask, task.put());
    if (SUCCEEDED(hr)) return Presence::kPresent;
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? Presence::kAbsent : Presence::kUnknown;
}

}  // namespace tasks::v1
