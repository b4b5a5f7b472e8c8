// Process-wide state of the library and the helpers its exports share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace api {

// The last result code of the process (GetLastErrCode).
int32_t LastResult();
// Stores a result as the last result code and hands it back.
int32_t Store(int32_t result);

// "Global\TokenEventStatusClearDll_VELTA": created once per process (by
// Initialize or the first key-event wait), kept until Finalize.
HANDLE EnsureClearEvent();
void CloseClearEvent();

// How an export answers a result text through (buffer, length). Each export
// has its own row: the lengths it reports differ.
struct TextAnswerRule {
    int32_t sizeQuery;    // length for a missing buffer; kTextPlusOne: text length + 1
    int32_t fitExtra;     // length := text length + fitExtra when the text is written
    int32_t smallExtra;   // length := text length + smallExtra with ERR_BUFFER_TOO_SMALL
};
inline constexpr int32_t kTextPlusOne = -1;

// Applies the rule: ERR_OK (text written only when it fits with its zero,
// that is when the length passed in is at least text length + 1) or
// ERR_BUFFER_TOO_SMALL. length must not be null.
int32_t AnswerText(const TextAnswerRule& rule, std::string_view text, char* buffer, int32_t* length);

}  // namespace api
