#include "launcher/ebank_launcher.h"

#include "csp/csp_binding.h"
#include "config/bank.h"
#include "win/registry.h"

#include <cstring>
#include <cwctype>

namespace agent {
namespace {

struct PageRow {
    Page page;
    const wchar_t* host;
    const wchar_t* path;
};

constexpr PageRow kPages[] = {
    {Page::kPersonal, bank::kPersonalHost, L"/perbank6/signIn.do "},  // the trailing blank is the bank's
    {Page::kPersonalCredit, bank::kPersonalHost, L"/perbank6/signInCredit.do"},
    {Page::kPersonal2, bank::kPersonalHost2, L"/perbank6/signIn.do"},
    {Page::kCorporate, bank::kCorporateHost, L"/cotb/login.html"},
    {Page::kCorporateElectronic, bank::kCorporateHost, L"/cotb/electronic/login.html"},
    {Page::kCorporate2, bank::kCorporateHost2, L"/cotb/login.html"},
    {Page::kInternationalCorporate, bank::kInternationalHost, L"/cotb/citb/login.html"},
    {Page::kInterbank, bank::kInterbankHost, L"/html/#/index"},
    {Page::kHome, bank::kHomeHost, L"/"},
    {Page::kPassPortal, bank::kPassPortalHost, L"/portalweb/login.html"},
    {Page::kBusinessPortal, bank::kBusinessPortalHost, L"/"},
    {Page::kTreasury, bank::kTreasuryHost, L"/"},
};

// Bits of the page flag word, from bit 0 up: each set bit replaces the page
// chosen so far; some also allow the default browser.
struct FlagRow {
    Page page;
    bool defaultBrowser;
};
constexpr FlagRow kFlagBits[12] = {
    {Page::kHome, false},     {Page::kPassPortal, false},           {Page::kPersonal, true},
    {Page::kPersonalCredit, false}, {Page::kCorporate, true},       {Page::kInterbank, false},
    {Page::kCorporateElectronic, false}, {Page::kBusinessPortal, false}, {Page::kInternationalCorporate, false},
    {Page::kPersonal2, false}, {Page::kCorporate2, false},          {Page::kTreasury, true},
};

constexpr size_t kCommandLineMax = 260;

const wchar_t kUserChoiceKey[] = L"SOFTWARE\\Microsoft\\Windows\\Shell\\Associations\\URLAssociations\\http\\UserChoice";
const wchar_t kIexploreKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\iexplore.exe";

std::optional<BrowserStart> Make(const std::wstring& program, const std::wstring& argument) {
    if (program.empty()) return std::nullopt;
    std::wstring line = L" " + argument;
    if (line.size() > kCommandLineMax) line.resize(kCommandLineMax);
    return BrowserStart{program, line};
}

std::optional<BrowserStart> UserDefaultBrowser(const std::wstring& address) {
    std::optional<std::wstring> progId = win::ReadString(HKEY_CURRENT_USER, kUserChoiceKey, L"Progid");
    if (!progId || progId->empty()) return std::nullopt;
    std::optional<std::wstring> command =
        win::ReadString(HKEY_CLASSES_ROOT, (*progId + L"\\Shell\\Open\\Command").c_str(), nullptr);
    if (!command) return std::nullopt;
    std::wstring lower = *command;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    size_t exe = lower.find(L".exe");
    if (exe == std::wstring::npos) return std::nullopt;
    std::wstring program = command->substr(0, exe + 4);
    if (!program.empty() && program[0] == L'"') program.erase(0, 1);
    bool dashes = command->find(L"--") != std::wstring::npos;
    return Make(program, dashes ? L" -- " + address : address);
}

}  // namespace

std::wstring PageAddress(Page page) {
    for (const PageRow& r : kPages)
        if (r.page == page) return std::wstring(L"https://") + r.host + r.path;
    return {};
}

PageChoice ChoosePage(const std::string& model, const std::string& bankText, std::optional<uint32_t> flagWord) {
    PageChoice c{Page::kPersonal, true};
    if (model != "6120") {
        // A key without a data word is read as the flags its bank text
        // stands for.
        const uint32_t flags = flagWord ? *flagWord : bank::BankTextCode(bankText);
        c = {Page::kCorporate, false};
        for (int bit = 0; bit < 12; ++bit) {
            if (!(flags & (1u << bit))) continue;
            c.page = kFlagBits[bit].page;
            c.defaultBrowser = c.defaultBrowser || kFlagBits[bit].defaultBrowser;
        }
    }
    if (model == "6156") c.defaultBrowser = false;  // this model is used only with Internet Explorer
    return c;
}

std::optional<BrowserStart> ChooseBrowser(bool defaultBrowser, const std::wstring& address) {
    if (defaultBrowser) {
        if (auto b = UserDefaultBrowser(address)) return b;
    }
    std::optional<std::wstring> ie = win::ReadString(HKEY_LOCAL_MACHINE, kIexploreKey, nullptr);
    return ie ? Make(*ie, address) : std::nullopt;
}

void LaunchEbanking(uint32_t slot, const token::DeviceInfo& info) {
    const char* text = reinterpret_cast<const char*>(info.bytes);
    std::string model(text + token::devinfo::kModel, strnlen(text + token::devinfo::kModel, token::devinfo::kModelLen));
    std::string bankText(text + token::devinfo::kDataCode,
                         strnlen(text + token::devinfo::kDataCode, token::devinfo::kDataCodeLen));
    std::optional<uint32_t> flags;
    if (model != "6120") {
        BYTE record[260] = {static_cast<BYTE>(slot & 0xFF)};
        DWORD length = sizeof record;
        if (csp::CspProviderParam(csp::kParamDataWordGet, false, "", 0, record, &length) == 0) {
            uint32_t word;
            std::memcpy(&word, record + 4, 4);
            flags = word;
        }
    }
    PageChoice choice = ChoosePage(model, bankText, flags);
    std::optional<BrowserStart> start = ChooseBrowser(choice.defaultBrowser, PageAddress(choice.page));
    if (!start) return;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = start->commandLine;
    if (::CreateProcessW(start->program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
}

}  // namespace agent
