// One PIN operation of the PIN-pad library: it takes the PIN from the user
// (on the key or in its dialog) and calls the token library's PIN function
// itself, so the PIN never passes through this system. The library is
// loaded from the system directory for the operation and freed after it.
#pragma once

#include "pinpad/pinpad_api.h"

#include <windows.h>

#include <cstdint>

namespace pinpad {

// The status when the library or its dialog entry is missing.
inline constexpr ULONG kIndicatorMissing = 0xE011FFFF;

struct Operation {
    uint32_t code;             // kOpVerify, kOpChange or kOpInitialise
    uint32_t slot;             // as the request block carries it (with the flag where the caller wants it)
    uint32_t attribute;        // the key's device attribute word
    FARPROC tokenFunction;     // PelkoT_Login, PelkoT_ChangePin or PelkoT_InitToken
    uint32_t initOption = 0;   // kOpInitialise only
};

// Runs the operation: Pinpad_Param with the attribute word (when present),
// Pinpad_GetKeyInfo(2, 28), Pinpad_Indicator. Its status, or
// kIndicatorMissing.
ULONG RunPinOperation(const Operation& op);

}  // namespace pinpad
