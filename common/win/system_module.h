// Loading outside components from the system directory only: a DLL of the
// same name planted in the current directory or beside the calling program
// is never picked up.
#pragma once

#include <windows.h>

#include <string>

namespace win {

// The system directory (System32; SysWow64 for a 32-bit process on 64-bit
// Windows through the file-system redirection) followed by a backslash and
// the name.
std::wstring SystemPath(const wchar_t* fileName);
// The same into a caller buffer of `room` characters; false (and an empty
// text) when it does not fit. Free of the C++ library, so the small
// stand-in components stay small.
bool SystemPathInto(const wchar_t* fileName, wchar_t* out, size_t room);

// LoadLibraryExW of the full system-directory path. The altered search path
// lets the component find its own dependencies beside it.
HMODULE LoadSystemLibrary(const wchar_t* fileName);

}  // namespace win
