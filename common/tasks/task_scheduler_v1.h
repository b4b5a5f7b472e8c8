// Task Scheduler 1.0 (systems before Vista): tasks as work items of the COM
// task scheduler, kept as .job files in the Windows "Tasks" folder. COM is
// initialised and uninitialised within every call.
#pragma once

#include <windows.h>

namespace tasks::v1 {

inline constexpr CLSID kClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
inline constexpr IID kIidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
inline constexpr CLSID kClsidTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
inline constexpr IID kIidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
inline constexpr IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// A new task (replacing one of that name) running program with arguments
// (may be null) for the current user while logged on: one daily trigger
// from now, repeated hourly through the day only for schedule kind 1.
// Inputs are checked by the caller.
bool CreateTask(const wchar_t* name, const wchar_t* program, const wchar_t* arguments, int kind);

enum class Presence { kPresent, kAbsent, kUnknown };
// kAbsent only when the scheduler answered that the task does not exist;
// kUnknown when the scheduler could not be reached.
Presence FindTask(const wchar_t* name);

}  // namespace tasks::v1
