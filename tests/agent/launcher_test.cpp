// The e-banking launcher: which page, which browser.
#include "csp/csp_binding.h"
#include "config/bank.h"
#include "launcher/ebank_launcher.h"
#include "simkey_control.h"
#include "win/registry.h"

#include <gtest/gtest.h>

#include <cstring>

using agent::ChoosePage;
using agent::Page;

namespace {

const std::string kBank = std::string(bank::kServiceNumber) + "79";

TEST(EbankPage, ChoiceByModelBankTextAndFlagWord) {
    struct Case {
        const char* what;
        std::string model, bankText;
        std::optional<uint32_t> flags;
        Page page;
        bool defaultBrowser;
    };
    const Case cases[] = {
        {"6120 ignores the key's data", "6120", kBank + "0", 0x20, Page::kPersonal, true},
        {"no data, foreign bank text", "6155", "12345678", std::nullopt, Page::kCorporate, true},
        {"no data, bank text 0", "6155", kBank + "0", std::nullopt, Page::kInternationalCorporate, false},
        {"no data, bank text 1", "6155", kBank + "1", std::nullopt, Page::kInternationalCorporate, false},
        {"no data, bank text 2", "6155", kBank + "2", std::nullopt, Page::kInterbank, false},
        {"no data, bank text 9", "6155", kBank + "9", std::nullopt, Page::kCorporate, true},
        {"data without bits", "6155", kBank + "0", 0, Page::kCorporate, false},
        {"bits 2 and 5: the higher page, bit 2's browser", "6155", "", 0x24, Page::kInterbank, true},
        {"bit 0 only", "6155", "", 0x1, Page::kHome, false},
        {"bit 11", "6155", "", 0x800, Page::kTreasury, true},
        {"bits 4 and 8", "6155", "", 0x110, Page::kInternationalCorporate, true},
        {"bits above 11 are ignored", "6155", "", 0x1000 | 0x2, Page::kPassPortal, false},
        {"6156 never the default browser", "6156", "", 0x4, Page::kPersonal, false},
        {"6156 without data", "6156", "12345678", std::nullopt, Page::kCorporate, false},
    };
    for (const Case& c : cases) {
        agent::PageChoice got = ChoosePage(c.model, c.bankText, c.flags);
        EXPECT_EQ(got.page, c.page) << c.what;
        EXPECT_EQ(got.defaultBrowser, c.defaultBrowser) << c.what;
    }
    EXPECT_EQ(agent::PageAddress(Page::kPersonal), std::wstring(L"https://") + bank::kPersonalHost + L"/perbank6/signIn.do ");
    EXPECT_EQ(agent::PageAddress(Page::kInterbank), std::wstring(L"https://") + bank::kInterbankHost + L"/html/#/index");
}

// The browser registrations live in the prefix's registry; each case sets
// them up and takes them away again.
class EbankBrowser : public ::testing::Test {
protected:
    const wchar_t* choice = L"SOFTWARE\\Microsoft\\Windows\\Shell\\Associations\\URLAssociations\\http\\UserChoice";
    // The prefix may come with a choice of its own.
    void SetUp() override { TearDown(); }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, choice);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"UkeyTestBrowserHTML");
    }
    void Register(const std::wstring& command) {
        ASSERT_TRUE(win::WriteString(HKEY_CURRENT_USER, choice, L"Progid", L"UkeyTestBrowserHTML"));
        ASSERT_TRUE(win::WriteString(HKEY_CLASSES_ROOT, L"UkeyTestBrowserHTML\\Shell\\Open\\Command", nullptr, command));
    }
};

TEST_F(EbankBrowser, DefaultBrowserCommandsAndTheFallback) {
    const std::wstring page = L"https://x.example/p";
    std::optional<std::wstring> ie = win::ReadString(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe", nullptr);
    ASSERT_TRUE(ie.has_value()) << "the prefix registers Internet Explorer";

    auto fallback = agent::ChooseBrowser(true, page);  // nobody registered
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->program, *ie);
    EXPECT_EQ(fallback->commandLine, L" " + page);

    Register(L"\"C:\\Browsers\\Fast Browser\\fast.exe\" --single-argument %1");
    auto dashed = agent::ChooseBrowser(true, page);
    ASSERT_TRUE(dashed);
    EXPECT_EQ(dashed->program, L"C:\\Browsers\\Fast Browser\\fast.exe");
    EXPECT_EQ(dashed->commandLine, L"  -- " + page);

    Register(L"C:\\Other\\OTHER.EXE -url \"%1\"");
    auto plain = agent::ChooseBrowser(true, page);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->program, L"C:\\Other\\OTHER.EXE");
    EXPECT_EQ(plain->commandLine, L" " + page);

    EXPECT_EQ(agent::ChooseBrowser(false, page)->program, *ie);  // not allowed: Internet Explorer

    Register(L"C:\\no-program-here %1");
    EXPECT_EQ(agent::ChooseBrowser(true, page)->program, *ie);

    auto longest = agent::ChooseBrowser(false, std::wstring(400, L'a'));
    EXPECT_EQ(longest->commandLine.size(), 260u);
}

}  // namespace

namespace {

using namespace testing_support;

// The whole launcher for a simulated key, with recording browsers
// registered as the user's default browser and as Internet Explorer.
class EbankLaunch : public CleanKeyState {
protected:
    const wchar_t* choice = L"SOFTWARE\\Microsoft\\Windows\\Shell\\Associations\\URLAssociations\\http\\UserChoice";
    const wchar_t* iePath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe";
    void SetUp() override {
        CleanKeyState::SetUp();
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        record = std::wstring(temp) + L"ukey_browser.rec";
        ::DeleteFileW(record.c_str());
        ::SetEnvironmentVariableW(L"UKEY_FAKE_BROWSER_RECORD", record.c_str());
        fakeDefault = ProgramDir() + L"fake_browser.exe";
        fakeIe = std::wstring(temp) + L"fake_iexplore.exe";
        ASSERT_TRUE(::CopyFileW(fakeDefault.c_str(), fakeIe.c_str(), FALSE));
        savedIe = win::ReadString(HKEY_LOCAL_MACHINE, iePath, nullptr);
        ASSERT_TRUE(win::WriteString(HKEY_LOCAL_MACHINE, iePath, nullptr, fakeIe));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, choice);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"UkeyTestBrowserHTML");
    }
    void TearDown() override {
        if (savedIe) win::WriteString(HKEY_LOCAL_MACHINE, iePath, nullptr, *savedIe);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, choice);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"UkeyTestBrowserHTML");
        ::DeleteFileW(fakeIe.c_str());
    }
    void RegisterDefault(const std::wstring& argumentsPattern) {
        ASSERT_TRUE(win::WriteString(HKEY_CURRENT_USER, choice, L"Progid", L"UkeyTestBrowserHTML"));
        ASSERT_TRUE(win::WriteString(HKEY_CLASSES_ROOT, L"UkeyTestBrowserHTML\\Shell\\Open\\Command", nullptr,
                                     L"\"" + fakeDefault + L"\" " + argumentsPattern));
    }
    // Launches for a plugged key and waits for the browser's record line.
    std::string Launch(const std::string& serial) {
        ::DeleteFileW(record.c_str());
        json k = KeyState(serial);
        token::DeviceInfo info{};
        std::string model = k["model"], code = k["dataCode"];
        std::memcpy(info.bytes + token::devinfo::kModel, model.data(), model.size());
        std::memcpy(info.bytes + token::devinfo::kDataCode, code.data(), code.size());
        agent::LaunchEbanking(k["slot"].get<uint32_t>(), info);
        for (int i = 0; i < 200; ++i) {
            HANDLE h = ::CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                char buf[2048];
                DWORD got = 0;
                ::ReadFile(h, buf, sizeof buf, &got, nullptr);
                ::CloseHandle(h);
                std::string s(buf, got);
                if (!s.empty() && s.back() == '\n') return s.substr(0, s.size() - 1);
            }
            ::Sleep(25);
        }
        return "<no browser started>";
    }
    // The key's page flag word, through its provider.
    void SetPageFlags(const std::string& serial, uint32_t flags) {
        json r = SimKeyOk({{"op", "state"}});
        BYTE word[10] = {static_cast<BYTE>(KeyState(serial)["slot"].get<int>()), 8};
        std::memcpy(word + 2, &flags, 4);
        ASSERT_EQ(csp::CspProviderParam(csp::kParamDataWordSet, false, "", 0, word, nullptr), 0u);
    }
    std::wstring record, fakeDefault, fakeIe;
    std::optional<std::wstring> savedIe;
};

std::string Utf8(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST_F(EbankLaunch, TheKeyChoosesThePageAndTheBrowser) {
    RegisterDefault(L"%1");
    CreateKey("LAUNCH-6120", {{"model", "6120"}});
    EXPECT_EQ(Launch("LAUNCH-6120"), Utf8(fakeDefault) + "\t " +
                                         Utf8(agent::PageAddress(Page::kPersonal)));
    Unplug("LAUNCH-6120");

    CreateKey("LAUNCH-BITS");
    SetPageFlags("LAUNCH-BITS", 0x24);  // bits 2 and 5
    EXPECT_EQ(Launch("LAUNCH-BITS"), Utf8(fakeDefault) + "\t " +
                                         Utf8(agent::PageAddress(Page::kInterbank)));
    Unplug("LAUNCH-BITS");

    CreateKey("LAUNCH-6156", {{"model", "6156"}});
    SetPageFlags("LAUNCH-6156", 0x4);  // would allow the default browser on another model
    EXPECT_EQ(Launch("LAUNCH-6156"), Utf8(fakeIe) + "\t " +
                                         Utf8(agent::PageAddress(Page::kPersonal)));
}

TEST_F(EbankLaunch, ADefaultBrowserWithDashesGetsTheAddressAfterThem) {
    RegisterDefault(L"--single-argument %1");
    CreateKey("LAUNCH-DASH", {{"model", "6120"}});
    std::string line = Launch("LAUNCH-DASH");
    EXPECT_NE(line.find("  -- https://"), std::string::npos) << line;
    EXPECT_EQ(line.substr(0, fakeDefault.size()), Utf8(fakeDefault));
}

}  // namespace
