#include "lang/language_texts.h"

#include "config/product.h"
#include "win/registry.h"

namespace lang {
namespace {

constexpr wchar_t kMachineLangId[] = L"Langid";  // the registry ignores case: the installer writes LangId

LANGID NonZero(std::optional<DWORD> v) { return v && *v && *v <= 0xFFFF ? static_cast<LANGID>(*v) : 0; }

}  // namespace

std::wstring InstallPath() {
    return win::ReadString(HKEY_LOCAL_MACHINE, product::kRegistryKey, L"InstallPath").value_or(L"");
}

LANGID TrayLanguage() {
    LANGID id = NonZero(win::ReadDword(HKEY_LOCAL_MACHINE, product::kRegistryKey, kMachineLangId));
    return id ? id : ::GetUserDefaultUILanguage();
}

LANGID UserLanguage() {
    LANGID id = NonZero(win::ReadDword(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueLangId));
    return id ? id : TrayLanguage();
}

std::wstring LanguageFile(LANGID language) {
    return InstallPath() + L"\\langs\\" + std::to_wstring(language) + L".ini";
}

std::wstring ReadLanguageText(LANGID language, const wchar_t* key) {
    wchar_t buf[256] = {};
    DWORD n = ::GetPrivateProfileStringW(L"TEXT", key, L"", buf, 256, LanguageFile(language).c_str());
    return std::wstring(buf, n < 256 ? n : 255);
}

}  // namespace lang
