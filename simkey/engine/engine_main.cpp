#include "crypto.h"

#include <windows.h>

#include <openssl/crypto.h>

// The engine stays loaded for the life of the process: it pins itself, so
// that no FreeLibrary (of a stand-in component or by a test) unmaps it while
// OpenSSL still has state in it. Were it ever unloaded, OpenSSL is cleaned
// up while the module is still mapped (it was set up without its exit
// handler).
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        HMODULE self = nullptr;
        ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                             reinterpret_cast<LPCWSTR>(&DllMain), &self);
    }
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) OPENSSL_cleanup();
    return TRUE;
}
