#include "device_notify.h"

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <vector>

namespace simkey {
namespace {

// The smart-card reader interface class: the key is such a reader.
constexpr GUID kReaderInterface = {0x50DD5230, 0xBA8A, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

}  // namespace

std::wstring DeviceInterfaceName(const std::string& serial) {
    return L"\\\\?\\USB#VID_2E4B&PID_0301#" + std::wstring(serial.begin(), serial.end()) +
           L"#{50dd5230-ba8a-11d1-bf5d-0000f805f530}";
}

int BroadcastDeviceChange(bool arrival, const std::string& serial) {
    const std::wstring name = DeviceInterfaceName(serial);
    // Only dbcc_size bytes cross the process boundary: the size covers the
    // name and its terminating zero.
    const size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
    std::vector<unsigned char> buffer(size + sizeof(wchar_t), 0);
    auto* b = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
    b->dbcc_size = static_cast<DWORD>(size);
    b->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    b->dbcc_classguid = kReaderInterface;
    name.copy(b->dbcc_name, name.size());

    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    int reached = 0;
    for (HWND w : windows) {
        DWORD_PTR answer = 0;
        if (::SendMessageTimeoutW(w, WM_DEVICECHANGE, arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                  reinterpret_cast<LPARAM>(b), SMTO_ABORTIFHUNG | SMTO_NORMAL, 2000, &answer))
            ++reached;
    }
    return reached;
}

}  // namespace simkey
