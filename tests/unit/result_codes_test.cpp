#include "api/result_codes.h"

#include <gtest/gtest.h>

#include <set>

using api::ErrorText;

namespace {

const std::wstring kOther = L"其他错误。";

TEST(ResultCodes, TextsOfTheCodesThatAreEasyToGetWrong) {
    struct Case {
        int code;
        std::wstring text;
    };
    const Case cases[] = {
        {0, L""},
        {-210, L"密码认证失败，您还有0次机会。"},
        {-213, L"密码认证失败，您还有3次机会。"},
        {-219, L"密码认证失败，您还有9次机会。"},
        // -220 .. -224 come from wrong-PIN statuses too; only -221 and -222
        // have texts, their own.
        {-220, kOther},
        {-221, L"UKey密码已被锁死，请至我行柜面解锁。"},
        {-222, L"输入密码长度不对，请重新输入。"},
        {-223, kOther},
        {-224, kOther},
        {-402, kOther},
        {-504, kOther},
        {-407, ErrorText(-404)},
        {-101, L"没有成功安装驱动，请重新安装驱动。"},
        {-925, L"正在交易中，请输入PIN码。"},
        {12345, kOther},
        {-1, kOther},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
}

TEST(ResultCodes, EveryNamedCodeHasOneNameAndAText) {
    std::set<std::string> names;
    for (int code = 0; code >= -1000; --code) {
        std::string name = api::ErrorName(code);
        if (name.empty() || name == "ERR_PIN_WRONG") continue;
        EXPECT_TRUE(names.insert(name).second) << name << " twice";
        if (code != api::ERR_OK && code != api::ERR_OTHER) {
            EXPECT_NE(ErrorText(code), kOther) << name;
            EXPECT_FALSE(ErrorText(code).empty()) << name;
        }
    }
    EXPECT_TRUE(names.count("ERR_PIN_WRONG_BASE"));
    EXPECT_TRUE(names.count("ERR_IN_TRANSACTION"));
}

}  // namespace
