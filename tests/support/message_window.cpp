#include "message_window.h"

#include <dbt.h>

namespace testing_support {

MessageWindow::MessageWindow(const std::wstring& title, std::vector<UINT> watched) : watched_(std::move(watched)) {
    thread_ = std::thread([this, title] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = L"UkeyTestMessageWindow";
        ::RegisterClassW(&wc);  // a second window reuses the class
        window_ = ::CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                    nullptr, nullptr, this);
        if (window_) ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ready_ = true;
        MSG msg;
        while (window_ && ::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
        if (window_) ::DestroyWindow(window_);
    });
    while (!ready_) ::Sleep(2);
}

MessageWindow::~MessageWindow() {
    if (window_) ::PostMessageW(window_, WM_QUIT, 0, 0);
    thread_.join();
}

LRESULT CALLBACK MessageWindow::Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<MessageWindow*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
    if (self) {
        bool watched = m == WM_DEVICECHANGE;
        for (UINT x : self->watched_) watched = watched || x == m;
        if (watched) {
            ReceivedMessage r{m, wp, lp};
            if (m == WM_DEVICECHANGE && lp) {
                auto* h = reinterpret_cast<DEV_BROADCAST_HDR*>(lp);
                r.deviceType = h->dbch_devicetype;
                if (h->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
                    r.deviceName = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(lp)->dbcc_name;
            }
            std::lock_guard<std::mutex> l(self->lock_);
            self->received_.push_back(r);
            if (m == WM_DEVICECHANGE) return TRUE;
        }
    }
    return ::DefWindowProcW(w, m, wp, lp);
}

std::vector<ReceivedMessage> MessageWindow::Received() const {
    std::lock_guard<std::mutex> l(lock_);
    return received_;
}

bool MessageWindow::WaitFor(UINT message, size_t count, DWORD timeoutMs) const {
    for (DWORD waited = 0;; waited += 20) {
        size_t n = 0;
        for (const ReceivedMessage& r : Received()) n += r.message == message;
        if (n >= count) return true;
        if (waited >= timeoutMs) return false;
        ::Sleep(20);
    }
}

}  // namespace testing_support
