// The token library's behaviour: the entries K2Token_VELTA.dll forwards here.
#include "crypto.h"
#include "state.h"

#include "simkey/engine_api.h"
#include "token/token_api.h"

#include <algorithm>
#include <cstring>

using namespace simkey;
namespace dev = token::devinfo;

namespace {

ULONG SlotOf(ULONG slotArgument) { return slotArgument & ~token::kSlotFlag; }

void PutText(uint8_t* record, size_t at, size_t width, const std::string& text, char pad) {
    std::memset(record + at, pad, width);
    std::memcpy(record + at, text.data(), std::min(width, text.size()));
}

void PutU32(uint8_t* record, size_t at, uint32_t v) { std::memcpy(record + at, &v, 4); }

std::string LabelOf(const Key& k) {
    std::string label;
    FromHex(k.labelHex, label);
    return label;
}

// Runs `work` on the key plugged into the slot.
ULONG OnKey(Access access, ULONG slotArgument, const std::function<ULONG(Key&)>& work) {
    return WithState(access, [&](State& s) -> ULONG {
        Key* k = FindBySlot(s, SlotOf(slotArgument));
        return k ? work(*k) : kNoToken;
    });
}

}  // namespace

extern "C" ULONG WINAPI SimTok_GetSlotList(ULONG /*present*/, ULONG* slots, ULONG* count) {
    if (!slots || !count) return kBadArgument;
    return WithState(Access::kRead, [&](State& s) -> ULONG {
        std::vector<ULONG> ids;
        for (const Key& k : s.keys)
            if (k.slot) ids.push_back(k.slot);
        std::sort(ids.begin(), ids.end());
        ULONG room = *count;
        for (size_t i = 0; i < ids.size() && i < room; ++i) slots[i] = ids[i];
        *count = static_cast<ULONG>(ids.size());
        return ids.size() > room ? token::kBufferTooSmall : token::kOk;
    });
}

extern "C" ULONG WINAPI SimTok_GetDeviceInfo(ULONG slot, ULONG /*reserved*/, BYTE* record) {
    if (!record) return kBadArgument;
    return OnKey(Access::kRead, slot, [&](Key& k) -> ULONG {
        std::memset(record, 0, dev::kSize);
        PutU32(record, dev::kRecordSize, dev::kSize);
        PutText(record, 4, 32, "Quorvell", ' ');
        PutText(record, dev::kCspName, dev::kCspNameLen, k.cspName, ' ');
        PutText(record, dev::kDataCode, dev::kDataCodeLen, k.dataCode, ' ');
        PutText(record, dev::kModel, dev::kModelLen, k.model, ' ');
        PutText(record, dev::kSerial, dev::kSerialLen, k.serial, ' ');
        PutU32(record, dev::kFlags, k.flags);
        PutU32(record, dev::kAttribute, k.attribute);
        record[dev::kPinRetryLimit] = static_cast<uint8_t>(k.retryLimit);
        record[dev::kPinTriesLeft] = static_cast<uint8_t>(k.triesLeft);
        return token::kOk;
    });
}

extern "C" ULONG WINAPI SimTok_ManTokenParam(ULONG slot, ULONG param, void* buffer) {
    auto u32 = [&]() -> uint32_t& { return *static_cast<uint32_t*>(buffer); };
    switch (param) {
    case token::kParamSetLabel:
        if (!buffer) return kBadArgument;
        return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
            const char* text = static_cast<const char*>(buffer);
            size_t n = strnlen(text, 33);
            if (n > 32) return kBadArgument;
            k.labelHex = ToHex(std::string(text, n));
            return token::kOk;
        });
    case token::kParamGetLabel:
        if (!buffer) return kBadArgument;
        return OnKey(Access::kRead, slot, [&](Key& k) -> ULONG {
            PutText(static_cast<uint8_t*>(buffer), 0, 32, LabelOf(k), ' ');
            return token::kOk;
        });
    case token::kParamPinState:
        if (!buffer) return kBadArgument;
        return OnKey(Access::kRead, slot, [&](Key& k) -> ULONG {
            uint8_t* b = static_cast<uint8_t*>(buffer);
            std::memset(b, 0, 8);
            b[0] = static_cast<uint8_t>(k.retryLimit);
            b[2] = static_cast<uint8_t>(k.triesLeft);
            return token::kOk;
        });
    case token::kParamSetLanguage:
        if (!buffer) return kBadArgument;
        return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
            if (u32() > 10) return kBadArgument;
            k.language = u32();
            return token::kOk;
        });
    case token::kParamSetCharset:
        if (!buffer) return kBadArgument;
        return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
            if (u32() > 1) return kBadArgument;
            k.charset = u32();
            return token::kOk;
        });
    case token::kParamGetCharset:
        if (!buffer) return kBadArgument;
        return OnKey(Access::kRead, slot, [&](Key& k) -> ULONG {
            u32() = k.charset;
            return token::kOk;
        });
    case token::kParamGetLanguageMask:
        if (!buffer) return kBadArgument;
        return OnKey(Access::kRead, slot, [&](Key& k) -> ULONG {
            u32() = k.languageMask;
            return token::kOk;
        });
    case token::kParamKeyChanged:
        return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
            k.changed = true;
            return token::kOk;
        });
    case token::kParamSlotChanged:
        // 0 while the slot holds the same key with the same objects; a key
        // whose objects changed answers 1 once.
        return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
            bool was = k.changed;
            k.changed = false;
            return was ? 1 : token::kOk;
        });
    default:
        return kNotSimulated;
    }
}

extern "C" ULONG WINAPI SimTok_SetSignWay(ULONG slot) {
    return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
        ++k.signWayCalls;
        return token::kOk;
    });
}

extern "C" ULONG WINAPI SimTok_Login(ULONG slot, ULONG userType, const char* pin, ULONG length) {
    if (userType != token::kUserPin || !pin) return kBadArgument;
    if (length < static_cast<ULONG>(kPinMin) || length > static_cast<ULONG>(kPinMax)) return kPinLengthRange;
    return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
        if (k.triesLeft <= 0) return token::kPinLocked;
        if (PinMatches({k.pinSalt, k.pinHash}, pin, length)) {
            k.triesLeft = k.retryLimit;
            k.loggedIn = true;
            return token::kOk;
        }
        k.loggedIn = false;
        k.triesLeft -= 1;
        return k.triesLeft == 0 ? token::kPinLocked : token::PinWrong(static_cast<uint32_t>(k.triesLeft));
    });
}

extern "C" ULONG WINAPI SimTok_Logout(ULONG slot, ULONG /*reserved*/) {
    return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
        k.loggedIn = false;
        return token::kOk;
    });
}

// Changes the user PIN: the old one must be right (a wrong one costs a try
// as a login does); the new one takes the key out of "must change".
extern "C" ULONG WINAPI SimTok_ChangePin(ULONG slot, ULONG userType, const char* oldPin, ULONG oldLength,
                                         const char* newPin, ULONG newLength) {
    if (userType != token::kUserPin || !oldPin || !newPin) return kBadArgument;
    auto inRange = [](ULONG n) { return n >= static_cast<ULONG>(kPinMin) && n <= static_cast<ULONG>(kPinMax); };
    if (!inRange(oldLength) || !inRange(newLength)) return kPinLengthRange;
    return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
        if (k.triesLeft <= 0) return token::kPinLocked;
        if (!PinMatches({k.pinSalt, k.pinHash}, oldPin, oldLength)) {
            k.loggedIn = false;
            k.triesLeft -= 1;
            return k.triesLeft == 0 ? token::kPinLocked : token::PinWrong(static_cast<uint32_t>(k.triesLeft));
        }
        PinRecord r = HashNewPin(std::string(newPin, newLength));
        if (r.hashHex.empty()) return kStateError;
        k.pinSalt = r.saltHex;
        k.pinHash = r.hashHex;
        k.triesLeft = k.retryLimit;
        k.flags &= ~dev::kFlagMustChangePin;
        return token::kOk;
    });
}

// Initialises the key: every container goes, the new user PIN is set with
// all its tries. The record must carry the initialisation key value.
extern "C" ULONG WINAPI SimTok_InitToken(ULONG slot, const void* record) {
    if (!record) return kBadArgument;
    token::InitRecord r;
    std::memcpy(&r, record, sizeof r);
    if (r.size != sizeof r || r.keyValueSize != 16 || !r.keyValue || !r.pin) return kBadArgument;
    if (std::memcmp(reinterpret_cast<const void*>(r.keyValue), token::kInitKeyValue, 16) != 0) return kWrongInitKey;
    if (r.pinLength < static_cast<ULONG>(kPinMin) || r.pinLength > static_cast<ULONG>(kPinMax)) return kPinLengthRange;
    const std::string pin(reinterpret_cast<const char*>(r.pin), r.pinLength);
    return OnKey(Access::kWrite, slot, [&](Key& k) -> ULONG {
        PinRecord p = HashNewPin(pin);
        if (p.hashHex.empty()) return kStateError;
        k.containers.clear();
        k.nextKeyIndex = 1;
        k.pinSalt = p.saltHex;
        k.pinHash = p.hashHex;
        k.triesLeft = k.retryLimit;
        k.flags &= ~dev::kFlagMustChangePin;
        k.loggedIn = false;
        k.initVariant = r.variant;
        ++k.initCount;
        return token::kOk;
    });
}
