// The key's CryptoAPI service provider K2CSP_VELTA.dll as this system calls
// it directly: the provider-table record and the entry point types of the
// CryptoAPI service-provider interface.
#pragma once

#include <windows.h>
#include <wincrypt.h>

namespace csp {

inline constexpr wchar_t kLibraryName[] = L"K2CSP_VELTA.dll";

// The provider-table record handed to CPAcquireContext.
struct ProviderTable {
    DWORD version;
    FARPROC verifyImage;
    FARPROC returnWindow;
    DWORD providerType;
    BYTE* contextInfo;
    DWORD contextInfoLength;
    LPSTR providerName;
};

using AcquireContextFn = BOOL(WINAPI*)(HCRYPTPROV* prov, LPCSTR container, DWORD flags, ProviderTable* table);
using GetProvParamFn = BOOL(WINAPI*)(HCRYPTPROV prov, DWORD param, BYTE* data, DWORD* length, DWORD flags);
using SetProvParamFn = BOOL(WINAPI*)(HCRYPTPROV prov, DWORD param, const BYTE* data, DWORD flags);
using ReleaseContextFn = BOOL(WINAPI*)(HCRYPTPROV prov, DWORD flags);
using GetUserKeyFn = BOOL(WINAPI*)(HCRYPTPROV prov, DWORD keySpec, HCRYPTKEY* key);
using ExportKeyFn = BOOL(WINAPI*)(HCRYPTPROV prov, HCRYPTKEY key, HCRYPTKEY pubKey, DWORD blobType, DWORD flags,
                                  BYTE* data, DWORD* length);
using ImportKeyFn = BOOL(WINAPI*)(HCRYPTPROV prov, const BYTE* data, DWORD length, HCRYPTKEY pubKey, DWORD flags,
                                  HCRYPTKEY* key);
using GetKeyParamFn = BOOL(WINAPI*)(HCRYPTPROV prov, HCRYPTKEY key, DWORD param, BYTE* data, DWORD* length,
                                    DWORD flags);
using SetKeyParamFn = BOOL(WINAPI*)(HCRYPTPROV prov, HCRYPTKEY key, DWORD param, const BYTE* data, DWORD flags);
using DestroyKeyFn = BOOL(WINAPI*)(HCRYPTPROV prov, HCRYPTKEY key);

}  // namespace csp
