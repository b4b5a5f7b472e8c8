// The key's CryptoAPI service provider K2CSP_VELTA.dll as this system calls
// it directly: the provider-table record and the entry point types of the
// CryptoAPI service-provider interface.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>

namespace csp {

inline constexpr wchar_t kLibraryName[] = L"K2CSP_VELTA.dll";

// Provider parameters of the key's own.
enum Param : DWORD {
    kParamContainerInfo = 0x10004,   // the container information record below
    kParamDeletePair = 0x10005,      // data: the key spec
    kParamMarkClear = 0x10008,       // data: the key spec
    kParamMarkSet = 0x10009,
    kParamDeleteCert = 0x1000C,      // data: the key spec
    kParamDeletePairAndCert = 0x1000D,
    kParamDataWordSet = 0x1000A,     // slot (u8), 8 (u8), flag word, value word
    kParamDataWordGet = 0x1000B,     // in: slot in the first byte; out: value word, flag word
    kParamPinTimeoutSet = 0x1000E,   // slot (u8), flag (u8)
    kParamPinTimeoutGet = 0x1000F,   // in: slot in the first byte; out: u32 flag
};

// Container information record, exchanged through kParamContainerInfo
// (whose length argument points to a copy of the key spec). Packed,
// little-endian, 44 bytes; the addresses are 64-bit.
#pragma pack(push, 1)
struct ContainerInfo {
    uint32_t size;               // in: 44
    uint32_t keySpec;            // in: 1 exchange, 2 signature
    uint32_t kind;               // out: 1 transaction-signing, 2 general-signing, 3 encryption (4 accepted)
    uint32_t algorithm;          // out: 1 RSA, 2 SM2
    uint8_t keyIndex;            // out
    uint8_t zero[3];
    uint64_t publicKey;          // in: address of the caller's buffer, or 0
    uint32_t publicKeyLength;    // in: room; out: length
    uint64_t certificate;        // in: address of the caller's buffer, or 0
    uint32_t certificateLength;  // in: room; out: length (0: no certificate)
};
#pragma pack(pop)
static_assert(sizeof(ContainerInfo) == 44);
static_assert(offsetof(ContainerInfo, keyIndex) == 16);
static_assert(offsetof(ContainerInfo, publicKey) == 20);
static_assert(offsetof(ContainerInfo, publicKeyLength) == 28);
static_assert(offsetof(ContainerInfo, certificate) == 32);
static_assert(offsetof(ContainerInfo, certificateLength) == 40);

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
