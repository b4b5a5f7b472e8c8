// store_probe: what another process sees of the user's certificate stores
// and of the key's provider, for the tests.
//   store_probe list MY|addressbook   one line per certificate:
//                                     SHA1 KEYSPEC CONTAINER|PROVIDER  (or SHA1 - -)
//   store_probe csp-enum READER       the binding's answer and the container names
#include "csp/csp_binding.h"
#include "text/command_line.h"
#include "text/text_convert.h"
#include "win/crypt_handles.h"

#include <cstdio>
#include <vector>

int main() {
    std::vector<std::string> args = text::Utf8Arguments();
    if (args.size() == 2 && args[0] == "list") {
        std::wstring name = text::ToWide(args[1], CP_UTF8);
        win::CertStore store(
            ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name.c_str()));
        if (!store) return 1;
        for (PCCERT_CONTEXT c = nullptr; (c = ::CertEnumCertificatesInStore(store.get(), c)) != nullptr;) {
            BYTE hash[20];
            DWORD n = sizeof hash;
            ::CertGetCertificateContextProperty(c, CERT_SHA1_HASH_PROP_ID, hash, &n);
            for (BYTE b : hash) std::printf("%02x", b);
            std::vector<BYTE> room(2048);
            DWORD len = static_cast<DWORD>(room.size());
            if (::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, room.data(), &len)) {
                auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(room.data());
                std::printf(" %lu %s|%s\n", info->dwKeySpec, text::FromWide(info->pwszContainerName, CP_UTF8).c_str(),
                            text::FromWide(info->pwszProvName, CP_UTF8).c_str());
            } else {
                std::printf(" - -\n");
            }
        }
        return 0;
    }
    if (args.size() == 2 && args[0] == "csp-enum") {
        uint8_t list[csp::kContainerListRoom];
        DWORD total = 0;
        DWORD r = csp::CspEnumContainers(args[1], list, sizeof list, &total);
        std::printf("result 0x%08lx\n", r);
        for (const std::string& n : csp::ContainerNames(list, total)) std::printf("%s\n", n.c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: store_probe list STORE | csp-enum READER\n");
    return 2;
}
