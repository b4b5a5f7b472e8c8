// K2Svr_VELTA.exe: the tray agent, once per user session.
#include "app/agent_window.h"
#include "app/agent_worker.h"
#include "app/maintenance.h"
#include "tasks/scheduled_task.h"
#include "tray/tray_icon.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::wstring InstanceMutexName() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    wchar_t name[160];
    std::swprintf(name, 160, L"MutexNameGUID%lsOEMID%lsSESSIONID%dAPP%ls", L"7B3E0A5C2D914F68B1C4E29A6F0D83B7", L"6120",
                  static_cast<int>(session), L"PelkoSvr");
    return name;
}

// Shows the installer's balloon for ten seconds, then takes the icon away.
DWORD WINAPI TrayTip(void*) {
    agent::ShowTrayBalloon(1, NIIF_INFO);
    ::Sleep(10000);
    agent::RemoveTrayIcon();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    const std::wstring commandLine = ::GetCommandLineW();
    HWND existing = ::FindWindowW(agent::kWindowClass, agent::kWindowTitle);
    if (agent::DispatchMaintenance(existing, commandLine)) return 1;

    win::Handle instanceMutex(::CreateMutexW(nullptr, FALSE, InstanceMutexName().c_str()));
    if (!instanceMutex) return 0;
    DWORD got = ::WaitForSingleObject(instanceMutex.get(), 100);
    if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) return 0;  // another agent holds it

    static agent::AgentWorker worker;
    HWND window = agent::CreateAgentWindow(instance, &worker);
    if (!window) return 0;

    if (commandLine.find(L"installTrayTip") != std::wstring::npos &&
        agent::CreateTrayIcon(instance, window, agent::kTrayIconResource)) {
        ::CloseHandle(::CreateThread(nullptr, 0, TrayTip, nullptr, 0, nullptr));
    }

    UINT notifyMessage = ::RegisterWindowMessageW(agent::kNotifyMessageName);
    worker.Start(notifyMessage, tasks::OwnProgramPath());

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(window, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    worker.Stop();
    ::ReleaseMutex(instanceMutex.get());
    return static_cast<int>(msg.wParam);
}
