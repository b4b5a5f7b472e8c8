// The bank's configuration values: the host of each kind of login page the
// agent's e-banking launcher opens, and the service number that a key's bank
// text begins with (the launcher and the library's data word read it).
// Kept in this one place.
#pragma once

#include <cstdint>
#include <string>

namespace bank {

inline constexpr wchar_t kPersonalHost[] = L"perbank.velta.example";
inline constexpr wchar_t kPersonalHost2[] = L"perbank2.velta.example";
inline constexpr wchar_t kCorporateHost[] = L"corbank.velta.example";
inline constexpr wchar_t kCorporateHost2[] = L"corbank2.velta.example";
inline constexpr wchar_t kInternationalHost[] = L"intlbank.velta.example";
inline constexpr wchar_t kInterbankHost[] = L"interbank.velta.example";
inline constexpr wchar_t kHomeHost[] = L"www.velta.example";
inline constexpr wchar_t kPassPortalHost[] = L"pass.velta.example";
inline constexpr wchar_t kBusinessPortalHost[] = L"business.velta.example";
inline constexpr wchar_t kTreasuryHost[] = L"treasury.velta.example";

// The bank's five-digit service number.
inline constexpr char kServiceNumber[] = "95000";

// The page flags a key's 8-character bank text stands for when the key
// keeps no data word: the service number and "79", then the kind of
// customer in the eighth character ("0"/"1" international corporate 0x100,
// "2" interbank 0x20); anything else is the corporate login, 0x10.
inline uint32_t BankTextCode(const std::string& bankText) {
    const std::string prefix = std::string(kServiceNumber) + "79";
    if (bankText.size() < 8 || bankText.compare(0, prefix.size(), prefix) != 0) return 0x10;
    char kind = bankText[7];
    if (kind == '0' || kind == '1') return 0x100;
    if (kind == '2') return 0x20;
    return 0x10;
}

}  // namespace bank
