// The PIN exports against the simulated key and its scripted PIN pad.
#include "library.h"
#include "pinpad/pinpad_api.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

class Pin : public CleanKeyState {
protected:
    void TearDown() override { Api().Finalize(); }
    std::string PinInfo(const char* serial, int* result = nullptr) {
        char buf[32] = {};
        int len = sizeof buf;
        int r = Api().GetPinInfo(serial, buf, &len);
        if (result) *result = r;
        return r == 0 ? std::string(buf) : "<" + std::to_string(r) + ">";
    }
    json LastIndicatorCall() {
        json calls = PadCalls();
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if ((*it)["fn"] == "Indicator") return *it;
        return json();
    }
};

TEST_F(Pin, AWrongPinCostsATryAndNamesTheRest) {
    CreateKey("PIN-EXPORT-01", {{"pin", "271828"}, {"triesLeft", 4}, {"attribute", 0x0033}});
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "000000"}}}));
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-01"), -213);
    EXPECT_EQ(Api().LastErr(), -213);
    EXPECT_FALSE(TokenLoaded());  // a failed check frees the token library
    EXPECT_EQ(PinInfo("PIN-EXPORT-01"), "10|3|0|0");

    // What the PIN pad was handed: the verify block for the slot with the
    // flag, the key information it answered, the key's attribute word.
    json call = LastIndicatorCall();
    const uint32_t slot = KeyState("PIN-EXPORT-01")["slot"].get<uint32_t>();
    EXPECT_EQ(call["operation"], pinpad::kOpVerify);
    EXPECT_EQ(call["slot"], slot | 0x20000000u);
    EXPECT_EQ(call["blockSize"], 224);
    EXPECT_EQ(call["keyInfo"], (2ull << 32) | 28);
    json calls = PadCalls();
    EXPECT_EQ(calls[0]["fn"], "Param");
    EXPECT_EQ(calls[0]["attribute"], 0x33);

    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "271828"}}}));
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-01"), 0);
    EXPECT_TRUE(TokenLoaded());  // a checked PIN keeps it until the next export
    EXPECT_TRUE(KeyState("PIN-EXPORT-01")["loggedIn"].get<bool>());
    EXPECT_EQ(PinInfo("PIN-EXPORT-01"), "10|10|0|0");
}

TEST_F(Pin, TheLastTryLocksTheKey) {
    CreateKey("PIN-EXPORT-02", {{"pin", "271828"}, {"triesLeft", 1}});
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "000000"}}, {{"kind", "pin"}, {"pin", "271828"}}}));
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-02"), -221);
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-02"), -221);  // locked: the right PIN no longer helps
    EXPECT_EQ(PinInfo("PIN-EXPORT-02"), "10|0|0|1");
}

TEST_F(Pin, CancelAndTimeOutByModel) {
    CreateKey("PIN-EXPORT-03");
    PadAnswers(json::array({{{"kind", "cancel"}}, {{"kind", "timeout"}}, {{"kind", "debugger"}}}));
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-03"), -100);
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-03"), -105);
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-03"), -300);  // a check maps only the token's statuses
    EXPECT_EQ(KeyState("PIN-EXPORT-03")["triesLeft"], 10);  // none of them cost a try
    EXPECT_FALSE(KeyState("PIN-EXPORT-03")["pinTimeout"].get<bool>());
    Unplug("PIN-EXPORT-03");

    CreateKey("PIN-EXPORT-6156", {{"model", "6156"}});
    PadAnswers(json::array({{{"kind", "timeout"}}}));
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-6156"), -924);
    EXPECT_TRUE(KeyState("PIN-EXPORT-6156")["pinTimeout"].get<bool>());  // the provider keeps it for signing
}

TEST_F(Pin, PinInfoAnswers) {
    int len = 0;
    EXPECT_EQ(Api().GetPinInfo("ANY", nullptr, &len), 0);  // no key needed for the size
    EXPECT_EQ(len, 8);
    EXPECT_EQ(Api().GetPinInfo("ANY", nullptr, nullptr), -401);
    char buf[32];
    len = sizeof buf;
    EXPECT_EQ(Api().GetPinInfo("ANY", buf, &len), -102);

    CreateKey("PIN-EXPORT-04", {{"mustChangePin", true}, {"retryLimit", 6}});
    EXPECT_EQ(PinInfo("PIN-EXPORT-04"), "6|6|1|0");
    std::memset(buf, 'x', sizeof buf);
    len = 7;  // "6|6|1|0" has 7 characters: no room for the zero
    EXPECT_EQ(Api().GetPinInfo("PIN-EXPORT-04", buf, &len), -401);
    EXPECT_EQ(len, 7);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(Api().GetPinInfo("", buf, &len), -401);
    EXPECT_EQ(Api().VerifyPIN(""), -401);
}

TEST_F(Pin, RemovePinCacheLogsEveryKeyOut) {
    EXPECT_EQ(Api().RemovePinCache(), -102);
    CreateKey("PIN-EXPORT-05");
    CreateKey("PIN-EXPORT-06");
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "123456"}}, {{"kind", "pin"}, {"pin", "123456"}}}));
    ASSERT_EQ(Api().VerifyPIN("PIN-EXPORT-05"), 0);
    ASSERT_EQ(Api().VerifyPIN("PIN-EXPORT-06"), 0);
    EXPECT_EQ(Api().RemovePinCache(), 0);
    EXPECT_FALSE(KeyState("PIN-EXPORT-05")["loggedIn"].get<bool>());
    EXPECT_FALSE(KeyState("PIN-EXPORT-06")["loggedIn"].get<bool>());
    EXPECT_FALSE(TokenLoaded());
}

TEST_F(Pin, ChangeThroughThePinPad) {
    CreateKey("PIN-EXPORT-07", {{"pin", "111111"}, {"triesLeft", 3}, {"mustChangePin", true}});
    struct Case {
        json answer;
        int result;
    };
    const Case cases[] = {
        {{{"kind", "pin"}, {"pin", "999999"}, {"newPin", "222222"}}, -212},  // wrong old PIN: 2 tries left
        {{{"kind", "cancel"}}, -100},
        {{{"kind", "timeout"}}, -105},
        {{{"kind", "debugger"}}, -405},
        {{{"kind", "pin"}, {"pin", "111111"}, {"newPin", "222222"}}, 0},
    };
    for (const Case& c : cases) {
        PadAnswers(json::array({c.answer}));
        EXPECT_EQ(Api().ChangePin("PIN-EXPORT-07"), c.result) << c.answer.dump();
        EXPECT_FALSE(TokenLoaded());
    }
    json call = LastIndicatorCall();
    EXPECT_EQ(call["operation"], pinpad::kOpChange);
    EXPECT_EQ(call["slot"], KeyState("PIN-EXPORT-07")["slot"]);  // without the flag
    EXPECT_EQ(PinInfo("PIN-EXPORT-07"), "10|10|0|0");             // changed: no longer must change
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "222222"}}}));
    EXPECT_EQ(Api().VerifyPIN("PIN-EXPORT-07"), 0);

    CreateKey("PIN-EXPORT-08", {{"triesLeft", 0}});
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "123456"}, {"newPin", "222222"}}}));
    EXPECT_EQ(Api().ChangePin("PIN-EXPORT-08"), -221);
}

}  // namespace
