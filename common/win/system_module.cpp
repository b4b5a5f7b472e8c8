#include "win/system_module.h"

namespace win {

std::wstring SystemPath(const wchar_t* fileName) {
    wchar_t dir[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::wstring path(dir, n);
    path += L'\\';
    path += fileName;
    return path;
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    std::wstring path = SystemPath(fileName);
    if (path.empty()) return nullptr;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace win
