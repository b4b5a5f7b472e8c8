// Plugging a simulated key in and pulling it out reaches the windows of
// other processes as Windows' device-interface broadcast.
#include "message_window.h"
#include "process.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

using namespace testing_support;

namespace {

TEST(DeviceNotify, PlugAndUnplugReachAWindowOfAnotherProcess) {
    ASSERT_TRUE(SimKeyOk({{"op", "reset"}}).value("ok", false));
    MessageWindow receiver(L"receiver");
    ASSERT_NE(receiver.window(), nullptr);
    ASSERT_EQ(RunProgram(L"simkey.exe", L"create NOTIFY000000001 --plug"), 0);
    ASSERT_EQ(RunProgram(L"simkey.exe", L"unplug NOTIFY000000001"), 0);
    ASSERT_EQ(RunProgram(L"simkey.exe", L"create NOTIFY000000002"), 0);  // not plugged: nothing sent

    std::vector<ReceivedMessage> seen = receiver.Received();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].wParam, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
    EXPECT_EQ(seen[1].wParam, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
    for (const ReceivedMessage& s : seen) {
        EXPECT_EQ(s.deviceType, static_cast<DWORD>(DBT_DEVTYP_DEVICEINTERFACE));
        EXPECT_EQ(s.deviceName, L"\\\\?\\USB#VID_2E4B&PID_0301#NOTIFY000000001#{50dd5230-ba8a-11d1-bf5d-0000f805f530}");
    }
}

}  // namespace
