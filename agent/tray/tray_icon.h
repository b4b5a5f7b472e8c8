// The agent's tray icon: shown only when the installer starts the agent
// with "installTrayTip", for ten seconds. Key events try to show a balloon
// on it; without the icon nothing shows.
#pragma once

#include <windows.h>

namespace agent {

inline constexpr UINT kTrayIconId = 150;
inline constexpr UINT kTrayCallbackMessage = 1126;
inline constexpr UINT kTrayIconResource = 123;

// Shows the icon with the tray title (language text "Tray_Title") as tip.
bool CreateTrayIcon(HINSTANCE instance, HWND window, UINT iconResource);
// Shows the balloon "TrayTip<number>" (two digits) with the given icon
// flags; false when no icon is shown.
bool ShowTrayBalloon(int number, DWORD iconFlags);
void RemoveTrayIcon();
bool TrayIconShown();

}  // namespace agent
