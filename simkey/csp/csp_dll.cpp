// K2CSP_VELTA.dll of the simulated key. The ten entry points the system
// binds are present; until the provider is simulated each fails with
// E_NOTIMPL as its last error.
#include "csp/csp_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

namespace {
BOOL NotSimulated() {
    ::SetLastError(static_cast<DWORD>(E_NOTIMPL));
    return FALSE;
}
}  // namespace

extern "C" {
BOOL WINAPI CPAcquireContext(HCRYPTPROV*, LPCSTR, DWORD, csp::ProviderTable*) { return NotSimulated(); }
BOOL WINAPI CPGetProvParam(HCRYPTPROV, DWORD, BYTE*, DWORD*, DWORD) { return NotSimulated(); }
BOOL WINAPI CPSetProvParam(HCRYPTPROV, DWORD, const BYTE*, DWORD) { return NotSimulated(); }
BOOL WINAPI CPReleaseContext(HCRYPTPROV, DWORD) { return NotSimulated(); }
BOOL WINAPI CPGetUserKey(HCRYPTPROV, DWORD, HCRYPTKEY*) { return NotSimulated(); }
BOOL WINAPI CPExportKey(HCRYPTPROV, HCRYPTKEY, HCRYPTKEY, DWORD, DWORD, BYTE*, DWORD*) { return NotSimulated(); }
BOOL WINAPI CPImportKey(HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*) { return NotSimulated(); }
BOOL WINAPI CPGetKeyParam(HCRYPTPROV, HCRYPTKEY, DWORD, BYTE*, DWORD*, DWORD) { return NotSimulated(); }
BOOL WINAPI CPSetKeyParam(HCRYPTPROV, HCRYPTKEY, DWORD, const BYTE*, DWORD) { return NotSimulated(); }
BOOL WINAPI CPDestroyKey(HCRYPTPROV, HCRYPTKEY) { return NotSimulated(); }
}
