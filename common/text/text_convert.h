// Text conversions between GBK (code page 936), UTF-8 and UTF-16. The key
// stores its texts in GBK or UTF-8; Windows wants UTF-16.
#pragma once

#include <string>

namespace text {

inline constexpr unsigned kCodePageGbk = 936;

enum class Direction { kUtf8ToGbk = 0, kGbkToUtf8 = 1 };
enum class WideTarget { kGbk = 0, kUtf8 = 1 };

// direction 1: GBK to UTF-8; 0: UTF-8 to GBK, through UTF-16. 0 and the new
// text when the result is not empty; -1 for another direction, an empty
// input or a failed conversion.
int ConvertText(int direction, const char* input, int byteLength, std::string& out);
// direction 0: UTF-16 to GBK; 1: to UTF-8. length in characters, -1 for a
// zero-terminated text. Same result rules as ConvertText.
int WideToText(int direction, const wchar_t* input, int length, std::string& out);

// Whole zero-terminated texts into caller buffers of `capacity` elements.
// The result always ends in a zero; false when the text does not fit or does
// not convert (the buffer then holds an empty text).
bool WideToGbk(const wchar_t* input, char* buffer, int capacity);
bool GbkToWide(const char* input, wchar_t* buffer, int capacity);
bool Utf8ToWide(const char* input, wchar_t* buffer, int capacity);

// Convenience forms for callers that own std strings.
std::wstring ToWide(const std::string& input, unsigned codePage);
std::string FromWide(const std::wstring& input, unsigned codePage);

}  // namespace text
