// The direct key initialisation with a PIN (the batch path), through the
// session operation itself.
#include "library.h"
#include "session/key_data.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class KeyData : public CleanKeyState {};

TEST_F(KeyData, DirectInitialisationWithAPin) {
    CreateKey("INIT-KEY-0004");
    AddContainer("INIT-KEY-0004", {{"algorithm", "sm2"}});
    EXPECT_EQ(session::InitializeKey("INIT-KEY-0004", 0, "13579135", 1), 0);
    json k = KeyState("INIT-KEY-0004");
    EXPECT_TRUE(k["containers"].empty());
    EXPECT_EQ(k["initVariant"], 255);
    PadAnswers(json::array({{{"kind", "pin"}, {"pin", "13579135"}}}));
    EXPECT_EQ(Api().VerifyPIN("INIT-KEY-0004"), 0);
    Api().Finalize();
    EXPECT_EQ(session::InitializeKey("INIT-KEY-0004", 0, "12345", 0), -300);  // the key refuses a short PIN
}

}  // namespace
