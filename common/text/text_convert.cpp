#include "text/text_convert.h"

#include <windows.h>

#include <vector>

namespace text {
namespace {

// MB_ERR_INVALID_CHARS makes a malformed input fail instead of turning into
// replacement characters that would then be written to the key.
std::wstring Decode(const char* input, int byteLength, unsigned codePage, bool& ok) {
    ok = false;
    if (!input || byteLength <= 0) return {};
    int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, input, byteLength, nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, input, byteLength, w.data(), n) != n) return {};
    ok = true;
    return w;
}

std::string Encode(const wchar_t* input, int length, unsigned codePage, bool& ok) {
    ok = false;
    if (!input || length <= 0) return {};
    // WC_ERR_INVALID_CHARS is valid only for UTF-8; for GBK a character
    // without a mapping is detected through the default-character flag.
    DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
    BOOL usedDefault = FALSE;
    BOOL* pUsed = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int n = ::WideCharToMultiByte(codePage, flags, input, length, nullptr, 0, nullptr, pUsed);
    if (n <= 0 || usedDefault) return {};
    std::string s(static_cast<size_t>(n), '\0');
    if (::WideCharToMultiByte(codePage, flags, input, length, s.data(), n, nullptr, nullptr) != n) return {};
    ok = true;
    return s;
}

// Cuts at the first zero: callers pass byte lengths that may include it.
void TrimAtZero(std::string& s) {
    size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
}

}  // namespace

int ConvertText(int direction, const char* input, int byteLength, std::string& out) {
    out.clear();
    unsigned from, to;
    if (direction == static_cast<int>(Direction::kGbkToUtf8)) {
        from = kCodePageGbk;
        to = CP_UTF8;
    } else if (direction == static_cast<int>(Direction::kUtf8ToGbk)) {
        from = CP_UTF8;
        to = kCodePageGbk;
    } else {
        return -1;
    }
    bool ok;
    std::wstring w = Decode(input, byteLength, from, ok);
    if (!ok) return -1;
    std::string s = Encode(w.data(), static_cast<int>(w.size()), to, ok);
    if (!ok) return -1;
    TrimAtZero(s);
    if (s.empty()) return -1;
    out = std::move(s);
    return 0;
}

int WideToText(int direction, const wchar_t* input, int length, std::string& out) {
    out.clear();
    unsigned to;
    if (direction == static_cast<int>(WideTarget::kGbk)) to = kCodePageGbk;
    else if (direction == static_cast<int>(WideTarget::kUtf8)) to = CP_UTF8;
    else return -1;
    if (!input) return -1;
    if (length < 0) length = static_cast<int>(wcslen(input));
    bool ok;
    std::string s = Encode(input, length, to, ok);
    if (!ok) return -1;
    TrimAtZero(s);
    if (s.empty()) return -1;
    out = std::move(s);
    return 0;
}

namespace {
template <typename Out>
bool CopyOut(const Out* converted, size_t length, Out* buffer, int capacity) {
    if (!buffer || capacity <= 0) return false;
    if (length + 1 > static_cast<size_t>(capacity)) {
        buffer[0] = 0;
        return false;
    }
    for (size_t i = 0; i < length; ++i) buffer[i] = converted[i];
    buffer[length] = 0;
    return true;
}

bool NarrowToWide(const char* input, unsigned codePage, wchar_t* buffer, int capacity) {
    if (!input) return CopyOut(L"", 0, buffer, capacity);
    int len = static_cast<int>(strlen(input));
    if (len == 0) return CopyOut(L"", 0, buffer, capacity);
    bool ok;
    std::wstring w = Decode(input, len, codePage, ok);
    if (!ok) {
        CopyOut(L"", 0, buffer, capacity);
        return false;
    }
    return CopyOut(w.data(), w.size(), buffer, capacity);
}
}  // namespace

bool WideToGbk(const wchar_t* input, char* buffer, int capacity) {
    if (!input || !*input) return CopyOut("", 0, buffer, capacity);
    bool ok;
    std::string s = Encode(input, static_cast<int>(wcslen(input)), kCodePageGbk, ok);
    if (!ok) {
        CopyOut("", 0, buffer, capacity);
        return false;
    }
    return CopyOut(s.data(), s.size(), buffer, capacity);
}

bool GbkToWide(const char* input, wchar_t* buffer, int capacity) {
    return NarrowToWide(input, kCodePageGbk, buffer, capacity);
}

bool Utf8ToWide(const char* input, wchar_t* buffer, int capacity) {
    return NarrowToWide(input, CP_UTF8, buffer, capacity);
}

std::wstring ToWide(const std::string& input, unsigned codePage) {
    bool ok;
    std::wstring w = Decode(input.data(), static_cast<int>(input.size()), codePage, ok);
    return ok ? w : std::wstring();
}

std::string FromWide(const std::wstring& input, unsigned codePage) {
    bool ok;
    std::string s = Encode(input.data(), static_cast<int>(input.size()), codePage, ok);
    return ok ? s : std::string();
}

}  // namespace text
