// Small registry helpers over RegKey.
#pragma once

#include "win/handles.h"

#include <windows.h>

#include <optional>
#include <string>

namespace win {

// Opens (creating when missing) a key for writing and querying.
LSTATUS CreateKeyForWrite(HKEY root, const wchar_t* path, RegKey& out, REGSAM extra = 0);

// Each returns false when the value cannot be written; callers that treat
// registry writes as housekeeping ignore it.
bool WriteDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value, REGSAM extra = 0);
bool WriteString(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& value,
                 REGSAM extra = 0);

std::optional<DWORD> ReadDword(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM extra = 0);
std::optional<std::wstring> ReadString(HKEY root, const wchar_t* path, const wchar_t* name,
                                       REGSAM extra = 0);

}  // namespace win
