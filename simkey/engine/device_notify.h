// What Windows sends when a key is plugged in or pulled out: a
// device-interface broadcast (WM_DEVICECHANGE) whose device name carries the
// maker's USB vendor id.
#pragma once

#include <string>

namespace simkey {

// The device-interface name of a key: "\\?\USB#VID_2E4B&PID_0301#<serial>#{reader interface}".
std::wstring DeviceInterfaceName(const std::string& serial);

// Sends the arrival or removal to every top-level window of the session (as
// the system does for windows that registered for device interfaces); a
// window that does not answer within 2 s is passed over. The number of
// windows it reached.
int BroadcastDeviceChange(bool arrival, const std::string& serial);

}  // namespace simkey
