// The simulated keys' persistent state: one JSON file per Wine prefix (or
// Windows machine), shared by every process, changed only under a named
// mutex. Each operation loads it, works and saves it again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace simkey {

inline constexpr size_t kMaxPluggedKeys = 10;
inline constexpr int kPinMin = 6;
inline constexpr int kPinMax = 20;

struct Key {
    std::string serial;       // up to 16 characters
    std::string model = "6155";
    std::string cspName;      // up to 16 characters
    std::string dataCode;     // up to 8 characters
    std::string pinSalt;      // hex
    std::string pinHash;      // hex SHA-256 of salt and PIN
    int retryLimit = 10;
    int triesLeft = 10;
    uint32_t flags = 0;
    uint32_t attribute = 0;
    std::string labelHex;     // the label's bytes (any encoding), hex
    uint32_t language = 0;
    uint32_t charset = 0;
    uint32_t languageMask = 0x0000FF07;
    uint32_t slot = 0;        // 0 while unplugged
    bool loggedIn = false;
};

// One scripted PIN-pad answer: "pin" (pin; for a change also newPin),
// "cancel", "timeout" or "debugger".
struct PadAnswer {
    std::string kind;
    std::string pin;
    std::string newPin;
};

struct State {
    uint32_t nextSlot = 1;
    std::vector<Key> keys;
    std::deque<PadAnswer> padScript;
    std::vector<nlohmann::json> padCalls;  // the most recent calls, oldest first
};

inline constexpr size_t kPadCallsKept = 64;

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Key, serial, model, cspName, dataCode, pinSalt, pinHash,
                                                retryLimit, triesLeft, flags, attribute, labelHex, language,
                                                charset, languageMask, slot, loggedIn)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(PadAnswer, kind, pin, newPin)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(State, nextSlot, keys, padScript, padCalls)

// Runs `work` on the current state under the state lock and hands back the
// status it returns. With kWrite the state is written back afterwards
// (atomically, through a temporary file), whatever the status. kStateError
// when the lock or the file cannot be had.
enum class Access { kRead, kWrite };
ULONG WithState(Access access, const std::function<ULONG(State&)>& work);

// The folder the state file lives in (SIMKEY_STATE_DIR, else
// %ProgramData%\SimKey).
std::wstring StateDirectory();

// Lookups; nullptr when there is none.
Key* FindBySlot(State& s, ULONG slot);
Key* FindBySerial(State& s, const std::string& serial);

}  // namespace simkey
