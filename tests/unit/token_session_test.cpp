// Key selection of the token session against the simulated key.
#include "api/result_codes.h"
#include "config/product.h"
#include "session/pin.h"
#include "session/token_struct.h"
#include "simkey_control.h"
#include "win/registry.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;
using session::Session;
namespace dev = token::devinfo;

namespace {

class TokenSession : public CleanKeyState {
protected:
    void TearDown() override { Session().ReleaseTokenLibrary(); }
    token::DeviceInfo info{};
    uint32_t slot = 0;
};

std::string SerialField(const token::DeviceInfo& i) {
    return std::string(reinterpret_cast<const char*>(i.bytes + dev::kSerial), dev::kSerialLen);
}

TEST_F(TokenSession, WithoutSerialTheOnlyKeyIsTakenAndTwoAreRefused) {
    EXPECT_EQ(Session().FindKey(nullptr, &slot, &info), api::ERR_NO_KEY);
    CreateKey("ONLY-KEY", {{"attribute", 0x00051234}, {"mustChangePin", true}});
    ASSERT_EQ(Session().FindKey(nullptr, &slot, &info), api::ERR_OK);
    EXPECT_NE(slot, 0u);
    EXPECT_EQ(Session().deviceAttribute(), 0x1234);  // the 16-bit word handed to the PIN pad
    // FindKey ends the serial text with a zero at offset 264 (the flags' first byte).
    EXPECT_EQ(info.bytes[dev::kFlags], 0);
    EXPECT_EQ(info.bytes[dev::kFlags + 2], 0x08);  // bit 19 is kept
    EXPECT_EQ(SerialField(info), std::string("ONLY-KEY") + std::string(8, ' '));

    ASSERT_EQ(Session().OpenKey(nullptr, &slot, &info), api::ERR_OK);
    EXPECT_EQ(SerialField(info), std::string("ONLY-KEY") + std::string(8, '\0'));  // blanks become zeros

    CreateKey("SECOND-KEY");
    EXPECT_EQ(Session().FindKey(nullptr, &slot, &info), api::ERR_MULTIPLE_KEYS);
    EXPECT_EQ(Session().OpenKey(nullptr, &slot, &info), api::ERR_MULTIPLE_KEYS);
    EXPECT_EQ(Session().lastResult(), api::ERR_MULTIPLE_KEYS);
}

TEST_F(TokenSession, ListModeFillsOnlyTheListAndWorksOnTheLastKey) {
    CreateKey("LIST-1");
    CreateKey("LIST-2", {{"attribute", 7}});
    char list[256];
    std::memset(list, 'x', sizeof list);
    const std::string serial = "";  // the caller's serial text stays as it is
    ASSERT_EQ(Session().OpenKey(serial.c_str(), &slot, &info, list, sizeof list), api::ERR_OK);
    EXPECT_STREQ(list, "LIST-1|LIST-2");
    EXPECT_EQ(SerialField(info), std::string("LIST-2") + std::string(10, '\0'));
    EXPECT_EQ(slot, KeyState("LIST-2")["slot"].get<uint32_t>());

    // A list that does not fit is cut, never written past its room.
    char small[8];
    std::memset(small, 'x', sizeof small);
    ASSERT_EQ(Session().FindKey("", &slot, &info, small, 6), api::ERR_OK);
    EXPECT_STREQ(small, "LIST-");
    EXPECT_EQ(small[6], 'x');
}

TEST_F(TokenSession, SerialSelectsByExactMatch) {
    CreateKey("MATCH-1");
    CreateKey("MATCH-12");
    ASSERT_EQ(Session().FindKey("MATCH-12", &slot, &info), api::ERR_OK);
    EXPECT_EQ(slot, KeyState("MATCH-12")["slot"].get<uint32_t>());
    ASSERT_EQ(Session().FindKey("MATCH-1", &slot, &info), api::ERR_OK);
    EXPECT_EQ(slot, KeyState("MATCH-1")["slot"].get<uint32_t>());
    EXPECT_EQ(Session().FindKey("match-1", &slot, &info), api::ERR_SERIAL_MISMATCH);
    EXPECT_EQ(Session().OpenKey("MATCH-", &slot, &info), api::ERR_SERIAL_MISMATCH);
}

TEST_F(TokenSession, BindResolvesEveryEntryAndReleaseForgetsThem) {
    ASSERT_EQ(Session().BindTokenLibrary(), api::ERR_OK);
    for (int i = 0; i < session::kBindCount; ++i)
        EXPECT_NE(Session().entries().bound[i], nullptr) << session::kBindNames[i];
    Session().ReleaseTokenLibrary();
    EXPECT_FALSE(Session().Loaded());
    EXPECT_EQ(Session().entries().getSlotList, nullptr);
}

TEST_F(TokenSession, LoginWithAPinText) {
    CreateKey("LOGIN-TEXT-01", {{"pin", "24681357"}});
    ASSERT_EQ(Session().OpenKey("LOGIN-TEXT-01", &slot, &info), api::ERR_OK);
    // Lengths outside 6..20 are refused before the key is asked.
    EXPECT_EQ(session::LoginKey(slot, "12345"), api::ERR_PIN_LENGTH);
    EXPECT_EQ(session::LoginKey(slot, "123456789012345678901"), api::ERR_PIN_LENGTH);
    EXPECT_EQ(KeyState("LOGIN-TEXT-01")["triesLeft"], 10);
    EXPECT_EQ(session::LoginKey(slot, "11111111"), api::PinWrong(9));
    EXPECT_EQ(session::LoginKey(slot, "24681357"), api::ERR_OK);
    EXPECT_TRUE(KeyState("LOGIN-TEXT-01")["loggedIn"].get<bool>());
    EXPECT_TRUE(Session().Loaded());  // the caller decides when to free it
}

TEST_F(TokenSession, SaveWarningMessageWritesTheUserValue) {
    ASSERT_EQ(session::SaveWarningMessage(L"请确认转账金额"), ERROR_SUCCESS);
    EXPECT_EQ(win::ReadString(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueWarningMsg),
              std::optional<std::wstring>(L"请确认转账金额"));
    ASSERT_EQ(session::SaveWarningMessage(nullptr), ERROR_SUCCESS);
    EXPECT_EQ(win::ReadString(HKEY_CURRENT_USER, product::kRegistryKey, product::kValueWarningMsg),
              std::optional<std::wstring>(L""));
}

}  // namespace
