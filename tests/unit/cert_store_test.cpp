// The key's certificates in the real user stores of the prefix.
#include "csp/csp_binding.h"
#include "process.h"
#include "simkey_control.h"
#include "store/cert_store.h"
#include "win/crypt_handles.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace testing_support;

namespace {

constexpr char kProvider[] = "VLBK USBKEY2 CSP QVL";

struct Cert {
    std::string der;
    std::string sha1;  // lower-case hex
};

Cert Make(const std::string& der) {
    Cert c{der, ""};
    win::CertContext ctx(::CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                        static_cast<DWORD>(der.size())));
    BYTE hash[20];
    DWORD n = sizeof hash;
    if (ctx && ::CertGetCertificateContextProperty(ctx.get(), CERT_SHA1_HASH_PROP_ID, hash, &n)) {
        char hex[3];
        for (BYTE b : hash) {
            std::snprintf(hex, sizeof hex, "%02x", b);
            c.sha1 += hex;
        }
    }
    return c;
}

// A certificate of a new container on the key.
Cert NewCert(const std::string& serial, const std::string& algorithm, std::string* container = nullptr) {
    std::string name = AddContainer(serial, {{"algorithm", algorithm}});
    if (container) *container = name;
    return Make(HexToBytes(PairOf(serial, name, 2)["certHex"]));
}

// The store as another process sees it: SHA1 -> "KEYSPEC CONTAINER|PROVIDER".
std::map<std::string, std::string> Seen(const char* store) {
    std::string out;
    EXPECT_EQ(RunProgram(L"store_probe.exe", std::wstring(L"list ") + (store[0] == 'M' ? L"MY" : L"addressbook"), &out), 0);
    std::map<std::string, std::string> seen;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // the probe writes text-mode lines
        if (line.size() > 41) seen[line.substr(0, 40)] = line.substr(41);
    }
    return seen;
}

DWORD Add(const Cert& c, DWORD algorithm, const std::string& container, DWORD keySpec = 2,
          const char* provider = kProvider) {
    return store::AddCertToStore(provider, algorithm, container.c_str(), keySpec,
                                 reinterpret_cast<const BYTE*>(c.der.data()), static_cast<DWORD>(c.der.size()));
}

class CertStore : public CleanKeyState {};

TEST_F(CertStore, RsaGoesToMySm2ToAddressbookBoundToTheProvider) {
    CreateKey("STORE-KEY-1", {{"cspName", "QVLSTORE01"}});
    std::string rsaName, sm2Name;
    Cert rsa = NewCert("STORE-KEY-1", "rsa2048", &rsaName);
    Cert sm2 = NewCert("STORE-KEY-1", "sm2", &sm2Name);
    const std::string reader = csp::CspReaderName("QVLSTORE01");
    ASSERT_EQ(Add(rsa, 1, reader + rsaName), 0u);
    ASSERT_EQ(Add(sm2, 2, reader + sm2Name), 0u);

    auto my = Seen("MY"), book = Seen("addressbook");
    EXPECT_EQ(my[rsa.sha1], "2 " + reader + rsaName + "|" + kProvider);
    EXPECT_EQ(book[sm2.sha1], "2 " + reader + sm2Name + "|" + kProvider);
    EXPECT_EQ(my.count(sm2.sha1), 0u);
    EXPECT_EQ(book.count(rsa.sha1), 0u);
}

TEST_F(CertStore, AddingTwiceLeavesOneCopyAndANewBindingReplacesTheOld) {
    CreateKey("STORE-KEY-2");
    Cert rsa = NewCert("STORE-KEY-2", "rsa1024");
    ASSERT_EQ(Add(rsa, 1, "\\\\.\\Quorvell A\\{1}"), 0u);
    ASSERT_EQ(Add(rsa, 1, "\\\\.\\Quorvell A\\{1}"), 0u);
    ASSERT_EQ(Add(rsa, 1, "\\\\.\\Quorvell B\\{2}", 1), 0u);
    auto my = Seen("MY");
    EXPECT_EQ(my.size(), 1u);
    EXPECT_EQ(my[rsa.sha1], std::string("1 \\\\.\\Quorvell B\\{2}|") + kProvider);
    // Without a key spec: added only as new, an existing copy is success.
    EXPECT_EQ(Add(rsa, 1, "\\\\.\\Quorvell A\\{1}", 0), 0u);
    EXPECT_EQ(Seen("MY").size(), 1u);
}

TEST_F(CertStore, SelfIssuedCertificatesAreNotBoundToTheKey) {
    CreateKey("STORE-KEY-3");
    NewCert("STORE-KEY-3", "rsa1024");  // makes the test CA
    Cert ca = Make(HexToBytes(SimKeyOk({{"op", "state"}})["caRsaCertHex"]));
    ASSERT_FALSE(ca.sha1.empty());
    EXPECT_EQ(Add(ca, 1, "\\\\.\\Quorvell A\\{1}"), 0u);
    EXPECT_TRUE(Seen("MY").empty());
}

TEST_F(CertStore, BadInputIsRefusedAndAddsNothing) {
    CreateKey("STORE-KEY-4");
    Cert rsa = NewCert("STORE-KEY-4", "rsa1024");
    Cert broken{rsa.der.substr(0, rsa.der.size() / 2), ""};
    Cert junk{"not a certificate", ""};
    EXPECT_NE(Add(broken, 1, "\\\\.\\Quorvell A\\{1}"), 0u);
    EXPECT_NE(Add(junk, 1, "\\\\.\\Quorvell A\\{1}"), 0u);
    EXPECT_EQ(store::AddCertToStore(kProvider, 1, "c", 2, nullptr, 10), static_cast<DWORD>(CRYPT_E_ASN1_EOD));
    EXPECT_EQ(Add(rsa, 1, std::string(300, 'c')), static_cast<DWORD>(ERROR_INVALID_PARAMETER));  // name too long
    EXPECT_TRUE(Seen("MY").empty());
}

// Removal: the key's own certificates by its reader name, foreign names in a
// sweep, never another provider's.
TEST_F(CertStore, RemovalByModeAndContainer) {
    CreateKey("STORE-KEY-5");
    Cert a = NewCert("STORE-KEY-5", "rsa1024"), a2 = NewCert("STORE-KEY-5", "rsa1024"),
         b = NewCert("STORE-KEY-5", "rsa1024"), f = NewCert("STORE-KEY-5", "rsa1024"),
         o = NewCert("STORE-KEY-5", "rsa1024");
    const std::string one = "\\\\.\\Quorvell ONE\\", two = "\\\\.\\Quorvell TWO\\", oneA = one + "{a}";
    auto fill = [&] {
        EmptyUserStores();
        ASSERT_EQ(Add(a, 1, one + "{a}", 2), 0u);
        ASSERT_EQ(Add(a2, 1, one + "{a2}", 1), 0u);
        ASSERT_EQ(Add(b, 1, two + "{b}", 2), 0u);
        ASSERT_EQ(Add(f, 1, "{foreign}", 2), 0u);                      // not of this system's naming
        ASSERT_EQ(Add(o, 1, one + "{o}", 2, "Some Other CSP"), 0u);    // another provider
    };
    struct Case {
        const char* what;
        const char* container;
        int mode;
        std::vector<const Cert*> kept;
    };
    const Case cases[] = {
        {"sweep of key ONE", one.c_str(), -1, {&b, &o}},
        {"sweep without container", nullptr, -1, {&o}},
        {"mode 0 without container", nullptr, 0, {&o}},
        {"mode 0 of key ONE", one.c_str(), 0, {&b, &f, &o}},
        {"key spec 1 of key ONE", one.c_str(), 1, {&a, &b, &f, &o}},
        {"key spec 2 of one container", oneA.c_str(), 2, {&a2, &b, &f, &o}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fill();
        ASSERT_EQ(store::RemoveProviderCerts(kProvider, 1, c.container, c.mode), 0u);
        auto my = Seen("MY");
        EXPECT_EQ(my.size(), c.kept.size());
        for (const Cert* k : c.kept) EXPECT_EQ(my.count(k->sha1), 1u) << k->sha1;
    }
    EXPECT_EQ(store::RemoveProviderCerts(kProvider, 1, std::string(300, 'x').c_str(), -1),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Seen("MY").size(), 4u);  // a name that does not convert removes nothing
}

}  // namespace
