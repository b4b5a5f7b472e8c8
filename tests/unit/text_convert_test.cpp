#include "text/text_convert.h"

#include <gtest/gtest.h>

#include <cstring>

using text::ConvertText;
using text::WideToText;

namespace {

// "张三 UKey" in GBK and in UTF-8.
const std::string kGbk = "\xd5\xc5\xc8\xfd UKey";
const std::string kUtf8 = "\xe5\xbc\xa0\xe4\xb8\x89 UKey";

TEST(TextConvert, GbkAndUtf8RoundTrip) {
    std::string out;
    ASSERT_EQ(ConvertText(1, kGbk.data(), static_cast<int>(kGbk.size()), out), 0);
    EXPECT_EQ(out, kUtf8);
    ASSERT_EQ(ConvertText(0, kUtf8.data(), static_cast<int>(kUtf8.size()), out), 0);
    EXPECT_EQ(out, kGbk);
}

TEST(TextConvert, WideToBothTargets) {
    std::string out;
    ASSERT_EQ(WideToText(0, L"\u5f20\u4e09 UKey", -1, out), 0);
    EXPECT_EQ(out, kGbk);
    ASSERT_EQ(WideToText(1, L"\u5f20\u4e09 UKey", -1, out), 0);
    EXPECT_EQ(out, kUtf8);
}

TEST(TextConvert, RefusalsAnswerMinusOneAndNoText) {
    struct Case {
        const char* what;
        int direction;
        std::string input;
    };
    const Case cases[] = {
        {"other direction", 2, kGbk},
        {"empty input", 1, ""},
        {"malformed UTF-8", 0, "\xe5\xbc"},
        {"UTF-8 without a GBK form", 0, "\xf0\x9f\x98\x80"},  // an emoji
        {"only a zero", 1, std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        std::string out = "untouched?";
        EXPECT_EQ(ConvertText(c.direction, c.input.data(), static_cast<int>(c.input.size()), out), -1) << c.what;
        EXPECT_TRUE(out.empty()) << c.what;
    }
    std::string out;
    EXPECT_EQ(ConvertText(1, nullptr, 4, out), -1);
    EXPECT_EQ(WideToText(3, L"x", -1, out), -1);
    EXPECT_EQ(WideToText(1, nullptr, -1, out), -1);
}

TEST(TextConvert, ByteLengthIncludingTheZeroGivesTheText) {
    std::string out;
    ASSERT_EQ(ConvertText(1, kGbk.c_str(), static_cast<int>(kGbk.size() + 1), out), 0);
    EXPECT_EQ(out, kUtf8);
}

TEST(TextConvert, CallerBuffersAreNeverOverrun) {
    char narrow[8];
    std::memset(narrow, 'x', sizeof narrow);
    EXPECT_FALSE(text::WideToGbk(L"\u5f20\u4e09 UKey", narrow, 8));  // needs 10 bytes
    EXPECT_EQ(narrow[0], '\0');
    char exact[10];  // 9 bytes and the zero
    ASSERT_TRUE(text::WideToGbk(L"\u5f20\u4e09 UKey", exact, 10));
    EXPECT_EQ(std::string(exact), kGbk);

    wchar_t wide[4];
    EXPECT_FALSE(text::Utf8ToWide(kUtf8.c_str(), wide, 4));  // 7 characters
    EXPECT_EQ(wide[0], L'\0');
    wchar_t room[8];
    ASSERT_TRUE(text::GbkToWide(kGbk.c_str(), room, 8));
    EXPECT_STREQ(room, L"\u5f20\u4e09 UKey");
}

}  // namespace
