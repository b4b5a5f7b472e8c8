#include "app/agent_window.h"

#include "app/event_codes.h"
#include "tray/tray_icon.h"

#include <dbt.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <cwctype>

namespace agent {
namespace {

constexpr GUID kInterfaceClasses[] = {
    {0x50DD5230, 0xBA8A, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}},  // smart-card readers
    {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}},  // HID
    {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}},  // CD-ROM
};
constexpr size_t kNameRoom = 260;

// Terminal-services functions, present from Windows XP; missing ones are
// skipped.
struct SessionApi {
    HMODULE wtsapi = nullptr;
    BOOL(WINAPI* registerNotification)(HWND, DWORD) = nullptr;
    BOOL(WINAPI* unregisterNotification)(HWND) = nullptr;
    DWORD(WINAPI* activeConsoleSession)() = nullptr;
    DWORD ownSession = 0;
};

struct WindowState {
    AgentWorker* worker = nullptr;
    HDEVNOTIFY device[3] = {};
    SessionApi session;
};
WindowState g_window;

bool XpOrLater() {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&v)) return true;
#pragma GCC diagnostic pop
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && (v.dwMajorVersion > 5 || (v.dwMajorVersion == 5 && v.dwMinorVersion >= 1));
}

// Windows 2000 before service pack 4 announces key changes only as device
// node changes.
bool Windows2000BeforeSp4() {
    OSVERSIONINFOEXW v{};
    v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v))) return false;
#pragma GCC diagnostic pop
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion == 5 && v.dwMinorVersion == 0 &&
           v.wServicePackMajor < 4;
}

void RegisterNotifications(HWND w) {
    for (size_t i = 0; i < 3; ++i) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kInterfaceClasses[i];
        g_window.device[i] = ::RegisterDeviceNotificationW(w, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    if (!XpOrLater()) return;
    SessionApi& s = g_window.session;
    s.wtsapi = ::LoadLibraryExW(L"Wtsapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!s.wtsapi) s.wtsapi = ::LoadLibraryW(L"Wtsapi32.dll");
    if (s.wtsapi) {
        s.registerNotification = reinterpret_cast<decltype(s.registerNotification)>(
            ::GetProcAddress(s.wtsapi, "WTSRegisterSessionNotification"));
        s.unregisterNotification = reinterpret_cast<decltype(s.unregisterNotification)>(
            ::GetProcAddress(s.wtsapi, "WTSUnRegisterSessionNotification"));
    }
    s.activeConsoleSession = reinterpret_cast<decltype(s.activeConsoleSession)>(
        ::GetProcAddress(::GetModuleHandleW(L"Kernel32.dll"), "WTSGetActiveConsoleSessionId"));
    if (s.registerNotification) s.registerNotification(w, NOTIFY_FOR_ALL_SESSIONS);
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &s.ownSession);
}

void UnregisterNotifications(HWND w) {
    for (HDEVNOTIFY& d : g_window.device) {
        if (d) ::UnregisterDeviceNotification(d);
        d = nullptr;
    }
    SessionApi& s = g_window.session;
    if (s.unregisterNotification) s.unregisterNotification(w);
    if (s.wtsapi) ::FreeLibrary(s.wtsapi);
    s = SessionApi{};
}

// Device changes count only in the session that has the console (always
// when the system cannot tell).
bool ConsoleIsOurs() {
    const SessionApi& s = g_window.session;
    if (!s.activeConsoleSession) return true;
    DWORD active = s.activeConsoleSession();
    return active == 0xFFFFFFFF || active == s.ownSession;
}

void OnDeviceChange(WPARAM wp, LPARAM lp) {
    if (!ConsoleIsOurs()) return;
    if ((wp == DBT_DEVICEARRIVAL || wp == DBT_DEVICEREMOVECOMPLETE) && lp) {
        auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lp);
        if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return;
        auto* b = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lp);
        // Read no further than the broadcast's own size says.
        size_t chars = header->dbch_size > offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)
                           ? (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t)
                           : 0;
        if (!IsMakersDevice(b->dbcc_name, chars)) return;
        g_window.worker->Post(static_cast<uint32_t>(wp));
        ShowTrayBalloon(wp == DBT_DEVICEARRIVAL ? 1 : 2, NIIF_INFO);
    } else if (wp == DBT_DEVNODES_CHANGED && Windows2000BeforeSp4()) {
        g_window.worker->Post(kCodeNodesChanged);
        ShowTrayBalloon(2, NIIF_INFO);
    }
}

LRESULT CALLBACK WindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_CREATE:
        RegisterNotifications(w);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        ::BeginPaint(w, &ps);
        ::EndPaint(w, &ps);
        return 0;
    }
    case WM_CLOSE:
        UnregisterNotifications(w);
        ::DestroyWindow(w);
        return 0;
    case WM_POWERBROADCAST:
        if (wp == PBT_APMRESUMECRITICAL || wp == PBT_APMRESUMEAUTOMATIC) g_window.worker->Post(kCodeResume);
        return TRUE;
    case WM_DEVICECHANGE:
        OnDeviceChange(wp, lp);
        return 0;
    case WM_WTSSESSION_CHANGE:
        if (wp == WTS_CONSOLE_CONNECT || wp == WTS_REMOTE_CONNECT || wp == WTS_SESSION_LOGON)
            g_window.worker->Post(kCodeSessionConnect);
        return 0;
    case kTrayCallbackMessage:
        return 0;
    default:
        return ::DefWindowProcW(w, m, wp, lp);
    }
}

}  // namespace

bool IsMakersDevice(const wchar_t* name, size_t maxChars) {
    if (!name) return false;
    wchar_t lower[kNameRoom];
    size_t n = 0;
    // Longer names are cut to the room; the vendor part comes first.
    while (n < maxChars && n < kNameRoom - 1 && name[n]) {
        lower[n] = static_cast<wchar_t>(std::towlower(name[n]));
        ++n;
    }
    lower[n] = L'\0';
    return wcsstr(lower, L"_2e4b") || wcsstr(lower, L"_quorvell");
}

HWND CreateAgentWindow(HINSTANCE instance, AgentWorker* worker) {
    g_window.worker = worker;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExW(&wc);
    HWND w = ::CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
    if (!w) return nullptr;
    ::ShowWindow(w, SW_HIDE);
    ::UpdateWindow(w);
    return w;
}

}  // namespace agent
