// The key-information exports: serial numbers, USB identity, maker, label.
#include "library.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

using namespace testing_support;

namespace {

class KeyInfo : public CleanKeyState {};

std::string Fetch(const std::function<int(char*, int*)>& call, int* result = nullptr) {
    char buf[512] = {};
    int len = sizeof buf;
    int r = call(buf, &len);
    if (result) *result = r;
    return r == 0 ? std::string(buf) : std::string("<error ") + std::to_string(r) + ">";
}

std::string PrintNumber() {
    return Fetch([](char* b, int* l) { return Api().GetPrintNumber(b, l); });
}

std::string Label(const char* serial) {
    return Fetch([serial](char* b, int* l) { return Api().GetLabel(serial, b, l); });
}

TEST_F(KeyInfo, KeysAreListedInSlotOrder) {
    CreateKey("B-KEY-0002", {{"label", "second made"}});
    CreateKey("A-KEY-0001", {{"label", "first made"}});
    EXPECT_EQ(PrintNumber(), "B-KEY-0002|A-KEY-0001");
    EXPECT_EQ(Label("B-KEY-0002"), "second made");
    EXPECT_EQ(Label("A-KEY-0001"), "first made");

    // Pulled out and put back, a key gets a new slot behind the others.
    Unplug("B-KEY-0002");
    EXPECT_EQ(PrintNumber(), "A-KEY-0001");
    Plug("B-KEY-0002");
    EXPECT_EQ(PrintNumber(), "A-KEY-0001|B-KEY-0002");
}

TEST_F(KeyInfo, SerialNumbersAreListedAndMatchedWithoutTrailingBlanks) {
    // The record holds the serial blank padded to 16 characters.
    CreateKey("SHORT7", {{"label", "padded"}});
    EXPECT_EQ(PrintNumber(), "SHORT7");
    EXPECT_EQ(Label("SHORT7"), "padded");
    EXPECT_EQ(Label("SHORT7 "), "<error -108>");  // the given text is compared exactly
    EXPECT_EQ(Label("SHORT"), "<error -108>");
    CreateKey("FULL567890123456");
    EXPECT_EQ(PrintNumber(), "SHORT7|FULL567890123456");
}

// Each export's own row for a missing buffer, a text that fits exactly and
// a buffer one byte short.
TEST_F(KeyInfo, EachExportAnswersTheBufferCasesByItsOwnRow) {
    CreateKey("ROW-KEY-01", {{"label", "Demo"}});
    struct Row {
        const char* name;
        std::function<int(char*, int*)> call;
        std::string text;
        int sizeQuery, fit, tooSmall;
    };
    const std::string chinese = "Quorvell科技股份有限公司";
    const int cn = static_cast<int>(chinese.size());
    const Row rows[] = {
        {"GetPrintNumber", [](char* b, int* l) { return Api().GetPrintNumber(b, l); }, "ROW-KEY-01", 11, 10, 10},
        {"GetLabel", [](char* b, int* l) { return Api().GetLabel("ROW-KEY-01", b, l); }, "Demo", 5, 4, 4},
        {"GetVidAndPid", [](char* b, int* l) { return Api().GetVidAndPid(b, l); }, "2E4B&0301", 10, 9, 9},
        {"GetVendorInfo 0", [](char* b, int* l) { return Api().GetVendorInfo(0, b, l); }, chinese, 35, cn, cn + 1},
        {"GetVendorInfo 1", [](char* b, int* l) { return Api().GetVendorInfo(1, b, l); }, chinese, 35, cn, cn + 1},
        {"GetVendorInfo 2", [](char* b, int* l) { return Api().GetVendorInfo(2, b, l); }, "Quorvell Corporation", 35,
         20, 21},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const int n = static_cast<int>(row.text.size());
        int len = -7;
        EXPECT_EQ(row.call(nullptr, &len), 0);
        EXPECT_EQ(len, row.sizeQuery);

        std::vector<char> buf(64, 'x');
        len = n + 1;
        EXPECT_EQ(row.call(buf.data(), &len), 0);
        EXPECT_EQ(std::string(buf.data()), row.text);
        EXPECT_EQ(len, row.fit);
        EXPECT_EQ(Api().LastErr(), 0);

        std::fill(buf.begin(), buf.end(), 'x');
        len = n;
        EXPECT_EQ(row.call(buf.data(), &len), -404);
        EXPECT_EQ(len, row.tooSmall);
        EXPECT_EQ(buf[0], 'x');  // nothing written
        EXPECT_EQ(Api().LastErr(), -404);

        EXPECT_EQ(row.call(buf.data(), nullptr), -401);
        EXPECT_EQ(Api().LastErr(), -401);
    }
}

TEST_F(KeyInfo, WhatNeedsTheKeyAndWhatDoesNot) {
    int len = 0;
    EXPECT_EQ(Api().GetPrintNumber(nullptr, &len), -102);  // reads the key even to report a size
    EXPECT_EQ(Api().GetLabel("NOPE", nullptr, &len), -102);
    EXPECT_EQ(Api().GetVidAndPid(nullptr, &len), 0);
    EXPECT_EQ(Api().GetVendorInfo(2, nullptr, &len), 0);
    EXPECT_EQ(len, 35);
    char buf[64];
    len = sizeof buf;
    EXPECT_EQ(Api().GetVendorInfo(7, buf, &len), -300);
    EXPECT_EQ(Api().GetVendorInfo(-1, buf, &len), -300);
}

TEST_F(KeyInfo, LabelLimitsAndRoundTrips) {
    CreateKey("LABEL-KEY-1", {{"label", "old"}});
    const KeyApi& api = Api();
    const std::string max(32, 'L');
    struct Case {
        const char* what;
        const char* serial;
        std::string label;
        int result;
    };
    const Case refused[] = {
        {"33 bytes", "LABEL-KEY-1", max + "L", -401},
        {"empty label", "LABEL-KEY-1", "", -401},
        {"empty serial", "", "fine", -401},
        {"unknown serial", "LABEL-KEY-9", "fine", -108},
    };
    for (const Case& c : refused) {
        EXPECT_EQ(api.SetLabel(c.serial, c.label.c_str()), c.result) << c.what;
        EXPECT_EQ(api.LastErr(), c.result) << c.what;
    }
    EXPECT_EQ(api.SetLabel(nullptr, "fine"), -401);
    EXPECT_EQ(api.SetLabel("LABEL-KEY-1", nullptr), -401);
    EXPECT_EQ(Label("LABEL-KEY-1"), "old");  // nothing refused reached the key

    EXPECT_EQ(api.SetLabel("LABEL-KEY-1", max.c_str()), 0);
    EXPECT_EQ(Label("LABEL-KEY-1"), max);
    EXPECT_EQ(api.SetLabel("LABEL-KEY-1", "Blanks at the end   "), 0);
    EXPECT_EQ(Label("LABEL-KEY-1"), "Blanks at the end");

    // The key keeps the bytes it is given: a GBK label comes back unchanged.
    const std::string gbk = "\xd5\xc5\xc8\xfd\xb5\xc4UKey";  // 张三的UKey
    EXPECT_EQ(api.SetLabel("LABEL-KEY-1", gbk.c_str()), 0);
    EXPECT_EQ(Label("LABEL-KEY-1"), gbk);
    EXPECT_EQ(KeyState("LABEL-KEY-1")["labelHex"], "d5c5c8fdb5c4554b6579");

    int len = 0;
    EXPECT_EQ(api.GetLabel("", nullptr, &len), -401);
    EXPECT_EQ(api.GetLabel(nullptr, nullptr, &len), -401);
    EXPECT_EQ(api.GetLabel("LABEL-KEY-1", nullptr, nullptr), -401);
}

}  // namespace

namespace {

// Hostile lengths and texts: always a result code, never a write.
TEST_F(KeyInfo, HostileLengthsAndTextsAreAnsweredWithoutWriting) {
    CreateKey("HOSTILE-01", {{"label", "kept"}});
    const std::string huge(100000, 'S');
    for (int given : {0, -1, -100000, INT_MIN}) {
        SCOPED_TRACE(given);
        char buf[16];
        std::memset(buf, 'x', sizeof buf);
        int len = given;
        EXPECT_EQ(Api().GetPrintNumber(buf, &len), -404);
        len = given;
        EXPECT_EQ(Api().GetLabel("HOSTILE-01", buf, &len), -404);
        len = given;
        EXPECT_EQ(Api().GetVidAndPid(buf, &len), -404);
        len = given;
        EXPECT_EQ(Api().GetVendorInfo(0, buf, &len), -404);
        len = given;
        EXPECT_EQ(Api().GetErrorMsg(-101, buf, &len), -404);
        EXPECT_EQ(buf[0], 'x');
    }
    int len = 64;
    char buf[64];
    EXPECT_EQ(Api().GetLabel(huge.c_str(), buf, &len), -108);
    EXPECT_EQ(Api().SetLabel(huge.c_str(), "x"), -108);
    EXPECT_EQ(Api().SetLabel("HOSTILE-01", huge.c_str()), -401);
    EXPECT_EQ(Api().SetCharset(huge.c_str(), "GBK"), -108);
    EXPECT_EQ(Api().SetCharset("HOSTILE-01", huge.c_str()), -401);
    EXPECT_EQ(Api().SetLanguage("HOSTILE-01", huge.c_str()), -401);
    EXPECT_EQ(Label("HOSTILE-01"), "kept");
}

}  // namespace
