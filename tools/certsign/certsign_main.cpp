// certsign: an ordinary CryptoAPI program, to show that what the tray agent
// registers works for any program. It finds a certificate in the user's
// "MY" store by a part of its subject, signs a message with its private key
// through the system's CryptoAPI (which reaches the key's provider), and
// checks the signature with the certificate's public key.
//   certsign SUBJECT-PART MESSAGE
#include "text/command_line.h"
#include "text/text_convert.h"
#include "win/crypt_handles.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Fail(const char* what) {
    std::printf("certsign: %s failed, error 0x%08lx\n", what, ::GetLastError());
    return 1;
}

struct Provider {
    HCRYPTPROV handle = 0;
    bool owned = false;
    ~Provider() {
        if (handle && owned) ::CryptReleaseContext(handle, 0);
    }
};

struct Hash {
    HCRYPTHASH handle = 0;
    ~Hash() {
        if (handle) ::CryptDestroyHash(handle);
    }
};

}  // namespace

int main() {
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args = text::Utf8Arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: certsign SUBJECT-PART MESSAGE\n");
        return 2;
    }
    std::wstring subject = text::ToWide(args[0], CP_UTF8);
    win::CertStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
    if (!my) return Fail("opening MY");
    win::CertContext cert(::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_W,
                                                       subject.c_str(), nullptr));
    if (!cert) return Fail("finding the certificate");
    wchar_t name[256];
    ::CertGetNameStringW(cert.get(), CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
    std::printf("certificate: %s\n", text::FromWide(name, CP_UTF8).c_str());

    Provider key;
    DWORD keySpec = 0;
    BOOL mustFree = FALSE;
    if (!::CryptAcquireCertificatePrivateKey(cert.get(), 0, nullptr, &key.handle, &keySpec, &mustFree))
        return Fail("CryptAcquireCertificatePrivateKey");
    key.owned = mustFree != FALSE;
    char provName[256] = {};
    DWORD len = sizeof provName;
    ::CryptGetProvParam(key.handle, PP_NAME, reinterpret_cast<BYTE*>(provName), &len, 0);
    std::printf("private key: provider \"%s\", key spec %lu\n", provName, keySpec);

    const std::string& message = args[1];
    Hash hash;
    if (!::CryptCreateHash(key.handle, CALG_SHA1, 0, 0, &hash.handle) ||
        !::CryptHashData(hash.handle, reinterpret_cast<const BYTE*>(message.data()), static_cast<DWORD>(message.size()), 0))
        return Fail("hashing");
    DWORD sigLen = 0;
    if (!::CryptSignHashW(hash.handle, keySpec, nullptr, 0, nullptr, &sigLen)) return Fail("CryptSignHash (size)");
    std::vector<BYTE> sig(sigLen);
    if (!::CryptSignHashW(hash.handle, keySpec, nullptr, 0, sig.data(), &sigLen)) return Fail("CryptSignHash");
    std::printf("signature: %lu bytes, ", sigLen);
    for (DWORD i = 0; i < 8 && i < sigLen; ++i) std::printf("%02x", sig[sigLen - 1 - i]);
    std::printf("...\n");

    Provider system;
    system.owned = true;
    if (!::CryptAcquireContextW(&system.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return Fail("the system provider");
    HCRYPTKEY pub = 0;
    Hash check;
    bool ok = ::CryptImportPublicKeyInfo(system.handle, X509_ASN_ENCODING, &cert.get()->pCertInfo->SubjectPublicKeyInfo,
                                         &pub) &&
              ::CryptCreateHash(system.handle, CALG_SHA1, 0, 0, &check.handle) &&
              ::CryptHashData(check.handle, reinterpret_cast<const BYTE*>(message.data()),
                              static_cast<DWORD>(message.size()), 0) &&
              ::CryptVerifySignatureW(check.handle, sig.data(), sigLen, pub, nullptr, 0);
    if (pub) ::CryptDestroyKey(pub);
    std::printf("verified with the certificate's public key: %s\n", ok ? "yes" : "NO");
    return ok ? 0 : 1;
}
