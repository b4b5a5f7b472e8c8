// K2Pinpad_VELTA.dll of the simulated key: the PIN dialog plays scripted
// answers (simkey pinpad ...); every call is recorded by the engine.
#include "common/engine_link.h"
#include "pinpad/pinpad_api.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

SIMKEY_FORWARD(ULONG, Pinpad_Indicator, "SimPad_Indicator", simkey::kEngineMissing,
               (HWND owner, FARPROC tokenFunction, ULONGLONG keyInfo, void* request),
               (owner, tokenFunction, keyInfo, request))
SIMKEY_FORWARD(ULONGLONG, Pinpad_GetKeyInfo, "SimPad_GetKeyInfo", 0, (ULONG a, ULONG b), (a, b))
SIMKEY_FORWARD(ULONG, Pinpad_Param, "SimPad_Param", simkey::kEngineMissing, (ULONG * attribute, ULONG reserved),
               (attribute, reserved))
SIMKEY_FORWARD(ULONG, Pinpad_ShowDialog, "SimPad_ShowDialog", simkey::kEngineMissing, (ULONG kind, void* data),
               (kind, data))
