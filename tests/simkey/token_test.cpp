// The simulated token library behaves as the key does: slots, the device
// information record, key parameters and the PIN state.
#include "simkey/engine_api.h"
#include "simkey_control.h"
#include "token_api_binding.h"

#include <cstring>

using namespace testing_support;
namespace dev = token::devinfo;

namespace {

class SimTokenTest : public CleanKeyState {
protected:
    SimToken tok;
};

TEST_F(SimTokenTest, SlotIdsStayWhilePluggedAndAreNewAfterReinsertion) {
    CreateKey("SLOT-A");
    CreateKey("SLOT-B");
    std::vector<ULONG> first = tok.Slots();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_LT(first[0], first[1]);
    EXPECT_NE(first[0], 0u);
    EXPECT_EQ(tok.Slots(), first);  // asked again: the same ids

    Unplug("SLOT-A");
    EXPECT_EQ(tok.Slots(), std::vector<ULONG>{first[1]});
    Plug("SLOT-A");
    std::vector<ULONG> again = tok.Slots();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0], first[1]);
    EXPECT_GT(again[1], first[1]);  // never an id another key had
}

TEST_F(SimTokenTest, AtMostTenKeysAndAShortListAnswersBufferTooSmall) {
    for (int i = 0; i < 10; ++i) CreateKey("MANY-" + std::to_string(i));
    json refused = SimKey({{"op", "create"}, {"serial", "MANY-10"}, {"plug", true}});
    EXPECT_FALSE(refused.value("ok", true));
    EXPECT_EQ(SimKeyOk({{"op", "state"}})["keys"].size(), 10u);  // a refused request changes nothing
    EXPECT_EQ(tok.Slots().size(), 10u);

    ULONG ids[16] = {};
    ULONG count = 4;
    EXPECT_EQ(tok.getSlotList(1, ids, &count), token::kBufferTooSmall);
    EXPECT_EQ(count, 10u);
    EXPECT_NE(ids[3], 0u);
    EXPECT_EQ(ids[4], 0u);  // nothing past the room given
    EXPECT_EQ(tok.getSlotList(1, nullptr, &count), simkey::kBadArgument);
}

TEST_F(SimTokenTest, DeviceInformationRecordLayout) {
    CreateKey("DEV-0000000001", {{"model", "6120"}, {"cspName", "CSPDEV01"}, {"dataCode", "95880791"},
                                 {"retryLimit", 6}, {"triesLeft", 4}, {"mustChangePin", true},
                                 {"attribute", 0x1234}});
    ULONG slot = tok.Slots().at(0);
    token::DeviceInfo info;
    std::memset(info.bytes, 0xCC, sizeof info.bytes);
    ASSERT_EQ(tok.getDeviceInfo(slot, 0, info.bytes), token::kOk);
    auto text = [&](size_t at, size_t n) { return std::string(reinterpret_cast<char*>(info.bytes + at), n); };
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, info.bytes + at, 4);
        return v;
    };
    EXPECT_EQ(u32(dev::kRecordSize), 726u);
    EXPECT_EQ(text(dev::kCspName, 16), "CSPDEV01        ");
    EXPECT_EQ(text(dev::kDataCode, 8), "95880791");
    EXPECT_EQ(text(dev::kModel, 4), "6120");
    EXPECT_EQ(text(dev::kSerial, 16), "DEV-0000000001  ");
    EXPECT_EQ(u32(dev::kFlags), dev::kFlagMustChangePin);
    EXPECT_EQ(u32(dev::kAttribute), 0x1234u);
    EXPECT_EQ(info.bytes[dev::kPinRetryLimit], 6);
    EXPECT_EQ(info.bytes[dev::kPinTriesLeft], 4);
    EXPECT_EQ(info.bytes[725], 0);  // the whole record is written

    EXPECT_EQ(tok.getDeviceInfo(slot | token::kSlotFlag, 0, info.bytes), token::kOk);
    EXPECT_EQ(tok.getDeviceInfo(slot + 100, 0, info.bytes), simkey::kNoToken);
    Unplug("DEV-0000000001");
    EXPECT_EQ(tok.getDeviceInfo(slot, 0, info.bytes), simkey::kNoToken);
}

TEST_F(SimTokenTest, PinTriesLockAndLogin) {
    CreateKey("PIN-KEY-01", {{"pin", "246810"}, {"retryLimit", 3}});
    ULONG slot = tok.Slots().at(0);
    auto login = [&](const char* pin) { return tok.login(slot | token::kSlotFlag, 2, pin, (ULONG)strlen(pin)); };

    EXPECT_EQ(login("111111"), token::PinWrong(2));
    EXPECT_EQ(KeyState("PIN-KEY-01")["triesLeft"], 2);
    EXPECT_EQ(login("12345"), simkey::kPinLengthRange);  // refused before the check: costs nothing
    EXPECT_EQ(KeyState("PIN-KEY-01")["triesLeft"], 2);
    EXPECT_EQ(login("246810"), token::kOk);
    json k = KeyState("PIN-KEY-01");
    EXPECT_EQ(k["triesLeft"], 3);  // a right PIN restores the tries
    EXPECT_TRUE(k["loggedIn"].get<bool>());
    EXPECT_TRUE(KeyState("PIN-KEY-01")["loggedIn"].get<bool>());  // kept until logout
    EXPECT_EQ(tok.logout(slot, 0), token::kOk);
    EXPECT_FALSE(KeyState("PIN-KEY-01")["loggedIn"].get<bool>());

    EXPECT_EQ(login("111111"), token::PinWrong(2));
    EXPECT_EQ(login("111111"), token::PinWrong(1));
    EXPECT_EQ(login("111111"), token::kPinLocked);
    EXPECT_EQ(login("246810"), token::kPinLocked);  // locked: even the right PIN is refused
    EXPECT_EQ(KeyState("PIN-KEY-01")["triesLeft"], 0);
    EXPECT_EQ(tok.login(slot, 1, "246810", 6), simkey::kBadArgument);  // only the user PIN
}

TEST_F(SimTokenTest, UnpluggingEndsTheLogin) {
    CreateKey("PIN-KEY-02");
    ULONG slot = tok.Slots().at(0);
    ASSERT_EQ(tok.login(slot, 2, "123456", 6), token::kOk);
    Unplug("PIN-KEY-02");
    Plug("PIN-KEY-02");
    EXPECT_FALSE(KeyState("PIN-KEY-02")["loggedIn"].get<bool>());
}

TEST_F(SimTokenTest, KeyParameters) {
    CreateKey("PARAM-KEY-1", {{"languageMask", 0x0307}, {"retryLimit", 7}});
    const ULONG slot = tok.Slots().at(0) | token::kSlotFlag;

    char label[] = "Payroll key";
    EXPECT_EQ(tok.param(slot, token::kParamSetLabel, label), token::kOk);
    uint8_t buf[260];
    std::memset(buf, 0xCC, sizeof buf);
    EXPECT_EQ(tok.param(slot, token::kParamGetLabel, buf), token::kOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 32), "Payroll key" + std::string(21, ' '));
    EXPECT_EQ(buf[32], 0xCC);  // exactly 32 bytes answered
    char tooLong[34];
    std::memset(tooLong, 'L', 33);
    tooLong[33] = 0;
    EXPECT_EQ(tok.param(slot, token::kParamSetLabel, tooLong), simkey::kBadArgument);

    uint32_t v = 1;
    EXPECT_EQ(tok.param(slot, token::kParamSetCharset, &v), token::kOk);
    v = 9;
    EXPECT_EQ(tok.param(slot, token::kParamGetCharset, &v), token::kOk);
    EXPECT_EQ(v, 1u);
    v = 2;
    EXPECT_EQ(tok.param(slot, token::kParamSetCharset, &v), simkey::kBadArgument);
    v = 10;
    EXPECT_EQ(tok.param(slot, token::kParamSetLanguage, &v), token::kOk);
    v = 11;
    EXPECT_EQ(tok.param(slot, token::kParamSetLanguage, &v), simkey::kBadArgument);
    EXPECT_EQ(KeyState("PARAM-KEY-1")["language"], 10);
    EXPECT_EQ(tok.param(slot, token::kParamGetLanguageMask, &v), token::kOk);
    EXPECT_EQ(v, 0x0307u);

    uint8_t pinState[8];
    EXPECT_EQ(tok.param(slot, token::kParamPinState, pinState), token::kOk);
    EXPECT_EQ(pinState[2], 7);

    EXPECT_EQ(tok.param(slot, 424242, buf), simkey::kNotSimulated);
    EXPECT_EQ(tok.param(slot, token::kParamGetCharset, nullptr), simkey::kBadArgument);
}

TEST_F(SimTokenTest, SlotChangeQueryAndSignWay) {
    CreateKey("CHANGE-KEY-1");
    const ULONG slot = tok.Slots().at(0);
    EXPECT_EQ(tok.param(slot, token::kParamSlotChanged, nullptr), token::kOk);  // the same key
    uint32_t one = 1;
    EXPECT_EQ(tok.param(slot | token::kSlotFlag, token::kParamKeyChanged, &one), token::kOk);
    EXPECT_NE(tok.param(slot, token::kParamSlotChanged, nullptr), token::kOk);  // its objects changed: once
    EXPECT_EQ(tok.param(slot, token::kParamSlotChanged, nullptr), token::kOk);
    Unplug("CHANGE-KEY-1");
    EXPECT_EQ(tok.param(slot, token::kParamSlotChanged, nullptr), simkey::kNoToken);  // the key is gone

    Plug("CHANGE-KEY-1");
    auto setSignWay = tok.Get<ULONG(WINAPI*)(ULONG)>("PelkoT_SetSignWay");
    EXPECT_EQ(setSignWay(tok.Slots().at(0)), token::kOk);
    EXPECT_EQ(KeyState("CHANGE-KEY-1")["signWayCalls"], 1);
    EXPECT_EQ(setSignWay(slot + 77), simkey::kNoToken);
}

TEST_F(SimTokenTest, EntriesOfLaterWorkAnswerNotSimulated) {
    using NoArgs = ULONG(WINAPI*)();
    for (const char* name : {"PelkoT_CreateObject", "PelkoT_RsaDecrypt", "PelkoT_RsaSign", "Ossl_Z_SM3"})
        EXPECT_EQ(tok.Get<NoArgs>(name)(), simkey::kNotSimulated) << name;
}

}  // namespace
