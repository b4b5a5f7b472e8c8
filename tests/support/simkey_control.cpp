#include "simkey_control.h"

#include "config/product.h"
#include "simkey/engine_api.h"
#include "win/system_module.h"

namespace testing_support {
namespace {

struct Engine {
    SimKey_ControlFn control = nullptr;
    SimKey_FreeFn free = nullptr;
    Engine() {
        HMODULE m = win::LoadSystemLibrary(simkey::kEngineName);
        if (!m) return;
        control = reinterpret_cast<SimKey_ControlFn>(::GetProcAddress(m, "SimKey_Control"));
        free = reinterpret_cast<SimKey_FreeFn>(::GetProcAddress(m, "SimKey_Free"));
    }
};

Engine& TheEngine() {
    static Engine e;
    return e;
}

}  // namespace

json SimKey(const json& request) {
    Engine& e = TheEngine();
    if (!e.control) return {{"ok", false}, {"error", "simkey_engine.dll not installed in the prefix"}};
    char* answer = e.control(request.dump().c_str());
    json j = json::parse(answer ? answer : "", nullptr, false);
    e.free(answer);
    return j;
}

json SimKeyOk(const json& request) {
    json a = SimKey(request);
    EXPECT_TRUE(a.value("ok", false)) << request.dump() << " -> " << a.dump();
    return a;
}

json CreateKey(const std::string& serial, json options, bool plug) {
    options["op"] = "create";
    options["serial"] = serial;
    options["plug"] = plug;
    return SimKeyOk(options)["key"];
}

void Plug(const std::string& serial) { SimKeyOk({{"op", "plug"}, {"serial", serial}}); }
void Unplug(const std::string& serial) { SimKeyOk({{"op", "unplug"}, {"serial", serial}}); }
void PadAnswers(const json& answers) { SimKeyOk({{"op", "pinpad"}, {"answers", answers}}); }

json KeyState(const std::string& serial) {
    const json state = SimKeyOk({{"op", "state"}});
    for (const json& k : state["keys"])
        if (k["serial"] == serial) return k;
    ADD_FAILURE() << "no simulated key " << serial;
    return json::object();
}

json PadCalls() { return SimKeyOk({{"op", "pad_calls"}})["calls"]; }

std::wstring ProgramDir() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

void CleanKeyState::SetUp() {
    json r = SimKey({{"op", "reset"}});
    ASSERT_TRUE(r.value("ok", false)) << r.dump();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, product::kRegistryKey);
}

}  // namespace testing_support
