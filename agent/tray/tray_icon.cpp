#include "tray/tray_icon.h"

#include "lang/language_texts.h"

#include <shellapi.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace agent {
namespace {

// The whole record of the Vista shell (with the balloon icon): 956 bytes in
// the shipped 32-bit agent.
constexpr DWORD kRecordSize = sizeof(NOTIFYICONDATAW);
#if !defined(_WIN64)
static_assert(sizeof(NOTIFYICONDATAW) == 956);
#endif

struct Tray {
    std::mutex lock;  // the window thread and the tray-tip thread both use it
    NOTIFYICONDATAW data{};
    bool shown = false;
    std::wstring balloonTitle;
};

Tray& TheTray() {
    static Tray t;
    return t;
}

void CopyText(wchar_t* into, size_t room, const std::wstring& text) {
    size_t n = text.size() < room ? text.size() : room - 1;
    text.copy(into, n);
    into[n] = L'\0';
}

// Adds, modifies or deletes the icon. icon null: delete (when shown).
bool SetIcon(Tray& t, HICON icon, HWND window, const std::wstring* tip) {
    DWORD request = NIM_DELETE;
    t.data.cbSize = kRecordSize;
    t.data.uID = kTrayIconId;
    t.data.uFlags = 0;
    if (icon) {
        t.data.hIcon = icon;
        t.data.uFlags |= NIF_ICON;
        request = t.shown ? NIM_MODIFY : NIM_ADD;
    } else if (!t.shown) {
        return true;
    }
    if (window) t.data.hWnd = window;
    if (tip) CopyText(t.data.szTip, sizeof t.data.szTip / sizeof(wchar_t), *tip);
    if (t.data.szTip[0]) t.data.uFlags |= NIF_TIP;
    t.data.uCallbackMessage = kTrayCallbackMessage;
    if (t.data.hWnd) t.data.uFlags |= NIF_MESSAGE;
    bool ok = ::Shell_NotifyIconW(request, &t.data) != FALSE;
    t.shown = ok && request != NIM_DELETE;
    return ok;
}

}  // namespace

bool CreateTrayIcon(HINSTANCE instance, HWND window, UINT iconResource) {
    Tray& t = TheTray();
    std::lock_guard<std::mutex> l(t.lock);
    t.balloonTitle = lang::ReadLanguageText(lang::TrayLanguage(), L"Tray_Title");
    HICON icon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(iconResource), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    if (!icon) return false;
    bool ok = SetIcon(t, icon, window, &t.balloonTitle);
    ::DestroyIcon(icon);  // the shell keeps its own copy
    t.data.hIcon = nullptr;
    return ok;
}

bool ShowTrayBalloon(int number, DWORD iconFlags) {
    Tray& t = TheTray();
    wchar_t key[16];
    std::swprintf(key, 16, L"TrayTip%02d", number);
    const std::wstring text = lang::ReadLanguageText(lang::TrayLanguage(), key);
    std::lock_guard<std::mutex> l(t.lock);
    t.data.cbSize = kRecordSize;
    t.data.uFlags = NIF_INFO;
    CopyText(t.data.szInfo, sizeof t.data.szInfo / sizeof(wchar_t), text);
    CopyText(t.data.szInfoTitle, sizeof t.data.szInfoTitle / sizeof(wchar_t), t.balloonTitle);
    t.data.uTimeout = 10000;
    t.data.dwInfoFlags = iconFlags;
    // Without an icon the shell refuses the request: no balloon.
    return t.shown && ::Shell_NotifyIconW(NIM_MODIFY, &t.data) != FALSE;
}

void RemoveTrayIcon() {
    Tray& t = TheTray();
    std::lock_guard<std::mutex> l(t.lock);
    SetIcon(t, nullptr, nullptr, nullptr);
    t.shown = false;
}

bool TrayIconShown() {
    Tray& t = TheTray();
    std::lock_guard<std::mutex> l(t.lock);
    return t.shown;
}

}  // namespace agent
