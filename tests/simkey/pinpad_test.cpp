// The simulated PIN pad plays its scripted answers through the token
// function it is handed, and records what it was given.
#include "simkey/engine_api.h"
#include "simkey_control.h"
#include "token_api_binding.h"

using namespace testing_support;

namespace {

class SimPinpadTest : public CleanKeyState {
protected:
    SimToken tok;
    SimPinpad pad;
};

TEST_F(SimPinpadTest, VerifyDialogPlaysEachScriptedAnswer) {
    CreateKey("PAD-KEY-01", {{"pin", "135790"}});
    const ULONG slot = tok.Slots().at(0);
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "000000"}},
                            {{"kind", "cancel"}},
                            {{"kind", "timeout"}},
                            {{"kind", "debugger"}},
                            {{"kind", "pin"}, {"pin", "135790"}}}));
    pinpad::RequestBlock block = pinpad::MakeRequest(pinpad::kOpVerify, slot | token::kSlotFlag);
    const ULONGLONG keyInfo = pad.getKeyInfo(2, 28);
    auto run = [&] {
        return pad.indicator(nullptr, reinterpret_cast<FARPROC>(tok.login), keyInfo, &block);
    };
    EXPECT_EQ(run(), token::PinWrong(9));  // the token function ran with the wrong PIN
    EXPECT_EQ(run(), token::kUserCancel);
    EXPECT_EQ(run(), token::kUserTimeout);
    EXPECT_EQ(run(), pinpad::kDebuggerFound);
    EXPECT_EQ(run(), token::kOk);
    EXPECT_TRUE(KeyState("PAD-KEY-01")["loggedIn"].get<bool>());
    EXPECT_EQ(KeyState("PAD-KEY-01")["triesLeft"], 10);
    EXPECT_EQ(run(), token::kUserTimeout);  // nothing queued: nobody at the key

    json calls = PadCalls();
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0]["fn"], "GetKeyInfo");
    EXPECT_EQ(calls[0]["a"], 2);
    EXPECT_EQ(calls[0]["b"], 28);
    EXPECT_EQ(calls[1]["fn"], "Indicator");
    EXPECT_EQ(calls[1]["operation"], pinpad::kOpVerify);
    EXPECT_EQ(calls[1]["slot"], slot | token::kSlotFlag);
    EXPECT_EQ(calls[1]["keyInfo"], keyInfo);
    EXPECT_EQ(calls[1]["blockSize"], 224);
    EXPECT_EQ(calls[1]["minPin"], 6);
    EXPECT_EQ(calls[1]["maxPin"], 20);
}

TEST_F(SimPinpadTest, ParamAndShowDialogAreRecorded) {
    ULONG attribute = 0x0042;
    EXPECT_EQ(pad.param(&attribute, 0), token::kOk);
    int progress = 0;
    EXPECT_EQ(pad.showDialog(5, &progress), token::kOk);
    json calls = PadCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0]["fn"], "Param");
    EXPECT_EQ(calls[0]["attribute"], 0x42);
    EXPECT_EQ(calls[1]["fn"], "ShowDialog");
    EXPECT_EQ(calls[1]["kind"], 5);
    EXPECT_EQ(pad.indicator(nullptr, nullptr, 0, nullptr), simkey::kBadArgument);
}

}  // namespace
