// Start and end, the last result code and the texts of the result codes.
#include "library.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

class Frame : public CleanKeyState {};

constexpr char kPin3[] = "密码认证失败，您还有3次机会。";

TEST_F(Frame, GetErrorMsgAnswersUtf8WithItsOwnLengthRules) {
    const KeyApi& api = Api();
    int len = 0;
    EXPECT_EQ(api.GetErrorMsg(-213, nullptr, &len), 0);
    EXPECT_EQ(len, 200);  // a fixed size for the query

    char buf[200];
    len = sizeof buf;
    ASSERT_EQ(api.GetErrorMsg(-213, buf, &len), 0);
    EXPECT_STREQ(buf, kPin3);
    EXPECT_EQ(len, static_cast<int>(std::strlen(kPin3)) + 1);  // the zero counts

    len = sizeof buf;
    ASSERT_EQ(api.GetErrorMsg(0, buf, &len), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(len, 1);
}

TEST_F(Frame, GetErrorMsgChangesTheLastResultOnlyWhenItFails) {
    const KeyApi& api = Api();
    int len = 0;
    EXPECT_EQ(api.GetPrintNumber(nullptr, &len), -102);  // no key: last result -102
    char buf[200];
    len = sizeof buf;
    ASSERT_EQ(api.GetErrorMsg(-102, buf, &len), 0);
    EXPECT_EQ(api.LastErr(), -102);

    // The text's byte length leaves no room for the zero.
    const int n = static_cast<int>(std::strlen(kPin3));
    std::memset(buf, 'x', sizeof buf);
    len = n;
    EXPECT_EQ(api.GetErrorMsg(-213, buf, &len), -404);
    EXPECT_EQ(len, n + 1);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(api.LastErr(), -404);

    EXPECT_EQ(api.GetErrorMsg(-213, buf, nullptr), -401);
    EXPECT_EQ(api.LastErr(), -401);
}

TEST_F(Frame, GetLastErrCodeWithoutPointerRecordsInvalidParam) {
    const KeyApi& api = Api();
    int len = 0;
    ASSERT_EQ(api.GetVidAndPid(nullptr, &len), 0);
    EXPECT_EQ(api.LastErr(), 0);
    api.GetLastErrCode(nullptr);
    EXPECT_EQ(api.LastErr(), -401);
}

TEST_F(Frame, InitializeTwiceKeepsOneClearEventAndFinalizeClosesIt) {
    const KeyApi& api = Api();
    const wchar_t* name = L"Global\\TokenEventStatusClearDll_VELTA";
    EXPECT_EQ(api.Initialize(), 0);  // no key needed
    EXPECT_EQ(api.Initialize(), 0);
    EXPECT_TRUE(TokenLoaded());  // stays bound until an export frees it
    HANDLE seen = ::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(::WaitForSingleObject(seen, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // created clear
    ::CloseHandle(seen);

    api.Finalize();
    EXPECT_FALSE(TokenLoaded());
    // A second handle from the second Initialize would keep the event alive.
    EXPECT_EQ(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // Finalize does not touch the last result; the library starts again.
    EXPECT_EQ(api.Initialize(), 0);
    api.Finalize();
}

}  // namespace
