// Names and values of the product that several deliverables share.
#pragma once

namespace product {

// Product key, under HKEY_LOCAL_MACHINE (installation values) and
// HKEY_CURRENT_USER (per-user values).
inline constexpr wchar_t kRegistryKey[] = L"SoftWare\\Quorvell\\470K2_VELTA";

// Per-user values.
inline constexpr wchar_t kValueWarningMsg[] = L"WarningMsg";
inline constexpr wchar_t kValueUiLang[] = L"UILang";
inline constexpr wchar_t kValueUiSupport[] = L"UISupport";
inline constexpr wchar_t kValueLangId[] = L"LangId";

// The key's USB identity as the library reports it.
inline constexpr char kVidPid[] = "2E4B&0301";

// The CryptoAPI provider of the key.
inline constexpr char kProviderName[] = "VLBK USBKEY2 CSP QVL";
inline constexpr unsigned kProviderType = 1;

}  // namespace product
