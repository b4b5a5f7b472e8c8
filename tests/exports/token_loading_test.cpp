// How the library loads the token library: from the system directory only,
// freed again after each export (the named exceptions keep it), and what a
// missing or incomplete token library gives.
#include "library.h"
#include "simkey_control.h"
#include "system_swap.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

namespace {

class TokenLoading : public CleanKeyState {
protected:
    void SetUp() override {
        CleanKeyState::SetUp();
        Api().Finalize();  // no token library held from an earlier test
    }
    void TearDown() override { Api().Finalize(); }
};

int CallPrintNumber() {
    char buf[256];
    int len = sizeof buf;
    return Api().GetPrintNumber(buf, &len);
}

int CallGetLabel(const char* serial) {
    char buf[64];
    int len = sizeof buf;
    return Api().GetLabel(serial, buf, &len);
}

TEST_F(TokenLoading, EachExportLoadsOnceAndFreesUnlessItsRuleKeepsIt) {
    CreateKey("LOAD-KEY-01", {{"label", "x"}});
    struct Case {
        const char* name;
        std::function<int()> call;
        int result;
        int loads;   // loads during the call
        bool kept;   // still loaded afterwards
    };
    const Case cases[] = {
        {"GetPrintNumber", [] { return CallPrintNumber(); }, 0, 1, false},
        {"SetCharset", [] { return Api().SetCharset("LOAD-KEY-01", "GBK"); }, 0, 1, false},
        {"SetLanguage", [] { return Api().SetLanguage("LOAD-KEY-01", "en_US"); }, 0, 1, false},
        {"GetLabel failing", [] { return CallGetLabel("LOAD-KEY-99"); }, -108, 1, false},
        {"SetLabel failing", [] { return Api().SetLabel("LOAD-KEY-99", "y"); }, -108, 1, false},
        {"GetLabel", [] { return CallGetLabel("LOAD-KEY-01"); }, 0, 1, true},
        // a held library is reused, then freed by the next export that frees
        {"GetPrintNumber after GetLabel", [] { return CallPrintNumber(); }, 0, 0, false},
        {"SetLabel", [] { return Api().SetLabel("LOAD-KEY-01", "y"); }, 0, 1, true},
        {"SetLabel again", [] { return Api().SetLabel("LOAD-KEY-01", "z"); }, 0, 0, true},
        {"SetCharset after SetLabel", [] { return Api().SetCharset("LOAD-KEY-01", "GBK"); }, 0, 0, false},
        {"GetVidAndPid", [] { int l = 0; return Api().GetVidAndPid(nullptr, &l); }, 0, 0, false},
        {"GetVendorInfo", [] { char b[64]; int l = 64; return Api().GetVendorInfo(0, b, &l); }, 0, 0, false},
        {"Initialize", [] { return Api().Initialize(); }, 0, 1, true},
    };
    for (const Case& c : cases) {
        const int loads = TokenLoads();
        EXPECT_EQ(c.call(), c.result) << c.name;
        EXPECT_EQ(TokenLoads() - loads, c.loads) << c.name;
        EXPECT_EQ(TokenLoaded(), c.kept) << c.name;
        // every load is matched by a free, at once or by the next freeing export
        if (!c.kept) {
            EXPECT_EQ(TokenLoads() - TokenFrees(), 0) << c.name;
        }
    }
}

TEST_F(TokenLoading, MissingTokenLibraryIsDriverNotInstalledEverywhere) {
    CreateKey("LOAD-KEY-02");
    SystemFileSwap gone(L"K2Token_VELTA.dll", L"");
    ASSERT_TRUE(gone.ok());
    EXPECT_EQ(Api().Initialize(), -101);
    EXPECT_EQ(CallPrintNumber(), -101);
    EXPECT_EQ(CallGetLabel("LOAD-KEY-02"), -101);
    EXPECT_EQ(Api().SetLabel("LOAD-KEY-02", "x"), -101);
    EXPECT_EQ(Api().SetCharset("LOAD-KEY-02", "GBK"), -101);
    EXPECT_EQ(Api().SetLanguage("LOAD-KEY-02", "en_US"), -101);
    EXPECT_EQ(Api().LastErr(), -101);
}

// A library without one entry: an enumeration entry breaks every export, a
// bound entry only the full binding (Initialize and the operations that sign,
// decrypt or enrol).
TEST_F(TokenLoading, TokenLibraryMissingAnEntry) {
    CreateKey("LOAD-KEY-03");
    struct Case {
        const char* variant;
        int initialize, printNumber;
    };
    const Case cases[] = {
        {"no-PelkoT_ManTokenParam", -101, -101},
        {"no-PelkoT_Logout", -101, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant);
        const std::string v = c.variant;
        SystemFileSwap swap(L"K2Token_VELTA.dll",
                            ProgramDir() + L"variants\\" + std::wstring(v.begin(), v.end()) + L"\\K2Token_VELTA.dll");
        ASSERT_TRUE(swap.ok());
        EXPECT_EQ(Api().Initialize(), c.initialize);
        EXPECT_EQ(CallPrintNumber(), c.printNumber);
        Api().Finalize();
        EXPECT_FALSE(TokenLoaded());
    }
}

TEST_F(TokenLoading, APlantedTokenLibraryInTheCurrentDirectoryIsNeverLoaded) {
    CreateKey("REAL-KEY-01");
    const std::wstring planted = ProgramDir() + L"fixtures\\planted";
    ASSERT_NE(::GetFileAttributesW((planted + L"\\K2Token_VELTA.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    wchar_t before[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(::SetCurrentDirectoryW(planted.c_str()));

    char buf[256];
    int len = sizeof buf;
    EXPECT_EQ(Api().GetPrintNumber(buf, &len), 0);
    EXPECT_STREQ(buf, "REAL-KEY-01");
    {
        // Even with the installed one gone, the planted one is not taken.
        SystemFileSwap gone(L"K2Token_VELTA.dll", L"");
        ASSERT_TRUE(gone.ok());
        len = sizeof buf;
        EXPECT_EQ(Api().GetPrintNumber(buf, &len), -101);
        EXPECT_EQ(Api().Initialize(), -101);
    }
    ::SetCurrentDirectoryW(before);
}

}  // namespace
