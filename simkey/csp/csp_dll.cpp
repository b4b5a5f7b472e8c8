// K2CSP_VELTA.dll of the simulated key: the CryptoAPI provider entry points,
// forwarded to the engine, where the key's containers live.
#include "common/engine_link.h"
#include "csp/csp_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

#define SIMKEY_NO_ENGINE (::SetLastError(static_cast<DWORD>(NTE_PROVIDER_DLL_FAIL)), FALSE)

SIMKEY_FORWARD(BOOL, CPAcquireContext, "SimCsp_AcquireContext", SIMKEY_NO_ENGINE,
               (HCRYPTPROV * prov, LPCSTR container, DWORD flags, csp::ProviderTable* table),
               (prov, container, flags, table))
SIMKEY_FORWARD(BOOL, CPReleaseContext, "SimCsp_ReleaseContext", SIMKEY_NO_ENGINE, (HCRYPTPROV prov, DWORD flags),
               (prov, flags))
SIMKEY_FORWARD(BOOL, CPGetProvParam, "SimCsp_GetProvParam", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, DWORD param, BYTE* data, DWORD* length, DWORD flags),
               (prov, param, data, length, flags))
SIMKEY_FORWARD(BOOL, CPSetProvParam, "SimCsp_SetProvParam", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, DWORD param, const BYTE* data, DWORD flags), (prov, param, data, flags))
SIMKEY_FORWARD(BOOL, CPGetUserKey, "SimCsp_GetUserKey", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, DWORD keySpec, HCRYPTKEY* key), (prov, keySpec, key))
SIMKEY_FORWARD(BOOL, CPGetKeyParam, "SimCsp_GetKeyParam", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, HCRYPTKEY key, DWORD param, BYTE* data, DWORD* length, DWORD flags),
               (prov, key, param, data, length, flags))
SIMKEY_FORWARD(BOOL, CPDestroyKey, "SimCsp_DestroyKey", SIMKEY_NO_ENGINE, (HCRYPTPROV prov, HCRYPTKEY key),
               (prov, key))

SIMKEY_FORWARD(BOOL, CPExportKey, "SimCsp_ExportKey", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, HCRYPTKEY key, HCRYPTKEY exchangeKey, DWORD blobType, DWORD flags, BYTE* data,
                DWORD* length),
               (prov, key, exchangeKey, blobType, flags, data, length))
SIMKEY_FORWARD(BOOL, CPCreateHash, "SimCsp_CreateHash", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash),
               (prov, algorithm, key, flags, hash))
SIMKEY_FORWARD(BOOL, CPHashData, "SimCsp_HashData", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, HCRYPTHASH hash, const BYTE* data, DWORD length, DWORD flags),
               (prov, hash, data, length, flags))
SIMKEY_FORWARD(BOOL, CPSetHashParam, "SimCsp_SetHashParam", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, const BYTE* data, DWORD flags),
               (prov, hash, param, data, flags))
SIMKEY_FORWARD(BOOL, CPGetHashParam, "SimCsp_GetHashParam", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* length, DWORD flags),
               (prov, hash, param, data, length, flags))
SIMKEY_FORWARD(BOOL, CPDestroyHash, "SimCsp_DestroyHash", SIMKEY_NO_ENGINE, (HCRYPTPROV prov, HCRYPTHASH hash),
               (prov, hash))
SIMKEY_FORWARD(BOOL, CPSignHash, "SimCsp_SignHash", SIMKEY_NO_ENGINE,
               (HCRYPTPROV prov, HCRYPTHASH hash, DWORD keySpec, LPCWSTR description, DWORD flags, BYTE* signature,
                DWORD* length),
               (prov, hash, keySpec, description, flags, signature, length))
SIMKEY_FORWARD(BOOL, CPGenRandom, "SimCsp_GenRandom", SIMKEY_NO_ENGINE, (HCRYPTPROV prov, DWORD length, BYTE* buffer),
               (prov, length, buffer))

// Entry points the system's router requires of a provider; the key does
// not offer these operations (no session keys, no key import or
// generation through CryptoAPI): they fail with NTE_NOT_SUPPORTED.
namespace {
BOOL NotOffered() {
    ::SetLastError(static_cast<DWORD>(NTE_NOT_SUPPORTED));
    return FALSE;
}
}  // namespace

extern "C" {
BOOL WINAPI CPImportKey(HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*) { return NotOffered(); }
BOOL WINAPI CPSetKeyParam(HCRYPTPROV, HCRYPTKEY, DWORD, const BYTE*, DWORD) { return NotOffered(); }
BOOL WINAPI CPGenKey(HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY*) { return NotOffered(); }
BOOL WINAPI CPDeriveKey(HCRYPTPROV, ALG_ID, HCRYPTHASH, DWORD, HCRYPTKEY*) { return NotOffered(); }
BOOL WINAPI CPEncrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*, DWORD) { return NotOffered(); }
BOOL WINAPI CPDecrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, BYTE*, DWORD*) { return NotOffered(); }
BOOL WINAPI CPHashSessionKey(HCRYPTPROV, HCRYPTHASH, HCRYPTKEY, DWORD) { return NotOffered(); }
BOOL WINAPI CPVerifySignature(HCRYPTPROV, HCRYPTHASH, const BYTE*, DWORD, HCRYPTKEY, LPCWSTR, DWORD) {
    return NotOffered();
}
}
