// The control program and the shared state: what simkey.exe does in its own
// process is what every other process sees.
#include "process.h"
#include "simkey_control.h"
#include "token_api_binding.h"

#include <string>

using namespace testing_support;

namespace {

class SimKeyProgram : public CleanKeyState {};

int RunSimkey(const std::wstring& arguments, std::string* output = nullptr) {
    return RunProgram(L"simkey.exe", arguments, output);
}

TEST_F(SimKeyProgram, KeysMadeByTheProgramAreSeenByTheTokenLibraryHere) {
    ASSERT_EQ(RunSimkey(L"create CLI-KEY-0001 --model 6120 --pin 888888 --tries 5 --label \"From CLI\" --plug"), 0);
    SimToken tok;
    std::vector<ULONG> slots = tok.Slots();
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(tok.login(slots[0], 2, "888888", 6), token::kOk);

    std::string shown;
    ASSERT_EQ(RunSimkey(L"show", &shown), 0);
    EXPECT_NE(shown.find("CLI-KEY-0001"), std::string::npos) << shown;
    EXPECT_NE(shown.find("6120"), std::string::npos) << shown;
    EXPECT_NE(shown.find("5/5"), std::string::npos) << shown;
    EXPECT_NE(shown.find("From CLI"), std::string::npos) << shown;
    EXPECT_NE(shown.find("yes"), std::string::npos) << shown;  // logged in by this process

    ASSERT_EQ(RunSimkey(L"unplug CLI-KEY-0001"), 0);
    EXPECT_TRUE(tok.Slots().empty());
    ASSERT_EQ(RunSimkey(L"pinpad pin 888888 change 888888 999999 cancel"), 0);
    EXPECT_EQ(SimKeyOk({{"op", "state"}})["padScript"], json::array({"pin", "pin", "cancel"}));
}

TEST_F(SimKeyProgram, RefusedCommandsSayWhyAndChangeNothing) {
    ASSERT_EQ(RunSimkey(L"create CLI-KEY-0002"), 0);
    struct Case {
        const wchar_t* args;
        const char* says;
    };
    const Case cases[] = {
        {L"create CLI-KEY-0002", "exists"},
        {L"create CLI-KEY-0003 --pin 123", "6 to 20"},
        {L"create CLI-KEY-0003 --tries 16", "1 to 15"},
        {L"create CLI-KEY-00030000000", "longer than 16"},
        {L"create CLI-KEY-0003 --colour red", "unknown option"},
        {L"unplug CLI-KEY-0002", "not plugged"},
        {L"plug CLI-KEY-0009", "no key"},
        {L"pinpad pin", "expected"},
        {L"frobnicate", "unknown command"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(RunSimkey(c.args, &out), 1) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
    EXPECT_EQ(SimKeyOk({{"op", "state"}})["keys"].size(), 1u);
}

}  // namespace
