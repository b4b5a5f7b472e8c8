// Key initialisation and the key's data word.
#include "csp/csp_binding.h"
#include "library.h"
#include "pinpad/pinpad_api.h"
#include "process.h"
#include "simkey_control.h"
#include "store/cert_store.h"
#include "win/crypt_handles.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

constexpr char kProvider[] = "VLBK USBKEY2 CSP QVL";

size_t ProviderCerts(const wchar_t* storeName) {
    size_t n = 0;
    win::CertStore s(::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, storeName));
    for (PCCERT_CONTEXT c = nullptr; s && (c = ::CertEnumCertificatesInStore(s.get(), c)) != nullptr;) {
        DWORD len = 0;
        n += ::CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &len) ? 1 : 0;
    }
    return n;
}

class KeyData : public CleanKeyState {
protected:
    std::string Data(const char* serial, unsigned type, int* result = nullptr) {
        char buf[300] = {};
        int len = sizeof buf;
        int r = Api().GetData(serial, type, buf, &len);
        if (result) *result = r;
        return r == 0 ? std::string(buf) : "<" + std::to_string(r) + ">";
    }
    // Registers the key's certificates as the agent would.
    void Register(const std::string& serial) {
        const json key = KeyState(serial);
        for (const json& c : key["containers"])
            for (const json& p : c["pairs"]) {
                std::string der = HexToBytes(p["certHex"]);
                std::string name = "\\\\.\\Quorvell " + serial + "\\" + c["name"].get<std::string>();
                ASSERT_EQ(store::AddCertToStore(kProvider, p["algorithm"], name.c_str(), p["keySpec"],
                                                reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())),
                          0u);
            }
    }
};

TEST_F(KeyData, InitialisationClearsTheKeyAndTheProvidersCertificates) {
    CreateKey("INIT-KEY-0001", {{"mustChangePin", true}});
    AddContainer("INIT-KEY-0001", {{"algorithm", "rsa1024"}});
    AddContainer("INIT-KEY-0001", {{"algorithm", "sm2"}});
    Register("INIT-KEY-0001");
    ASSERT_EQ(ProviderCerts(L"MY") + ProviderCerts(L"addressbook"), 2u);

    PadAnswers(json::array({{{"kind", "cancel"}}, {{"kind", "timeout"}}, {{"kind", "debugger"}},
                            {{"kind", "pin"}, {"pin", "864200"}}}));
    EXPECT_EQ(Api().InitUKey("INIT-KEY-0001"), -100);
    EXPECT_EQ(Api().InitUKey("INIT-KEY-0001"), -105);
    EXPECT_EQ(Api().InitUKey("INIT-KEY-0001"), -300);
    EXPECT_EQ(KeyState("INIT-KEY-0001")["containers"].size(), 2u);  // nothing changed yet
    EXPECT_EQ(Api().InitUKey(nullptr), 0);                            // the only key
    json k = KeyState("INIT-KEY-0001");
    EXPECT_TRUE(k["containers"].empty());
    EXPECT_EQ(k["initCount"], 1);
    EXPECT_EQ(k["flags"].get<uint32_t>() & 0x80000, 0u);
    EXPECT_EQ(ProviderCerts(L"MY"), 0u);
    EXPECT_EQ(ProviderCerts(L"addressbook"), 0u);
    EXPECT_FALSE(TokenLoaded());

    json calls = PadCalls();
    json last;
    for (const json& c : calls)
        if (c["fn"] == "Indicator") last = c;
    EXPECT_EQ(last["operation"], pinpad::kOpInitialise);
    EXPECT_EQ(last["slot"], k["slot"].get<uint32_t>() | 0x20000000u);
    EXPECT_EQ(last["initOption"], 0);

    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "864200"}}}));
    EXPECT_EQ(Api().VerifyPIN("INIT-KEY-0001"), 0);  // the new PIN
    Api().Finalize();
}

TEST_F(KeyData, InitialisationChoosesItsKey) {
    CreateKey("INIT-KEY-0002");
    CreateKey("INIT-KEY-0003");
    EXPECT_EQ(Api().InitUKey(nullptr), -104);
    EXPECT_EQ(Api().InitUKey(""), -401);
    EXPECT_EQ(Api().InitUKey("INIT-KEY-0009"), -108);
    EXPECT_EQ(KeyState("INIT-KEY-0002")["initCount"], 0);
}

TEST_F(KeyData, SerialAndTypeRules) {
    EXPECT_EQ(Data("SHORT0009", 1), "<-401>");  // 9 bytes: refused before any key is looked for
    EXPECT_EQ(Data("SERIAL-TOO-LONG-17", 1), "<-401>");
    EXPECT_EQ(Data("DATA-KEY-0001", 1), "<-102>");  // 10 to 16 bytes: the key is looked for
    int len = 0;
    EXPECT_EQ(Api().GetData("DATA-KEY-0001", 1, nullptr, nullptr), -401);
    EXPECT_EQ(Api().GetData(nullptr, 1, nullptr, &len), -401);
    CreateKey("DATA-KEY-0001");
    EXPECT_EQ(Data("DATA-KEY-0001", 3), "<-401>");  // after the key was selected
    CreateKey("DATA-KEY-6120", {{"model", "6120"}});
    EXPECT_EQ(Data("DATA-KEY-6120", 1), "<-400>");
    EXPECT_EQ(Api().SetData("DATA-KEY-6120", 1, "0x10"), -400);
}

TEST_F(KeyData, WordsThroughTheProvider) {
    CreateKey("DATA-KEY-0002", {{"dataCode", "95000791"}});
    // No data word written yet: the bank text's code, for both types.
    EXPECT_EQ(Data("DATA-KEY-0002", 1), "0x00000100");
    EXPECT_EQ(Data("DATA-KEY-0002", 2), "0x00000100");

    EXPECT_EQ(Api().SetData("DATA-KEY-0002", 1, "0x5"), 0);
    json k = KeyState("DATA-KEY-0002");
    EXPECT_EQ(k["dataValue"], 5);
    EXPECT_EQ(k["dataFlags"], 5);  // bits 0 and 2
    EXPECT_EQ(Data("DATA-KEY-0002", 1), "0x00000005");
    EXPECT_EQ(Data("DATA-KEY-0002", 2), "0x00000001||0x00000004");
    EXPECT_EQ(Api().SetData("DATA-KEY-0002", 1, "0X820zz"), 0);  // digits up to the first other character
    EXPECT_EQ(KeyState("DATA-KEY-0002")["dataFlags"], 0x825);  // added to the flags kept
    EXPECT_EQ(Data("DATA-KEY-0002", 2), "0x00000001||0x00000004||0x00000020||0x00000800");

    struct Refused {
        unsigned type;
        std::string text;
    };
    for (const Refused& r : {Refused{1, "20"}, Refused{1, "0x0"}, Refused{1, "0x"}, Refused{1, "0xFFFFFFFF"},
                             Refused{1, "0x123456789"}, Refused{2, "0x1"}, Refused{1, "0x" + std::string(299, '1')}})
        EXPECT_EQ(Api().SetData("DATA-KEY-0002", r.type, r.text.c_str()), -401) << r.text;
    EXPECT_EQ(Api().SetData("DATA-KEY-0002", 1, nullptr), -401);
    EXPECT_EQ(KeyState("DATA-KEY-0002")["dataValue"], 0x820);
}

TEST_F(KeyData, GetDataBufferRow) {
    CreateKey("DATA-KEY-0003", {{"dataCode", "12345678"}});
    const std::string text = "0x00000010";  // a foreign bank text
    int len = 0;
    EXPECT_EQ(Api().GetData("DATA-KEY-0003", 1, nullptr, &len), 0);
    EXPECT_EQ(len, 11);
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    len = 10;
    EXPECT_EQ(Api().GetData("DATA-KEY-0003", 1, buf, &len), -404);
    EXPECT_EQ(len, 11);
    EXPECT_EQ(buf[0], 'x');
    len = 11;
    EXPECT_EQ(Api().GetData("DATA-KEY-0003", 1, buf, &len), 0);
    EXPECT_EQ(len, 10);
    EXPECT_EQ(std::string(buf), text);

    // No flag set: an empty text.
    BYTE word[10] = {static_cast<BYTE>(KeyState("DATA-KEY-0003")["slot"].get<int>()), 8, 0, 0, 0, 0, 7, 0, 0, 0};
    ASSERT_EQ(csp::CspProviderParam(csp::kParamDataWordSet, false, "", 0, word, nullptr), 0u);
    EXPECT_EQ(Data("DATA-KEY-0003", 2), "");
    len = 0;
    EXPECT_EQ(Api().GetData("DATA-KEY-0003", 2, nullptr, &len), 0);
    EXPECT_EQ(len, 1);
}

}  // namespace

namespace {

// The command-line client drives the same exports.
TEST_F(KeyData, UkeyDrivesPinAndDataCommands) {
    CreateKey("UKEY-CLI-00001", {{"pin", "112233"}, {"retryLimit", 5}, {"dataCode", "95000792"}});
    struct Step {
        std::wstring args;
        int exitCode;
        const char* says;
    };
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "000000"}},
                            {{"kind", "pin"}, {"pin", "112233"}, {"newPin", "445566"}},
                            {{"kind", "pin"}, {"pin", "778899"}}}));
    const Step steps[] = {
        {L"pin info", 0, "5|5|0|0"},
        {L"pin verify", 1, "-214"},
        {L"pin info", 0, "tries left 4"},
        {L"pin change", 0, "changed"},
        {L"data get 1", 0, "0x00000020"},
        {L"data set 0x24", 0, "set to 0x24"},
        {L"data get 2", 0, "0x00000004||0x00000020"},
        {L"data set 24", 1, "-401"},
        {L"pin logout-all", 0, "logged out"},
        {L"init", 0, "initialised"},
    };
    for (const Step& s : steps) {
        std::string out;
        EXPECT_EQ(RunProgram(L"ukey.exe", s.args, &out), s.exitCode) << out;
        EXPECT_NE(out.find(s.says), std::string::npos) << out;
    }
    EXPECT_EQ(KeyState("UKEY-CLI-00001")["initCount"], 1);
}

}  // namespace
