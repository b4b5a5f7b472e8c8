#include "simkey_control.h"

#include "config/product.h"
#include "simkey/control_client.h"
#include "win/crypt_handles.h"
#include "win/system_module.h"

#include <vector>

namespace testing_support {
namespace {

const simkey::ControlClient& TheEngine() {
    static simkey::ControlClient e;
    return e;
}

}  // namespace

json SimKey(const json& request) { return TheEngine().Call(request); }

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

std::string AddContainer(const std::string& serial, json options) {
    options["op"] = "add_container";
    options["serial"] = serial;
    json a = SimKeyOk(options);
    return a.value("container", "");
}

json PairOf(const std::string& serial, const std::string& container, int keySpec) {
    json k = KeyState(serial);
    for (const json& c : k["containers"])
        if (c["name"] == container)
            for (const json& p : c["pairs"])
                if (p["keySpec"] == keySpec) return p;
    return json();
}

std::string HexToBytes(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

json PadCalls() { return SimKeyOk({{"op", "pad_calls"}})["calls"]; }

std::wstring ProgramDir() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

void EmptyUserStores() {
    for (const wchar_t* name : {L"MY", L"addressbook"}) {
        win::CertStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name));
        if (!store) continue;
        std::vector<PCCERT_CONTEXT> all;
        for (PCCERT_CONTEXT c = nullptr; (c = ::CertEnumCertificatesInStore(store.get(), c)) != nullptr;)
            all.push_back(::CertDuplicateCertificateContext(c));
        for (PCCERT_CONTEXT c : all) ::CertDeleteCertificateFromStore(c);
        ::CertControlStore(store.get(), CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
    }
}

void CleanKeyState::SetUp() {
    json r = SimKey({{"op", "reset"}});
    ASSERT_TRUE(r.value("ok", false)) << r.dump();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, product::kRegistryKey);
    EmptyUserStores();
}

}  // namespace testing_support
