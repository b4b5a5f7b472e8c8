// The simulated key's engine, simkey_engine.dll: one module that holds the
// simulated keys' state and cryptography. The three stand-in components
// (token library, PIN pad, CSP) are thin DLLs that forward to it; the
// control program and the tests drive it through SimKey_Control. It is
// loaded once and never freed, so the token library can be loaded and freed
// in every call of the key API library at the cost of a small DLL.
#pragma once

#include <windows.h>

namespace simkey {

inline constexpr wchar_t kEngineName[] = L"simkey_engine.dll";

// Statuses of the simulated key beyond those the callers tell apart
// (token/token_api.h). All in the maker's 0xE011xxxx range.
inline constexpr ULONG kBadArgument = 0xE0110001;   // missing or malformed argument
inline constexpr ULONG kNoToken = 0xE0110002;       // no key in that slot
inline constexpr ULONG kStateError = 0xE0110003;    // state file or lock unavailable
inline constexpr ULONG kPinLengthRange = 0xE0110005;  // PIN shorter than 6 or longer than 20
inline constexpr ULONG kWrongInitKey = 0xE0110006;    // initialisation without the right key value
inline constexpr ULONG kNotSimulated = 0xE011FFFE;  // entry exists, behaviour not simulated yet
inline constexpr ULONG kEngineMissing = 0xE011FFFD; // the engine module could not be loaded

// Environment variables the token library keeps its load and unload counts
// in, per process: a test reads them to check that a caller frees it.
inline constexpr wchar_t kTokenLoadsVar[] = L"SIMKEY_TOKEN_LOADS";
inline constexpr wchar_t kTokenFreesVar[] = L"SIMKEY_TOKEN_FREES";

}  // namespace simkey

extern "C" {
// Control: a JSON request ({"op": ...}) in, a JSON answer out
// ({"ok": true, ...} or {"ok": false, "error": "..."}); free it with
// SimKey_Free.
typedef char*(WINAPI* SimKey_ControlFn)(const char* request);
typedef void(WINAPI* SimKey_FreeFn)(char* answer);
}
