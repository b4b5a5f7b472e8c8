// The library as a binary: it exports exactly the functions implemented.
#include "library.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testing_support;

TEST(LibraryBinary, ExportsExactlyTheImplementedFunctions) {
    ASSERT_NE(Api().module, nullptr);
    std::vector<std::string> names = ExportNames(Api().module);
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {
        "ChangePin",      "Finalize",       "GetData",    "GetErrorMsg", "GetLabel",     "GetLastErrCode",
        "GetPinInfo",     "GetPrintNumber", "GetVendorInfo", "GetVidAndPid", "InitUKey",  "Initialize",
        "RemovePinCache", "SetCharset",     "SetData",    "SetLabel",    "SetLanguage",  "StopDetectUKey",
        "VerifyPIN",      "WaitForKeyEvent",
    };
    EXPECT_EQ(names, expected);
}
