// Store registration: what adding and removing a key's certificates with
// their provider binding costs, per certificate, against a bare
// CertAddEncodedCertificateToStore of the same certificates, measured side
// by side in one run. Certificates come from a simulated key.
#include "bench_clock.h"
#include "csp/csp_binding.h"
#include "simkey/control_client.h"
#include "store/cert_store.h"
#include "win/crypt_handles.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kProvider[] = "VLBK USBKEY2 CSP QVL";
constexpr int kRuns = 7;

double Now() { return bench::NowUs(); }
using bench::Median;

std::string Bytes(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

HCERTSTORE OpenMy() {
    return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
}

void Commit(HCERTSTORE s) { ::CertControlStore(s, CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr); }

// Deletes the given certificates from "MY" with the bare calls.
void BareDelete(const std::vector<std::string>& certs) {
    win::CertStore store(OpenMy());
    for (const std::string& der : certs) {
        win::CertContext c(::CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                          static_cast<DWORD>(der.size())));
        PCCERT_CONTEXT found = ::CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                            c.get(), nullptr);
        if (found) ::CertDeleteCertificateFromStore(found);
    }
    Commit(store.get());
}

}  // namespace

int main() {
    simkey::ControlClient sim;
    if (!sim.loaded()) {
        std::fprintf(stderr, "bench_store: the simulated key is not installed in this prefix\n");
        return 1;
    }
    const std::string serial = "BENCHSTORE000001";
    sim.Call({{"op", "remove"}, {"serial", serial}});
    sim.Call({{"op", "create"}, {"serial", serial}, {"cspName", "QVLBENCH"}, {"plug", true}});
    std::vector<std::string> certs, names;
    for (int i = 0; i < 32; ++i) {
        nlohmann::json a = sim.Call({{"op", "add_container"}, {"serial", serial}, {"algorithm", "rsa1024"}});
        if (!a.value("ok", false)) {
            std::fprintf(stderr, "bench_store: %s\n", a.dump().c_str());
            return 1;
        }
        names.push_back(a["container"]);
    }
    nlohmann::json key = sim.Call({{"op", "state"}})["keys"];
    for (const auto& k : key)
        if (k["serial"] == serial)
            for (const auto& c : k["containers"]) certs.push_back(Bytes(c["pairs"][0]["certHex"]));
    const std::string reader = csp::CspReaderName("QVLBENCH");

    std::printf("Store registration in the user's \"MY\" store, per certificate (median of %d runs)\n", kRuns);
    std::printf("%6s %14s %18s %7s %18s %7s\n", "certs", "bare add us", "AddCertToStore us", "ratio",
                "RemoveProvider us", "ratio");
    for (size_t n : {1, 8, 32}) {
        std::vector<double> bare, ours, removal;
        for (int run = 0; run < kRuns; ++run) {
            store::RemoveProviderCerts(kProvider, 1, nullptr, 0);
            BareDelete(certs);

            double t0 = Now();
            {
                win::CertStore store(OpenMy());
                for (size_t i = 0; i < n; ++i)
                    ::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                                       reinterpret_cast<const BYTE*>(certs[i].data()),
                                                       static_cast<DWORD>(certs[i].size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                       nullptr);
                Commit(store.get());
            }
            bare.push_back((Now() - t0) / n);
            BareDelete(certs);

            t0 = Now();
            for (size_t i = 0; i < n; ++i)
                store::AddCertToStore(kProvider, 1, (reader + names[i]).c_str(), 2,
                                      reinterpret_cast<const BYTE*>(certs[i].data()),
                                      static_cast<DWORD>(certs[i].size()));
            ours.push_back((Now() - t0) / n);

            t0 = Now();
            store::RemoveProviderCerts(kProvider, 1, reader.c_str(), -1);
            removal.push_back((Now() - t0) / n);
        }
        double b = Median(bare), o = Median(ours), r = Median(removal);
        std::printf("%6zu %14.1f %18.1f %7.2f %18.1f %7.2f\n", n, b, o, o / b, r, r / b);
    }
    sim.Call({{"op", "remove"}, {"serial", serial}});
    return 0;
}
