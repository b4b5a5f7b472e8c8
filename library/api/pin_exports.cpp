// Exports of the PIN: verify and change (through the PIN pad), the PIN
// state, ending every login.
#include "api/frame.h"
#include "api/guard.h"
#include "api/result_codes.h"
#include "api/velta_ukey.h"
#include "session/pin.h"
#include "session/token_struct.h"

using namespace api;

namespace {

// An empty serial would select every key in turn (list mode): the PIN
// exports refuse it rather than working on whichever key comes last.
bool EmptySerial(const char* serial) { return serial && !*serial; }

constexpr int32_t kPinInfoSize = 8;

}  // namespace

extern "C" int UKEYAPI VerifyPIN(const char* serial) {
    if (EmptySerial(serial)) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t {
        session::CTokenStruct& s = session::Session();
        uint32_t slot = 0;
        token::DeviceInfo info;
        if (s.OpenKeyOrRelease(serial, &slot, &info) != ERR_OK) return s.lastResult();
        int32_t r = session::LoginKey(slot, nullptr);
        // A checked PIN keeps the token library loaded until the next export.
        if (r != ERR_OK) s.ReleaseTokenLibrary();
        return r;
    }));
}

extern "C" int UKEYAPI ChangePin(const char* serial) {
    if (EmptySerial(serial)) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t { return session::ChangeKeyPin(serial); }));
}

extern "C" int UKEYAPI GetPinInfo(const char* serial, char* buffer, int* length) {
    if (!length || EmptySerial(serial)) return Store(ERR_INVALID_PARAM);
    if (!buffer) {
        *length = kPinInfoSize;
        return Store(ERR_OK);
    }
    return Store(Guarded([&]() -> int32_t { return session::ReadPinInfo(serial, buffer, length); }));
}

extern "C" int UKEYAPI RemovePinCache(void) {
    Store(ERR_OK);
    return Store(Guarded([]() -> int32_t { return session::LogoutAllKeys(); }));
}
