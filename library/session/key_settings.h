// Text settings stored on the key itself: its character set and the
// language of its own display.
#pragma once

#include <cstdint>

namespace session {

// charset "GBK" or "UTF-8" (any letter case). serial nullptr: the first key.
int32_t SetKeyCharset(const char* serial, const char* charset);
// language "zh_CN", "en_US"... (exact letter case); three more languages
// are shown by the computer in English on the key.
int32_t SetKeyLanguage(const char* serial, const char* language);

// The language index sent to the key and the Windows language id written to
// UILang for a language text; false for a text that is not known.
struct LanguageChoice {
    uint32_t keyIndex;
    uint32_t uiLang;
    uint32_t maskBit;  // 0 for the languages the key does not show itself
};
bool LookUpLanguage(const char* language, LanguageChoice& out);

}  // namespace session
