// A hidden top-level window on a thread of its own that pumps messages and
// records what it receives, for tests that watch what other processes send.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct ReceivedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD deviceType = 0;     // WM_DEVICECHANGE: the broadcast's device type
    std::wstring deviceName;  // WM_DEVICECHANGE of a device interface: its name
};

class MessageWindow {
public:
    // Records WM_DEVICECHANGE and the messages listed.
    MessageWindow(const std::wstring& title, std::vector<UINT> watched = {});
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    ~MessageWindow();

    HWND window() const { return window_; }
    std::vector<ReceivedMessage> Received() const;
    // Waits up to timeoutMs for `count` recorded messages of the kind.
    bool WaitFor(UINT message, size_t count, DWORD timeoutMs) const;

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp);
    std::thread thread_;
    std::atomic<bool> ready_{false};
    HWND window_ = nullptr;
    std::vector<UINT> watched_;
    mutable std::mutex lock_;
    std::vector<ReceivedMessage> received_;
};

}  // namespace testing_support
