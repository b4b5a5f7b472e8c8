// The bank's configuration values: the host of each kind of login page the
// agent's e-banking launcher opens, and the service number that a key's bank
// text begins with (the launcher and the library's data word read it).
// Kept in this one place.
#pragma once

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

}  // namespace bank
