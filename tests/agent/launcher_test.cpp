// The e-banking launcher: which page, which browser.
#include "launcher/bank_config.h"
#include "launcher/ebank_launcher.h"
#include "simkey_control.h"
#include "win/registry.h"

#include <gtest/gtest.h>

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
