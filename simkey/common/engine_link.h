// How the stand-in components reach the engine: loaded from the system
// directory on first use and never freed (the engine also pins itself), so
// freeing a stand-in component leaves the engine and its OpenSSL in place.
#pragma once

#include "simkey/engine_api.h"
#include "win/system_module.h"

#include <windows.h>

namespace simkey {

inline HMODULE Engine() {
    static HMODULE engine = [] {
        HMODULE m = ::GetModuleHandleW(kEngineName);
        return m ? m : win::LoadSystemLibrary(kEngineName);
    }();
    return engine;
}

template <typename Fn>
Fn EngineEntry(const char* name) {
    HMODULE m = Engine();
    return m ? reinterpret_cast<Fn>(::GetProcAddress(m, name)) : nullptr;
}

}  // namespace simkey

// Defines an export that forwards to the engine entry of the same shape.
#define SIMKEY_FORWARD(Ret, Name, Target, Missing, Params, Args)                         \
    extern "C" Ret WINAPI Name Params {                                                  \
        using Fn = Ret(WINAPI*) Params;                                                  \
        static Fn target = simkey::EngineEntry<Fn>(Target);                              \
        return target ? target Args : (Missing);                                         \
    }
