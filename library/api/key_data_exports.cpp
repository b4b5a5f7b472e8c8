// Exports of key initialisation and the key's data word.
#include "api/frame.h"
#include "api/guard.h"
#include "api/result_codes.h"
#include "api/velta_ukey.h"
#include "session/key_data.h"

#include <cstring>

using namespace api;

namespace {

// GetData: a size query answers the text length + 1; a short buffer counts
// the zero too.
constexpr TextAnswerRule kDataAnswer{kTextPlusOne, 0, 1};
constexpr size_t kSerialMin = 10, kSerialMax = 16;
constexpr size_t kDataTextMax = 300;

bool SerialLengthOk(const char* serial) {
    size_t n = strnlen(serial, kSerialMax + 1);
    return n >= kSerialMin && n <= kSerialMax;
}

}  // namespace

extern "C" int UKEYAPI InitUKey(const char* serial) {
    if (serial && !*serial) return Store(ERR_INVALID_PARAM);  // never "every key in turn"
    return Store(Guarded([&]() -> int32_t { return session::InitializeKey(serial, 0, nullptr, 0); }));
}

extern "C" int UKEYAPI SetData(const char* serial, unsigned type, const char* text) {
    if (!serial || !text || !SerialLengthOk(serial) || strnlen(text, kDataTextMax + 1) > kDataTextMax)
        return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t { return session::WriteKeyData(serial, type, text); }));
}

extern "C" int UKEYAPI GetData(const char* serial, unsigned type, char* buffer, int* length) {
    if (!serial || !length || !SerialLengthOk(serial)) return Store(ERR_INVALID_PARAM);
    return Store(Guarded([&]() -> int32_t {
        std::string text;
        int32_t r = session::ReadKeyData(serial, type, text);
        if (r != ERR_OK) return r;
        if (text.size() >= 260) return ERR_OTHER;  // the work buffer's room
        return AnswerText(kDataAnswer, text, buffer, length);
    }));
}
