// bench_agent: the tray agent's answer to a key insertion, for keys holding
// 2, 8 and 32 certificates: the time from the arrival notification to
// (a) the key's certificates being in the user's stores and (b)
// WaitForKeyEvent returning in another process, each against adding the
// same certificates directly with AddCertToStore in the same run.
// The agent runs from the prefix's system directory; a copy of this program
// started with --waiter is the waiting application.
#include "api/velta_ukey.h"
#include "bench_clock.h"
#include "csp/csp_binding.h"
#include "events/event_names.h"
#include "simkey/control_client.h"
#include "store/cert_store.h"
#include "win/crypt_handles.h"
#include "win/system_module.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kProvider[] = "VLBK USBKEY2 CSP QVL";
constexpr int kRounds = 5;
constexpr wchar_t kDelivered[] = L"UkeyBenchAgentDelivered";

double Now() { return bench::NowUs() / 1000.0; }  // milliseconds
using bench::Median;

std::wstring OwnPath() {
    wchar_t p[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, p, MAX_PATH);
    return std::wstring(p, n);
}

// The number of the provider's certificates in both user stores.
size_t Registered() {
    size_t n = 0;
    for (const wchar_t* name : {L"MY", L"addressbook"}) {
        win::CertStore s(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name));
        for (PCCERT_CONTEXT c = nullptr; s && (c = ::CertEnumCertificatesInStore(s.get(), c)) != nullptr;) {
            DWORD len = 0;
            if (::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &len)) ++n;
        }
    }
    return n;
}

template <typename Condition>
bool Until(Condition c, DWORD ms = 30000) {
    for (double end = Now() + ms; Now() < end;) {
        if (c()) return true;
        ::Sleep(1);
    }
    return false;
}

// The waiting application: sets the delivered event after every arrival.
int Waiter() {
    std::wstring dir = OwnPath();
    dir.resize(dir.find_last_of(L'\\'));
    dir.resize(dir.find_last_of(L'\\') + 1);  // the library sits in bin\, one folder up
    HMODULE lib = ::LoadLibraryW((dir + L"velta_unified_qvlukey_64.dll").c_str());
    auto wait = lib ? reinterpret_cast<decltype(&::WaitForKeyEvent)>(::GetProcAddress(lib, "WaitForKeyEvent")) : nullptr;
    win::Handle delivered(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kDelivered));
    if (!wait || !delivered) return 1;
    for (;;) {
        unsigned type = 0;
        char serial[64];
        int len = sizeof serial;
        if (wait(&type, serial, &len) != 0) return 1;
        if (type == 1) ::SetEvent(delivered.get());
    }
}

struct Process {
    PROCESS_INFORMATION pi{};
    bool Start(std::wstring cmd) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        return ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    }
    ~Process() {
        if (!pi.hProcess) return;
        if (::WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--waiter") return Waiter();
    simkey::ControlClient sim;
    if (!sim.loaded()) {
        std::fprintf(stderr, "bench_agent: the simulated key is not installed in this prefix\n");
        return 1;
    }
    sim.Call({{"op", "reset"}});
    store::RemoveProviderCerts(kProvider, 1, nullptr, 0);
    store::RemoveProviderCerts(kProvider, 2, nullptr, 0);

    win::Handle delivered(::CreateEventW(nullptr, FALSE, FALSE, kDelivered));
    Process agent, waiter;
    if (!agent.Start(L"\"" + win::SystemPath(L"K2Svr_VELTA.exe") + L"\"")) {
        std::fprintf(stderr, "bench_agent: the agent is not installed in the system directory\n");
        return 1;
    }
    Until([] { return ::FindWindowW(events::kAgentWindowClass, events::kAgentWindowTitle) != nullptr; });
    ::Sleep(500);  // its startup scan
    waiter.Start(L"\"" + OwnPath() + L"\" --waiter");
    ::Sleep(500);

    std::printf("Key insertion through the tray agent (median of %d insertions per key)\n", kRounds);
    std::printf("%6s %16s %14s %7s %18s %7s\n", "certs", "direct add ms", "to stores ms", "ratio",
                "to WaitForKey ms", "ratio");
    for (int certs : {2, 8, 32}) {
        const std::string serial = "BENCHAGENT" + std::to_string(certs);
        const std::string csp = "QVLBENCH" + std::to_string(certs);
        sim.Call({{"op", "create"}, {"serial", serial}, {"cspName", csp}});
        std::vector<std::pair<std::string, std::string>> pairs;  // container, DER
        for (int i = 0; i < certs; ++i) {
            auto a = sim.Call({{"op", "add_container"}, {"serial", serial}, {"algorithm", i % 2 ? "sm2" : "rsa1024"}});
            pairs.emplace_back(a["container"], "");
        }
        const nlohmann::json state = sim.Call({{"op", "state"}});
        for (const auto& c : state["keys"])
            if (c["serial"] == serial)
                for (size_t i = 0; i < pairs.size(); ++i) {
                    std::string hex = c["containers"][i]["pairs"][0]["certHex"], der;
                    for (size_t j = 0; j + 1 < hex.size(); j += 2) der += static_cast<char>(std::stoi(hex.substr(j, 2), nullptr, 16));
                    pairs[i].second = der;
                }
        std::vector<double> direct, stores, delivery;
        for (int round = 0; round < kRounds; ++round) {
            double t0 = Now();
            for (size_t i = 0; i < pairs.size(); ++i)
                store::AddCertToStore(kProvider, i % 2 ? 2 : 1, (csp::CspReaderName(csp.c_str()) + pairs[i].first).c_str(), 2,
                                      reinterpret_cast<const BYTE*>(pairs[i].second.data()),
                                      static_cast<DWORD>(pairs[i].second.size()));
            direct.push_back(Now() - t0);
            store::RemoveProviderCerts(kProvider, 1, nullptr, 0);
            store::RemoveProviderCerts(kProvider, 2, nullptr, 0);

            ::ResetEvent(delivered.get());
            t0 = Now();
            sim.Call({{"op", "plug"}, {"serial", serial}});  // the broadcast reaches the agent's window
            double got = 0;
            if (::WaitForSingleObject(delivered.get(), 30000) == WAIT_OBJECT_0) got = Now();
            Until([&] { return Registered() == static_cast<size_t>(certs); });
            stores.push_back(Now() - t0);
            delivery.push_back(got ? got - t0 : 0);
            sim.Call({{"op", "unplug"}, {"serial", serial}});
            Until([] { return Registered() == 0; });
        }
        double d = Median(direct), s = Median(stores), w = Median(delivery);
        std::printf("%6d %16.1f %14.1f %7.2f %18.1f %7.2f\n", certs, d, s, s / d, w, w / d);
    }
    ::PostMessageW(::FindWindowW(events::kAgentWindowClass, events::kAgentWindowTitle), WM_CLOSE, 0, 0);
    ::TerminateProcess(waiter.pi.hProcess, 0);
    return 0;
}
