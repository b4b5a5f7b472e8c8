// The agent's key log: two alternating hidden files of Base64 lines.
#include "log/key_log.h"
#include "text/base64.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace {

class KeyLog : public ::testing::Test {
protected:
    void SetUp() override {
        folder = agent::LogFolder();
        ASSERT_FALSE(folder.empty());
        for (const wchar_t* f : {agent::kLogFile1, agent::kLogFile2}) {
            std::wstring p = folder + L"\\" + f;
            ::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(p.c_str());
        }
        ::RemoveDirectoryW(folder.c_str());
    }
    std::wstring Path(const wchar_t* f) const { return folder + L"\\" + f; }
    std::string Read(const wchar_t* f) const {
        HANDLE h = ::CreateFileW(Path(f).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<missing>";
        std::string s(1 << 20, '\0');
        DWORD got = 0;
        ::ReadFile(h, s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
        ::CloseHandle(h);
        s.resize(got);
        return s;
    }
    // Fills a file up to the limit with old lines and dates it.
    void Fill(const wchar_t* f, int minutesAgo) const {
        std::string block(agent::kLogFileLimit, 'x');
        HANDLE h = ::CreateFileW(Path(f).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD put = 0;
        ::WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &put, nullptr);
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
        t.QuadPart -= static_cast<ULONGLONG>(minutesAgo) * 60 * 10000000ULL;
        FILETIME when{t.LowPart, t.HighPart};
        ::SetFileTime(h, nullptr, nullptr, &when);
        ::CloseHandle(h);
    }
    std::wstring folder;
};

bool Hidden(const std::wstring& p) {
    DWORD a = ::GetFileAttributesW(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(KeyLog, FirstWriteMakesTheHiddenFolderAndBothFilesAndALineDecodesToOnePlainLine) {
    char serial[] = "SERIAL0123456789XYZ";  // longer than 16: cut in place
    agent::WriteKeyLog(0, serial);
    EXPECT_STREQ(serial, "SERIAL0123456789");
    EXPECT_TRUE(Hidden(folder));
    EXPECT_TRUE(Hidden(Path(agent::kLogFile1)));
    EXPECT_TRUE(Hidden(Path(agent::kLogFile2)));
    EXPECT_EQ(Read(agent::kLogFile2), "");

    std::string stored = Read(agent::kLogFile1);
    ASSERT_GE(stored.size(), 2u);
    ASSERT_EQ(stored.substr(stored.size() - 2), "\r\n");
    std::string plain;
    ASSERT_TRUE(text::Base64Decode(stored.substr(0, stored.size() - 2), plain));
    char user[256];
    DWORD n = sizeof user;
    ::GetUserNameA(user, &n);
    std::regex line(R"(\[\d{4}\.\d{2}\.\d{2}-\d{2}:\d{2}:\d{2}\.\d{3}\]\[(.*)\]\[SERIAL0123456789\]\[Insert\]\r\n)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(plain, m, line)) << plain;
    EXPECT_EQ(m[1], user);

    char second[] = "K2";
    agent::WriteKeyLog(1, second);
    stored = Read(agent::kLogFile1);
    size_t cut = stored.find("\r\n");
    ASSERT_TRUE(text::Base64Decode(stored.substr(cut + 2, stored.size() - cut - 4), plain));
    EXPECT_NE(plain.find("[K2][Remove]\r\n"), std::string::npos);
}

TEST_F(KeyLog, NothingIsWrittenForAMissingSerialOrAnUnknownAction) {
    agent::WriteKeyLog(0, nullptr);
    char s[] = "S";
    agent::WriteKeyLog(2, s);
    agent::WriteKeyLog(-1, s);
    EXPECT_EQ(Read(agent::kLogFile1), "<missing>");
}

TEST_F(KeyLog, FullFilesRotate) {
    char s[] = "ROTATE";
    agent::WriteKeyLog(0, s);  // both files exist
    Fill(agent::kLogFile1, 10);
    agent::WriteKeyLog(0, s);
    EXPECT_EQ(Read(agent::kLogFile1).size(), agent::kLogFileLimit);  // full: the line went to file 2
    EXPECT_FALSE(Read(agent::kLogFile2).empty());

    // Both full: the older one (file 2 here) is emptied and takes the line.
    Fill(agent::kLogFile2, 20);
    agent::WriteKeyLog(1, s);
    std::string two = Read(agent::kLogFile2);
    EXPECT_LT(two.size(), 200u);
    EXPECT_EQ(two.substr(two.size() - 2), "\r\n");
    EXPECT_EQ(Read(agent::kLogFile1).size(), agent::kLogFileLimit);
}

TEST(Base64, KnownAnswersAndRefusals) {
    struct Case {
        std::string plain, encoded;
    };
    for (const Case& c : {Case{"", ""}, Case{"f", "Zg=="}, Case{"fo", "Zm8="}, Case{"foo", "Zm9v"},
                          Case{std::string("\xff\xfe\x00\x01", 4), "//4AAQ=="}, Case{"foobar", "Zm9vYmFy"}}) {
        EXPECT_EQ(text::Base64Encode(c.plain), c.encoded);
        std::string back;
        EXPECT_TRUE(text::Base64Decode(c.encoded, back));
        EXPECT_EQ(back, c.plain);
    }
    std::string out;
    for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9*", "=Zm9"}) EXPECT_FALSE(text::Base64Decode(bad, out)) << bad;
}

}  // namespace
