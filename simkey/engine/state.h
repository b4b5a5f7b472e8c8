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

// One key pair on a key, as the CSP reports it per container and key spec.
struct Pair {
    uint32_t keySpec = 2;     // 1 exchange (encryption), 2 signature
    uint32_t kind = 1;        // 1 transaction-signing, 2 general-signing, 3 encryption
    uint32_t algorithm = 1;   // 1 RSA, 2 SM2
    uint32_t bits = 2048;     // 1024, 2048 (RSA) or 256 (SM2)
    uint32_t keyIndex = 0;    // the pair's number on the key
    std::string privateKeyPem;  // PKCS #8
    std::string publicKeyHex;   // RSA modulus, or the SM2 point 04 || X || Y
    std::string certHex;        // DER; empty while the pair has no certificate
    bool marked = false;        // retired (the CSP's mark request)
};

struct Container {
    std::string name;  // "{%08X-%04X-%04x}"
    std::vector<Pair> pairs;
};

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
    std::vector<Container> containers;
    uint32_t nextKeyIndex = 1;
    uint32_t dataFlags = 0;   // the data word the CSP keeps: flag word
    uint32_t dataValue = 0;   // and value word
    bool dataWritten = false; // a key whose data word was never written answers no data
    bool pinTimeout = false;  // PIN-verify time-out flag
    bool changed = false;     // told that its objects changed; reported once to a slot query
    uint32_t signWayCalls = 0;
    uint32_t initCount = 0;   // initialisations so far
    uint32_t initVariant = 0; // the variant byte of the last one
};

// One scripted PIN-pad answer: "pin" (pin; for a change also newPin),
// "cancel", "timeout" or "debugger".
struct PadAnswer {
    std::string kind;
    std::string pin;
    std::string newPin;
};

// The simulated key's own test certification authorities, made on first use.
struct TestCa {
    std::string rsaKeyPem, rsaCertHex;
    std::string sm2KeyPem, sm2CertHex;
};

struct State {
    uint32_t nextSlot = 1;
    TestCa ca;
    std::vector<Key> keys;
    std::deque<PadAnswer> padScript;
    std::vector<nlohmann::json> padCalls;  // the most recent calls, oldest first
};

inline constexpr size_t kPadCallsKept = 64;

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Pair, keySpec, kind, algorithm, bits, keyIndex, privateKeyPem,
                                                publicKeyHex, certHex, marked)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Container, name, pairs)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Key, serial, model, cspName, dataCode, pinSalt, pinHash,
                                                retryLimit, triesLeft, flags, attribute, labelHex, language,
                                                charset, languageMask, slot, loggedIn, containers, nextKeyIndex,
                                                dataFlags, dataValue, dataWritten, pinTimeout, changed,
                                                signWayCalls, initCount, initVariant)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(TestCa, rsaKeyPem, rsaCertHex, sm2KeyPem, sm2CertHex)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(PadAnswer, kind, pin, newPin)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(State, nextSlot, ca, keys, padScript, padCalls)

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
Key* FindByCspName(State& s, const std::string& cspName);  // plugged keys only
Container* FindContainer(Key& k, const std::string& name);
Pair* FindPair(Container& c, uint32_t keySpec);

}  // namespace simkey
