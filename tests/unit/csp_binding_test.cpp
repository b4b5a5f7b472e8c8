// The direct binding to the key's provider, against the simulated CSP.
#include "csp/csp_binding.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

class CspBinding : public CleanKeyState {
protected:
    std::string Reader(const std::string& serial) { return csp::TokenReaderName(KeyState(serial)["slot"].get<uint32_t>()); }
};

struct Info {
    DWORD result;
    uint8_t keyIndex;
    DWORD algorithm, kind, pubLen, certLen;
    std::string pub, cert;
};

Info ReadInfo(const std::string& path, DWORD keySpec, DWORD pubRoom = csp::kPublicKeyRoom,
              DWORD certRoom = csp::kCertificateRoom) {
    Info i{};
    std::vector<BYTE> pub(pubRoom), cert(certRoom);
    i.pubLen = pubRoom;
    i.certLen = certRoom;
    i.keyIndex = 0xEE;
    i.algorithm = i.kind = 0xEE;
    i.result = csp::CspGetContainerInfo(path, keySpec, &i.keyIndex, &i.algorithm, &i.kind, pub.data(), &i.pubLen,
                                        cert.data(), &i.certLen);
    if (i.result == 0) {
        i.pub.assign(reinterpret_cast<char*>(pub.data()), i.pubLen);
        i.cert.assign(reinterpret_cast<char*>(cert.data()), i.certLen);
    }
    return i;
}

TEST(ReaderNames, TokenAndCspForms) {
    EXPECT_EQ(csp::TokenReaderName(7), "\\\\.\\Quorvell PelkoToken 7\\");
    EXPECT_EQ(csp::CspReaderName("QVLDEV01        "), "\\\\.\\Quorvell QVLDEV01\\");
    const char full[16] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'};
    EXPECT_EQ(csp::CspReaderName(full), "\\\\.\\Quorvell ABCDEFGHIJKLMNOP\\");  // 16 bytes, no terminator
}

TEST_F(CspBinding, ContainersInOrderWithBothKeySpecs) {
    CreateKey("CSP-KEY-01");
    CreateKey("CSP-OTHER-1");
    AddContainer("CSP-OTHER-1");  // another key's container is not listed
    std::string a = AddContainer("CSP-KEY-01", {{"algorithm", "sm2"}, {"kind", 1}});
    std::string b = AddContainer("CSP-KEY-01", {{"algorithm", "rsa1024"}, {"kind", 2}, {"cert", false}});
    AddContainer("CSP-KEY-01", {{"algorithm", "rsa2048"}, {"kind", 3}, {"container", b}});  // exchange pair beside it

    uint8_t list[csp::kContainerListRoom];
    DWORD total = 99;
    ASSERT_EQ(csp::CspEnumContainers(Reader("CSP-KEY-01"), list, sizeof list, &total), 0u);
    EXPECT_EQ(csp::ContainerNames(list, total), (std::vector<std::string>{a, b}));
    EXPECT_EQ(total, 2 * (2 + a.size() + 1));
    EXPECT_EQ(list[0], 0);
    EXPECT_EQ(list[1], a.size() + 1);

    const std::string reader = Reader("CSP-KEY-01");
    struct Case {
        std::string container;
        DWORD keySpec, algorithm, kind, pubLen;
        bool cert;
    };
    const Case cases[] = {
        {a, 2, 2, 1, 65, true},    // SM2: the uncompressed point
        {b, 2, 1, 2, 128, false},  // RSA-1024 without certificate
        {b, 1, 1, 3, 256, true},   // RSA-2048 exchange pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.container + " spec " + std::to_string(c.keySpec));
        Info i = ReadInfo(reader + c.container, c.keySpec);
        ASSERT_EQ(i.result, 0u);
        json p = PairOf("CSP-KEY-01", c.container, static_cast<int>(c.keySpec));
        EXPECT_EQ(i.algorithm, c.algorithm);
        EXPECT_EQ(i.kind, c.kind);
        EXPECT_EQ(i.keyIndex, p["keyIndex"].get<int>());
        EXPECT_EQ(i.pubLen, c.pubLen);
        EXPECT_EQ(i.pub, HexToBytes(p["publicKeyHex"]));
        EXPECT_EQ(i.cert, HexToBytes(p["certHex"]));
        EXPECT_EQ(i.certLen != 0, c.cert);
    }
    // A key spec the container does not hold: outputs zeroed, lengths kept.
    Info none = ReadInfo(reader + a, 1);
    EXPECT_NE(none.result, 0u);
    EXPECT_EQ(none.keyIndex, 0);
    EXPECT_EQ(none.algorithm, 0u);
    EXPECT_EQ(none.kind, 0u);
    EXPECT_EQ(none.pubLen, csp::kPublicKeyRoom);
    // Too little room for the certificate: the provider says so.
    EXPECT_EQ(ReadInfo(reader + b, 1, 400, 100).result, static_cast<DWORD>(ERROR_MORE_DATA));
}

TEST_F(CspBinding, ContainerListStopsAtTheBuffersEnd) {
    CreateKey("CSP-KEY-02");
    for (int i = 0; i < 3; ++i) AddContainer("CSP-KEY-02", {{"algorithm", "sm2"}, {"cert", false}});
    uint8_t list[64];
    std::memset(list, 0xAB, sizeof list);
    DWORD total = 0;
    // Each entry takes 2 + 21 bytes: two fit in 50 bytes, the third is left out.
    ASSERT_EQ(csp::CspEnumContainers(Reader("CSP-KEY-02"), list, 50, &total), 0u);
    EXPECT_EQ(total, 46u);
    EXPECT_EQ(csp::ContainerNames(list, total).size(), 2u);
    EXPECT_EQ(list[50], 0xAB);
}

TEST_F(CspBinding, ReadersOfAbsentKeysAndContainersFail) {
    CreateKey("CSP-KEY-03");
    std::string c = AddContainer("CSP-KEY-03", {{"algorithm", "sm2"}});
    const std::string reader = Reader("CSP-KEY-03");
    uint8_t list[csp::kContainerListRoom];
    DWORD total = 5;
    EXPECT_NE(csp::CspEnumContainers(csp::TokenReaderName(200), list, sizeof list, &total), 0u);
    EXPECT_EQ(total, 0u);
    EXPECT_NE(ReadInfo(reader + "{00000000-0000-0000}", 2).result, 0u);
    // The CSP reader name (the stores' form) reaches the same container.
    Info byName = ReadInfo("\\\\.\\Quorvell CSP-KEY-03\\" + c, 2);
    EXPECT_EQ(byName.result, 0u);
    Unplug("CSP-KEY-03");
    EXPECT_NE(ReadInfo(reader + c, 2).result, 0u);
}

TEST_F(CspBinding, CertificateThroughTheKeysCertificateParameter) {
    CreateKey("CSP-KEY-04");
    std::string c = AddContainer("CSP-KEY-04", {{"algorithm", "rsa2048"}});
    std::string nocert = AddContainer("CSP-KEY-04", {{"algorithm", "sm2"}, {"cert", false}});
    const std::string reader = Reader("CSP-KEY-04");
    BYTE buf[4096];
    DWORD len = sizeof buf;
    ASSERT_EQ(csp::CspGetCertificate(reader + c, 2, buf, &len), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), HexToBytes(PairOf("CSP-KEY-04", c, 2)["certHex"]));
    len = sizeof buf;
    EXPECT_NE(csp::CspGetCertificate(reader + nocert, 2, buf, &len), 0u);
    len = sizeof buf;
    EXPECT_NE(csp::CspGetCertificate(reader + c, 1, buf, &len), 0u);
}

TEST_F(CspBinding, ProviderRequestsChangeTheKey) {
    CreateKey("CSP-KEY-05");
    const uint8_t slot = static_cast<uint8_t>(KeyState("CSP-KEY-05")["slot"].get<int>());
    std::string keep = AddContainer("CSP-KEY-05", {{"algorithm", "sm2"}});
    std::string gone = AddContainer("CSP-KEY-05", {{"algorithm", "sm2"}, {"cert", false}});
    const std::string reader = Reader("CSP-KEY-05");

    EXPECT_EQ(csp::CspProviderParam(csp::kParamMarkClear, true, reader + keep, 2, nullptr, nullptr), 0u);
    EXPECT_TRUE(PairOf("CSP-KEY-05", keep, 2)["marked"].get<bool>());
    EXPECT_EQ(csp::CspProviderParam(csp::kParamMarkClear, false, reader + keep, 2, nullptr, nullptr), 0u);
    EXPECT_FALSE(PairOf("CSP-KEY-05", keep, 2)["marked"].get<bool>());
    EXPECT_EQ(csp::CspProviderParam(csp::kParamDeleteCert, false, reader + keep, 2, nullptr, nullptr), 0u);
    EXPECT_EQ(PairOf("CSP-KEY-05", keep, 2)["certHex"], "");
    EXPECT_EQ(csp::CspProviderParam(csp::kParamDeletePair, false, reader + gone, 2, nullptr, nullptr), 0u);
    EXPECT_TRUE(PairOf("CSP-KEY-05", gone, 2).is_null());
    EXPECT_NE(csp::CspProviderParam(csp::kParamDeletePair, false, reader + gone, 2, nullptr, nullptr), 0u);
    EXPECT_EQ(csp::CspProviderParam(csp::kParamDeleteCert, true, reader + keep, 2, nullptr, nullptr), 0u);
    EXPECT_TRUE(KeyState("CSP-KEY-05")["containers"].empty());

    // The data word: nothing to read before the first write.
    BYTE data[260] = {slot};
    DWORD len = sizeof data;
    EXPECT_NE(csp::CspProviderParam(csp::kParamDataWordGet, false, "", 0, data, &len), 0u);
    BYTE word[10] = {slot, 8, 0x05, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(csp::CspProviderParam(csp::kParamDataWordSet, false, "", 0, word, nullptr), 0u);
    len = sizeof data;
    ASSERT_EQ(csp::CspProviderParam(csp::kParamDataWordGet, false, "", 0, data, &len), 0u);
    EXPECT_EQ(len, 8u);
    uint32_t value, flags;
    std::memcpy(&value, data, 4);
    std::memcpy(&flags, data + 4, 4);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(flags, 5u);

    // The PIN-verify time-out flag.
    BYTE set[10] = {slot, 1};
    ASSERT_EQ(csp::CspProviderParam(csp::kParamPinTimeoutSet, false, "", 0, set, nullptr), 0u);
    EXPECT_TRUE(KeyState("CSP-KEY-05")["pinTimeout"].get<bool>());
    BYTE get[16] = {slot};
    len = sizeof get;
    ASSERT_EQ(csp::CspProviderParam(csp::kParamPinTimeoutGet, false, "", 0, get, &len), 0u);
    EXPECT_EQ(get[0], 1);
    BYTE clear[5] = {slot, 0, 0, 0, 0};  // slot as 32 bits and a zero byte, as the agent sends it
    ASSERT_EQ(csp::CspProviderParam(csp::kParamPinTimeoutSet, false, "", 0, clear, nullptr), 0u);
    EXPECT_FALSE(KeyState("CSP-KEY-05")["pinTimeout"].get<bool>());

    BYTE other[10] = {static_cast<BYTE>(slot + 1), 8};
    EXPECT_NE(csp::CspProviderParam(csp::kParamDataWordSet, false, "", 0, other, nullptr), 0u);
    EXPECT_EQ(csp::CspProviderParam(0x10077, false, "", 0, data, &len), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
