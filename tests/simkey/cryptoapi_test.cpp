// The key's certificate, registered in the user's store, is usable by any
// CryptoAPI program: the system's router reaches the simulated CSP, which
// signs on the key after the user's PIN.
#include "csp/csp_binding.h"
#include "simkey/engine_api.h"
#include "simkey_control.h"
#include "store/cert_store.h"
#include "win/crypt_handles.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

constexpr char kProvider[] = "VLBK USBKEY2 CSP QVL";

class CryptoApiSigning : public CleanKeyState {
protected:
    void SetUp() override {
        CleanKeyState::SetUp();
        CreateKey("ROUTER-KEY-01", {{"cspName", "QVLROUTER"}, {"pin", "314159"}});
        container = AddContainer("ROUTER-KEY-01", {{"algorithm", "rsa2048"}, {"cn", "Router Test"}});
        der = HexToBytes(PairOf("ROUTER-KEY-01", container, 2)["certHex"]);
        ASSERT_EQ(store::AddCertToStore(kProvider, 1, (csp::CspReaderName("QVLROUTER") + container).c_str(), 2,
                                        reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())),
                  0u);
    }
    // The registered certificate as a program finds it in "MY".
    win::CertContext FindInStore() {
        win::CertStore my(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
        win::CertContext mine(::CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                             static_cast<DWORD>(der.size())));
        return win::CertContext(::CertFindCertificateInStore(my.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                             mine.get(), nullptr));
    }
    std::string container, der;
};

// Signs the message through the certificate's private key; the signature or
// the error.
bool SignThroughRouter(PCCERT_CONTEXT cert, const std::string& message, std::string& signature, DWORD& error) {
    HCRYPTPROV prov = 0;
    DWORD keySpec = 0;
    BOOL mustFree = FALSE;
    if (!::CryptAcquireCertificatePrivateKey(cert, 0, nullptr, &prov, &keySpec, &mustFree)) {
        error = ::GetLastError();
        return false;
    }
    HCRYPTHASH hash = 0;
    bool ok = ::CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash) &&
              ::CryptHashData(hash, reinterpret_cast<const BYTE*>(message.data()), static_cast<DWORD>(message.size()), 0);
    DWORD len = 0;
    ok = ok && ::CryptSignHashW(hash, keySpec, nullptr, 0, nullptr, &len);
    signature.assign(len, '\0');
    ok = ok && ::CryptSignHashW(hash, keySpec, nullptr, 0, reinterpret_cast<BYTE*>(signature.data()), &len);
    error = ok ? 0 : ::GetLastError();
    if (hash) ::CryptDestroyHash(hash);
    if (mustFree) ::CryptReleaseContext(prov, 0);
    return ok;
}

// Verifies with the certificate's public key in the system's own provider.
bool Verifies(PCCERT_CONTEXT cert, const std::string& message, const std::string& signature) {
    HCRYPTPROV prov = 0;
    if (!::CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return false;
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    bool ok = ::CryptImportPublicKeyInfo(prov, X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo, &key) &&
              ::CryptCreateHash(prov, CALG_SHA1, 0, 0, &hash) &&
              ::CryptHashData(hash, reinterpret_cast<const BYTE*>(message.data()), static_cast<DWORD>(message.size()), 0) &&
              ::CryptVerifySignatureW(hash, reinterpret_cast<const BYTE*>(signature.data()),
                                      static_cast<DWORD>(signature.size()), key, nullptr, 0);
    if (hash) ::CryptDestroyHash(hash);
    if (key) ::CryptDestroyKey(key);
    ::CryptReleaseContext(prov, 0);
    return ok;
}

TEST_F(CryptoApiSigning, SignatureVerifiesWithTheCertificatesPublicKey) {
    win::CertContext cert = FindInStore();
    ASSERT_TRUE(cert);
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "314159"}}}));
    std::string sig;
    DWORD error = 0;
    ASSERT_TRUE(SignThroughRouter(cert.get(), "pay 100.00 to account 6222", sig, error)) << std::hex << error;
    EXPECT_EQ(sig.size(), 256u);
    EXPECT_TRUE(Verifies(cert.get(), "pay 100.00 to account 6222", sig));
    EXPECT_FALSE(Verifies(cert.get(), "pay 900.00 to account 6222", sig));
    EXPECT_TRUE(KeyState("ROUTER-KEY-01")["loggedIn"].get<bool>());

    // Logged in: the next signature asks no PIN (none is queued).
    std::string again;
    ASSERT_TRUE(SignThroughRouter(cert.get(), "second", again, error)) << std::hex << error;
    EXPECT_TRUE(Verifies(cert.get(), "second", again));
}

TEST_F(CryptoApiSigning, TheUsersPinDecides) {
    win::CertContext cert = FindInStore();
    ASSERT_TRUE(cert);
    struct Case {
        json answer;
        DWORD error;
    };
    const Case cases[] = {
        {{{"kind", "cancel"}}, static_cast<DWORD>(SCARD_W_CANCELLED_BY_USER)},
        {{{"kind", "pin"}, {"pin", "000000"}}, static_cast<DWORD>(SCARD_W_WRONG_CHV)},
        {{{"kind", "timeout"}}, static_cast<DWORD>(SCARD_E_TIMEOUT)},
    };
    for (const Case& c : cases) {
        PadAnswers(json::array({c.answer}));
        std::string sig;
        DWORD error = 0;
        EXPECT_FALSE(SignThroughRouter(cert.get(), "m", sig, error));
        EXPECT_EQ(error, c.error) << c.answer.dump();
    }
    EXPECT_EQ(KeyState("ROUTER-KEY-01")["triesLeft"], 9);  // the wrong PIN cost a try
    Unplug("ROUTER-KEY-01");
    std::string sig;
    DWORD error = 0;
    EXPECT_FALSE(SignThroughRouter(cert.get(), "m", sig, error));  // key gone: no private key
}

}  // namespace
