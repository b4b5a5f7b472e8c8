// The agent's record of key insertions and removals: two alternating files
// of Base64 lines in a hidden folder under the common application-data
// folder, each file at most 600 KiB.
#pragma once

#include <cstdint>
#include <string>

namespace agent {

enum class KeyAction { kInsert = 0, kRemove = 1 };

inline constexpr uint64_t kLogFileLimit = 614400;
inline constexpr wchar_t kLogFolder[] = L"VELTAUkeyLog";
inline constexpr wchar_t kLogFile1[] = L"velta_qvlkey_1.uklog";
inline constexpr wchar_t kLogFile2[] = L"velta_qvlkey_2.uklog";

// Appends one line. A missing serial, or an action other than 0 or 1, writes
// nothing; a serial longer than 16 characters is cut to 16 in the caller's
// text. Failures lose the line silently.
void WriteKeyLog(int action, char* serial);

// The log folder: the common application-data folder and "\VELTAUkeyLog";
// empty when the system does not name that folder.
std::wstring LogFolder();

// The plain line, before encoding (ANSI):
// "[YYYY.MM.DD-hh:mm:ss.mmm][user][serial][Insert|Remove]\r\n".
std::string PlainLogLine(int action, const std::string& serial, const std::string& user);

}  // namespace agent
