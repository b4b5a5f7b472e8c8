#include <windows.h>

// The token session is a static object: the C runtime constructs it when the
// library is loaded and destroys it at unload. Nothing else happens here.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
