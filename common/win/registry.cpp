#include "win/registry.h"

#include <vector>

namespace win {

LSTATUS CreateKeyForWrite(HKEY root, const wchar_t* path, RegKey& out, REGSAM extra) {
    return ::RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE | extra, nullptr,
                             out.put(), nullptr);
}

bool WriteDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value, REGSAM extra) {
    RegKey key;
    if (CreateKeyForWrite(root, path, key, extra) != ERROR_SUCCESS) return false;
    return ::RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

bool WriteString(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& value,
                 REGSAM extra) {
    RegKey key;
    if (CreateKeyForWrite(root, path, key, extra) != ERROR_SUCCESS) return false;
    DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            bytes) == ERROR_SUCCESS;
}

std::optional<DWORD> ReadDword(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM extra) {
    RegKey key;
    if (::RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | extra, key.put()) != ERROR_SUCCESS) return {};
    DWORD type = 0, value = 0, size = sizeof value;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return {};
    return value;
}

std::optional<std::wstring> ReadString(HKEY root, const wchar_t* path, const wchar_t* name,
                                       REGSAM extra) {
    RegKey key;
    if (::RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | extra, key.put()) != ERROR_SUCCESS) return {};
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    buf[size / sizeof(wchar_t)] = L'\0';
    return std::wstring(buf.data());
}

}  // namespace win
