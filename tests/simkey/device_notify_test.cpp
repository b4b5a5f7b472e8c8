// Plugging a simulated key in and pulling it out reaches the windows of
// other processes as Windows' device-interface broadcast.
#include "process.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

struct Seen {
    WPARAM what;
    DWORD deviceType;
    std::wstring name;
};

std::mutex g_lock;
std::vector<Seen> g_seen;

LRESULT CALLBACK Receiver(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_DEVICECHANGE && lp) {
        auto* h = reinterpret_cast<DEV_BROADCAST_HDR*>(lp);
        Seen s{wp, h->dbch_devicetype, L""};
        if (h->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
            s.name = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(lp)->dbcc_name;
        std::lock_guard<std::mutex> l(g_lock);
        g_seen.push_back(s);
        return TRUE;
    }
    return ::DefWindowProcW(w, m, wp, lp);
}

// A hidden top-level window on a thread of its own that pumps messages.
class ReceiverWindow {
public:
    ReceiverWindow() {
        thread_ = std::thread([this] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = Receiver;
            wc.lpszClassName = L"UkeyTestDeviceReceiver";
            ::RegisterClassW(&wc);
            window_ = ::CreateWindowExW(0, wc.lpszClassName, L"receiver", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                        nullptr, nullptr, nullptr);
            ready_ = true;
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
        });
        while (!ready_) ::Sleep(5);
    }
    ~ReceiverWindow() {
        ::PostMessageW(window_, WM_QUIT, 0, 0);
        thread_.join();
    }
    bool ok() const { return window_ != nullptr; }

private:
    std::thread thread_;
    std::atomic<bool> ready_{false};
    HWND window_ = nullptr;
};

TEST(DeviceNotify, PlugAndUnplugReachAWindowOfAnotherProcess) {
    ASSERT_TRUE(SimKeyOk({{"op", "reset"}}).value("ok", false));
    ReceiverWindow receiver;
    ASSERT_TRUE(receiver.ok());
    ASSERT_EQ(RunProgram(L"simkey.exe", L"create NOTIFY000000001 --plug"), 0);
    ASSERT_EQ(RunProgram(L"simkey.exe", L"unplug NOTIFY000000001"), 0);
    ASSERT_EQ(RunProgram(L"simkey.exe", L"create NOTIFY000000002"), 0);  // not plugged: nothing sent

    std::lock_guard<std::mutex> l(g_lock);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].what, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(g_seen[1].what, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    for (const Seen& s : g_seen) {
        EXPECT_EQ(s.deviceType, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
        EXPECT_EQ(s.name, L"\\\\?\\USB#VID_2E4B&PID_0301#NOTIFY000000001#{50dd5230-ba8a-11d1-bf5d-0000f805f530}");
    }
}

}  // namespace
