// A client of the simulated key's control interface, for the control
// program, the tests and the benchmarks: the engine from the system
// directory, one JSON request per call.
#pragma once

#include "simkey/engine_api.h"
#include "win/system_module.h"

#include <nlohmann/json.hpp>

namespace simkey {

class ControlClient {
public:
    ControlClient() {
        HMODULE m = win::LoadSystemLibrary(kEngineName);  // never freed: the engine stays loaded
        if (!m) return;
        control_ = reinterpret_cast<SimKey_ControlFn>(::GetProcAddress(m, "SimKey_Control"));
        free_ = reinterpret_cast<SimKey_FreeFn>(::GetProcAddress(m, "SimKey_Free"));
    }
    bool loaded() const { return control_ && free_; }

    nlohmann::json Call(const nlohmann::json& request) const {
        if (!loaded()) return {{"ok", false}, {"error", "simkey_engine.dll not found in the system directory"}};
        char* answer = control_(request.dump().c_str());
        nlohmann::json j = nlohmann::json::parse(answer ? answer : "", nullptr, false);
        free_(answer);
        if (j.is_discarded()) return {{"ok", false}, {"error", "unreadable answer"}};
        return j;
    }

private:
    SimKey_ControlFn control_ = nullptr;
    SimKey_FreeFn free_ = nullptr;
};

}  // namespace simkey
