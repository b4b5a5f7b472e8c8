// The key's own text settings: character set and display language.
#include "config/product.h"
#include "library.h"
#include "simkey_control.h"
#include "win/registry.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class KeySettings : public CleanKeyState {};

std::optional<DWORD> UserValue(const wchar_t* name) {
    return win::ReadDword(HKEY_CURRENT_USER, product::kRegistryKey, name);
}

TEST_F(KeySettings, CharsetNamesAreMatchedWholeIgnoringCase) {
    CreateKey("CHARSET-01");
    CreateKey("CHARSET-02");
    struct Case {
        const char* name;
        int result;
        int stored;  // the key's charset afterwards
    };
    const Case cases[] = {
        {"UTF-8", 0, 1}, {"gbk", 0, 0}, {"utf-8", 0, 1}, {"GbK", 0, 0}, {"Utf-8", 0, 1},
        // refused: the key keeps the last accepted value (UTF-8)
        {"UTF8", -401, 1}, {"GB2312", -401, 1}, {"", -401, 1}, {"UTF-8 ", -401, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Api().SetCharset("CHARSET-02", c.name), c.result) << c.name;
        EXPECT_EQ(Api().LastErr(), c.result) << c.name;
        EXPECT_EQ(KeyState("CHARSET-02")["charset"], c.stored) << c.name;
    }
    EXPECT_EQ(KeyState("CHARSET-01")["charset"], 0);  // the other key untouched
}

TEST_F(KeySettings, CharsetAndLanguageSelectionFailures) {
    EXPECT_EQ(Api().SetCharset("ANY", "GBK"), -102);
    EXPECT_EQ(Api().SetLanguage("ANY", "en_US"), -102);
    CreateKey("SELECT-01");
    EXPECT_EQ(Api().SetCharset("SELECT-02", "GBK"), -108);
    EXPECT_EQ(Api().SetLanguage("SELECT-02", "en_US"), -108);
    EXPECT_EQ(Api().SetCharset(nullptr, "GBK"), -401);
    EXPECT_EQ(Api().SetCharset("SELECT-01", nullptr), -401);
    EXPECT_EQ(Api().SetLanguage(nullptr, "en_US"), -401);
    EXPECT_EQ(Api().SetLanguage("SELECT-01", nullptr), -401);
}

TEST_F(KeySettings, LanguagesSendTheirIndexAndRecordTheComputerLanguage) {
    CreateKey("LANG-01", {{"languageMask", 0x0705}});
    struct Case {
        const char* name;
        int index;
        DWORD uiLang;
    };
    const Case cases[] = {
        {"zh_CN", 0, 0}, {"en_US", 1, 0}, {"zh_TW", 2, 0},  {"ru_RU", 3, 0},   {"fr_FR", 4, 0},
        {"id_ID", 5, 0}, {"ja_JP", 6, 0}, {"de_DE", 7, 0},  {"ar_SA", 8, 0},   {"ko_KR", 9, 0},
        {"kk_KZ", 10, 0}, {"th_TH", 1, 1054}, {"pl_PL", 1, 1045}, {"nl_NL", 1, 1043},
    };
    for (const Case& c : cases) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, product::kRegistryKey);
        EXPECT_EQ(Api().SetLanguage("LANG-01", c.name), 0) << c.name;
        EXPECT_EQ(KeyState("LANG-01")["language"], c.index) << c.name;
        EXPECT_EQ(UserValue(product::kValueUiLang), std::optional<DWORD>(c.uiLang)) << c.name;
        EXPECT_EQ(UserValue(product::kValueUiSupport), std::optional<DWORD>(0x0705)) << c.name;
    }
}

TEST_F(KeySettings, UnknownLanguageSendsNothing) {
    CreateKey("LANG-02");
    ASSERT_EQ(Api().SetLanguage("LANG-02", "zh_TW"), 0);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, product::kRegistryKey);
    for (const char* name : {"EN_US", "en_us", "en", "", "en_US "}) {
        EXPECT_EQ(Api().SetLanguage("LANG-02", name), -401) << name;
        EXPECT_EQ(KeyState("LANG-02")["language"], 2) << name;
    }
    EXPECT_FALSE(UserValue(product::kValueUiLang).has_value());
}

TEST_F(KeySettings, Model6156HasNoTextSettings) {
    CreateKey("M6156-01", {{"model", "6156"}});
    EXPECT_EQ(Api().SetCharset("M6156-01", "UTF-8"), -400);
    EXPECT_EQ(Api().SetLanguage("M6156-01", "en_US"), -400);
    EXPECT_EQ(Api().LastErr(), -400);
    json k = KeyState("M6156-01");
    EXPECT_EQ(k["charset"], 0);
    EXPECT_EQ(k["language"], 0);
    EXPECT_FALSE(UserValue(product::kValueUiLang).has_value());
    EXPECT_FALSE(UserValue(product::kValueUiSupport).has_value());
}

}  // namespace
