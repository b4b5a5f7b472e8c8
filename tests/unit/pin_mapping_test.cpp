// The mappings from the token library's statuses to result codes.
#include "api/result_codes.h"
#include "config/bank.h"
#include "session/pin.h"

#include <gtest/gtest.h>

namespace {

TEST(PinMapping, LoginStatuses) {
    struct Case {
        uint32_t status;
        bool on6156;
        int32_t result;
    };
    const Case cases[] = {
        {0, false, 0},
        {static_cast<uint32_t>(-100), false, -100},
        {0xE011000F, false, -105},
        {0xE011000F, true, -924},
        {0xE0110020, false, -925},
        {0xE0110010, false, -221},
        {0xE0110011, false, -211},
        {0xE0110013, false, -213},
        {0xE0110019, false, -219},
        {0xE011001A, false, -220},  // ten tries left: a code without a text of its own
        {0xE011001B, false, -221},  // eleven: the locked code
        {0xE011001C, false, -222},  // twelve: the PIN-length code
        {0xE011001E, false, -224},
        {0xE011001F, false, -300},
        {0xE011FFFF, false, -300},  // no PIN dialog
        {0xE0110004, false, -300},
        {12345, false, -300},
    };
    for (const Case& c : cases) EXPECT_EQ(session::LoginResult(c.status, c.on6156), c.result) << std::hex << c.status;
    EXPECT_EQ(api::ErrorText(session::LoginResult(0xE011001A, false)), L"其他错误。");
}

TEST(PinMapping, ChangeStatusesReadTheTriesLeft) {
    struct Case {
        uint32_t status;
        int triesLeft;
        int32_t result;
    };
    const Case cases[] = {
        {0, -1, 0},
        {static_cast<uint32_t>(-100), -1, -100},
        {0xE011000F, -1, -105},
        {static_cast<uint32_t>(-405), -1, -405},
        {0xE0110012, 2, -212},
        {0xE0110010, 0, -221},
        {0xE011001E, 5, -215},  // the count comes from the key, not from the status
        {0xE0110013, -1, -300}, // the count could not be read
        {0xE011001F, 2, -300},
        {0xE011FFFF, -1, -300},
    };
    for (const Case& c : cases)
        EXPECT_EQ(session::ChangeResult(c.status, c.triesLeft), c.result) << std::hex << c.status;
}

TEST(KeyDataMapping, BankTextCodes) {
    struct Case {
        const char* text;
        uint32_t code;
    };
    for (const Case& c : {Case{"95000790", 0x100}, Case{"95000791", 0x100}, Case{"95000792", 0x20},
                          Case{"95000793", 0x10}, Case{"95000780", 0x10}, Case{"12345678", 0x10}, Case{"9500079", 0x10},
                          Case{"", 0x10}})
        EXPECT_EQ(bank::BankTextCode(c.text), c.code) << c.text;
}

}  // namespace
