// The e-banking launcher: after a key was registered the agent opens the
// bank's login page that fits the key, in the user's default browser where
// the key allows it, else in Internet Explorer.
#pragma once

#include "token/token_api.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace agent {

enum class Page {
    kPersonal, kPersonalCredit, kPersonal2, kCorporate, kCorporateElectronic, kCorporate2,
    kInternationalCorporate, kInterbank, kHome, kPassPortal, kBusinessPortal, kTreasury,
};

struct PageChoice {
    Page page;
    bool defaultBrowser;  // the user's default browser may be used
};

// The page's address.
std::wstring PageAddress(Page page);

// The choice for a key: its model, its 8-character bank text (offset 56 of
// the device information) and its page flag word when the key answered one.
PageChoice ChoosePage(const std::string& model, const std::string& bankText, std::optional<uint32_t> flagWord);

struct BrowserStart {
    std::wstring program;
    std::wstring commandLine;  // a blank and the argument, at most 260 characters
};

// The program and command line for the address. defaultBrowser: try the
// user's choice for http first; Internet Explorer otherwise or as fallback.
std::optional<BrowserStart> ChooseBrowser(bool defaultBrowser, const std::wstring& address);

// The whole launcher for one key: reads the page flag word through the
// key's provider, chooses, and starts the browser. Errors are ignored.
void LaunchEbanking(uint32_t slot, const token::DeviceInfo& info);

}  // namespace agent
