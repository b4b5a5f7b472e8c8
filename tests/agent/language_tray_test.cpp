// Language texts and the tray icon.
#include "config/product.h"
#include "lang/language_texts.h"
#include "simkey_control.h"
#include "tray/tray_icon.h"
#include "win/registry.h"

#include <gtest/gtest.h>

#include <shellapi.h>

namespace {

class LanguageTexts : public testing_support::CleanKeyState {
protected:
    void TearDown() override {
        win::WriteDword(HKEY_LOCAL_MACHINE, product::kRegistryKey, L"LangId", 2052);
    }
};

TEST_F(LanguageTexts, EveryInstalledLanguageHasEveryKey) {
    for (LANGID id : {2052, 1033, 1028})
        for (const wchar_t* key : {L"Tray_Title", L"TrayTip01", L"TrayTip02", L"STR_ID_USER_TOOL_DESC"})
            EXPECT_FALSE(lang::ReadLanguageText(id, key).empty()) << id;
    EXPECT_EQ(lang::ReadLanguageText(1033, L"Tray_Title"), L"VELTA Bank UKey Manager");
    EXPECT_EQ(lang::ReadLanguageText(2052, L"Tray_Title"), L"VELTA银行UKey管理程序");
    EXPECT_EQ(lang::ReadLanguageText(1041, L"Tray_Title"), L"");  // no such file
    EXPECT_EQ(lang::ReadLanguageText(1033, L"NoSuchKey"), L"");
}

TEST_F(LanguageTexts, TrayFollowsTheMachineAndTheToolTitleTheUser) {
    ASSERT_TRUE(win::WriteDword(HKEY_LOCAL_MACHINE, product::kRegistryKey, L"LangId", 1033));
    ASSERT_TRUE(win::WriteDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueLangId, 1028));
    EXPECT_EQ(lang::TrayLanguage(), 1033);
    EXPECT_EQ(lang::UserLanguage(), 1028);
    ASSERT_TRUE(win::WriteDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueLangId, 0));
    EXPECT_EQ(lang::UserLanguage(), 1033);  // 0 is no choice
    ASSERT_TRUE(win::WriteDword(HKEY_LOCAL_MACHINE, product::kRegistryKey, L"LangId", 0));
    EXPECT_EQ(lang::TrayLanguage(), ::GetUserDefaultUILanguage());
    EXPECT_EQ(lang::UserLanguage(), ::GetUserDefaultUILanguage());
}

TEST(TrayIcon, BalloonsShowOnlyWhileTheIconIsShown) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"tray test", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                    nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(agent::ShowTrayBalloon(1, NIIF_INFO));  // no icon yet
    HINSTANCE shell = ::LoadLibraryW(L"shell32.dll");  // any module with an icon resource will do for the test
    ASSERT_TRUE(agent::CreateTrayIcon(shell, window, 1));
    EXPECT_TRUE(agent::TrayIconShown());
    EXPECT_TRUE(agent::ShowTrayBalloon(1, NIIF_INFO));
    EXPECT_TRUE(agent::ShowTrayBalloon(2, NIIF_INFO));
    agent::RemoveTrayIcon();
    EXPECT_FALSE(agent::TrayIconShown());
    EXPECT_FALSE(agent::ShowTrayBalloon(1, NIIF_INFO));
    ::DestroyWindow(window);
}

}  // namespace
