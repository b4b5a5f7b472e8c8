#include "store/cert_store.h"

#include "win/crypt_handles.h"

#include <vector>

namespace store {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr int kNameRoom = 256;

DWORD LastError() {
    DWORD e = ::GetLastError();
    return e ? e : static_cast<DWORD>(E_FAIL);
}

HCERTSTORE OpenUserStore(DWORD selector) {
    return ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, StoreName(selector));
}

void Commit(HCERTSTORE s) { ::CertControlStore(s, CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr); }

bool SelfIssued(PCCERT_CONTEXT c) {
    return ::CertCompareCertificateName(X509_ASN_ENCODING, &c->pCertInfo->Issuer, &c->pCertInfo->Subject) != FALSE;
}

// The key-provider information of a certificate, read into a bounded buffer.
const CRYPT_KEY_PROV_INFO* ProviderInfo(PCCERT_CONTEXT c, std::vector<BYTE>& room) {
    room.assign(2048, 0);
    DWORD n = static_cast<DWORD>(room.size());
    if (!::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, room.data(), &n)) return nullptr;
    return reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(room.data());
}

bool BeginsWith(const wchar_t* text, const std::wstring& prefix) {
    return text && wcsncmp(text, prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

const wchar_t* StoreName(DWORD selector) { return selector == 1 ? L"MY" : L"addressbook"; }

bool NameToWide(const char* name, std::wstring& out) {
    wchar_t buf[kNameRoom];
    int n = ::MultiByteToWideChar(936, MB_PRECOMPOSED, name, -1, buf, kNameRoom);
    if (n <= 0) return false;
    out.assign(buf, static_cast<size_t>(n - 1));
    return true;
}

DWORD AddCertToStore(const char* providerName, DWORD algorithm, const char* storeContainer, DWORD keySpec,
                     const BYTE* certificate, DWORD length) {
    std::wstring provider, container;
    if (providerName && storeContainer &&
        (!NameToWide(providerName, provider) || !NameToWide(storeContainer, container)))
        return ERROR_INVALID_PARAMETER;
    if (!certificate || length == 0) return static_cast<DWORD>(CRYPT_E_ASN1_EOD);
    win::CertContext cert(::CertCreateCertificateContext(kEncoding, certificate, length));
    if (!cert) return LastError();

    if (keySpec != 0) {
        if (SelfIssued(cert.get())) return 0;  // a CA or self-made certificate is never bound to the key
        CRYPT_KEY_PROV_INFO info{};
        info.pwszContainerName = container.data();
        info.pwszProvName = provider.data();
        info.dwProvType = 1;
        info.dwKeySpec = keySpec;
        if (!::CertSetCertificateContextProperty(cert.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info))
            return LastError();
    }
    win::CertStore store(OpenUserStore(algorithm));
    if (!store) return LastError();
    DWORD how = keySpec != 0 ? CERT_STORE_ADD_REPLACE_EXISTING : CERT_STORE_ADD_NEW;
    if (!::CertAddCertificateContextToStore(store.get(), cert.get(), how, nullptr)) {
        DWORD e = LastError();
        return e == static_cast<DWORD>(CRYPT_E_EXISTS) ? 0 : e;
    }
    Commit(store.get());
    return 0;
}

DWORD RemoveProviderCertsWhere(const char* providerName, DWORD storeSelector, const RemovalRule& remove) {
    win::CertStore store(OpenUserStore(storeSelector));
    if (!store) return LastError();
    std::wstring provider;
    if (!providerName || !NameToWide(providerName, provider)) return 0;

    // Deleting while enumerating loops forever on Wine: collect first.
    std::vector<win::CertContext> doomed;
    std::vector<BYTE> room;
    for (PCCERT_CONTEXT c = nullptr; (c = ::CertEnumCertificatesInStore(store.get(), c)) != nullptr;) {
        const CRYPT_KEY_PROV_INFO* info = ProviderInfo(c, room);
        if (!info || !info->pwszProvName || provider != info->pwszProvName) continue;
        const wchar_t* name = info->pwszContainerName ? info->pwszContainerName : L"";
        if (remove(name, info->dwKeySpec)) doomed.emplace_back(::CertDuplicateCertificateContext(c));
    }
    for (win::CertContext& c : doomed) ::CertDeleteCertificateFromStore(c.release());  // frees the context; failures ignored
    if (!doomed.empty()) Commit(store.get());
    return 0;
}

DWORD RemoveProviderCerts(const char* providerName, DWORD storeSelector, const char* container, int keySpecMode) {
    std::wstring prefix;
    const bool haveContainer = container != nullptr;
    // A container that does not convert must not widen the removal to all.
    if (haveContainer && !NameToWide(container, prefix)) return ERROR_INVALID_PARAMETER;
    static const std::wstring kSystemNaming = L"\\\\.\\";
    return RemoveProviderCertsWhere(providerName, storeSelector, [&](const wchar_t* name, DWORD keySpec) {
        if (keySpecMode == -1) return !haveContainer || !BeginsWith(name, kSystemNaming) || BeginsWith(name, prefix);
        return (!haveContainer || BeginsWith(name, prefix)) &&
               (keySpecMode == 0 || keySpec == static_cast<DWORD>(keySpecMode));
    });
}

}  // namespace store
