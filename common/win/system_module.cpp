#include "win/system_module.h"

#include <cwchar>

namespace win {

bool SystemPathInto(const wchar_t* fileName, wchar_t* out, size_t room) {
    if (!fileName || !out || room == 0) return false;
    UINT n = ::GetSystemDirectoryW(out, static_cast<UINT>(room));
    size_t name = wcslen(fileName);
    if (n == 0 || n + 1 + name + 1 > room) {
        out[0] = L'\0';
        return false;
    }
    out[n] = L'\\';
    wmemcpy(out + n + 1, fileName, name + 1);
    return true;
}

std::wstring SystemPath(const wchar_t* fileName) {
    wchar_t path[MAX_PATH];
    return SystemPathInto(fileName, path, MAX_PATH) ? std::wstring(path) : std::wstring();
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    wchar_t path[MAX_PATH];
    if (!SystemPathInto(fileName, path, MAX_PATH)) return nullptr;
    return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace win
