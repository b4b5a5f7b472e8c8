#include "store_listing.h"

#include "text/text_convert.h"
#include "win/crypt_handles.h"

#include <cstdio>
#include <vector>

namespace ukeytool {

int ListProviderCertificates() {
    for (const wchar_t* name : {L"MY", L"addressbook"}) {
        std::printf("%s:\n", text::FromWide(name, CP_UTF8).c_str());
        win::CertStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, name));
        int shown = 0;
        for (PCCERT_CONTEXT c = nullptr; store && (c = ::CertEnumCertificatesInStore(store.get(), c)) != nullptr;) {
            std::vector<BYTE> room(2048);
            DWORD n = static_cast<DWORD>(room.size());
            if (!::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, room.data(), &n)) continue;
            auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(room.data());
            if (!info->pwszProvName || std::wstring(info->pwszProvName) != L"VLBK USBKEY2 CSP QVL") continue;
            wchar_t subject[256];
            ::CertGetNameStringW(c, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, subject, 256);
            std::printf("  %s\n    container %s, key spec %lu (%s), provider %s\n",
                        text::FromWide(subject, CP_UTF8).c_str(),
                        text::FromWide(info->pwszContainerName ? info->pwszContainerName : L"", CP_UTF8).c_str(),
                        info->dwKeySpec, info->dwKeySpec == AT_KEYEXCHANGE ? "exchange" : "signature",
                        text::FromWide(info->pwszProvName, CP_UTF8).c_str());
            ++shown;
        }
        if (!shown) std::printf("  (none of the key provider's)\n");
    }
    return 0;
}

}  // namespace ukeytool
