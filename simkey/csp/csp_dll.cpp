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

// Not simulated yet: fail with E_NOTIMPL.
namespace {
BOOL NotSimulated() {
    ::SetLastError(static_cast<DWORD>(E_NOTIMPL));
    return FALSE;
}
}  // namespace

extern "C" {
BOOL WINAPI CPExportKey(HCRYPTPROV, HCRYPTKEY, HCRYPTKEY, DWORD, DWORD, BYTE*, DWORD*) { return NotSimulated(); }
BOOL WINAPI CPImportKey(HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*) { return NotSimulated(); }
BOOL WINAPI CPSetKeyParam(HCRYPTPROV, HCRYPTKEY, DWORD, const BYTE*, DWORD) { return NotSimulated(); }
}
