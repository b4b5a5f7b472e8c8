#include "session/pin.h"

#include "api/result_codes.h"
#include "csp/csp_binding.h"
#include "pinpad/pinpad_session.h"
#include "session/token_struct.h"

#include <cstdio>
#include <cstring>

namespace session {

using namespace api;

namespace {

struct StatusRow {
    uint32_t status;
    int32_t result;
};

constexpr StatusRow kLoginRows[] = {
    {token::kOk, ERR_OK},
    {token::kUserCancel, ERR_USER_CANCEL},
    {token::kKeyBusy, ERR_IN_TRANSACTION},
    {token::kPinLocked, ERR_PIN_LOCKED},
};

constexpr StatusRow kChangeRows[] = {
    {token::kOk, ERR_OK},
    {token::kUserCancel, ERR_USER_CANCEL},
    {token::kUserTimeout, ERR_KEY_PRESS_TIMEOUT},
    {pinpad::kDebuggerFound, ERR_DEBUGGER},
};

template <size_t N>
bool Look(const StatusRow (&rows)[N], uint32_t status, int32_t& result) {
    for (const StatusRow& r : rows)
        if (r.status == status) {
            result = r.result;
            return true;
        }
    return false;
}

// The key's tries left through its PIN state parameter; -1 when unreadable.
int TriesLeft(CTokenStruct& s, uint32_t slot) {
    uint8_t state[8] = {};
    if (s.entries().manTokenParam(slot, token::kParamPinState, state) != token::kOk) return -1;
    return state[2];
}

std::string DeviceModel(const token::DeviceInfo& info) { return ModelOf(info); }

}  // namespace

int32_t LoginResult(uint32_t status, bool timeoutOn6156) {
    int32_t r;
    if (Look(kLoginRows, status, r)) return r;
    if (status == token::kUserTimeout) return timeoutOn6156 ? ERR_PIN_VERIFY_TIMEOUT : ERR_KEY_PRESS_TIMEOUT;
    if (status > token::kPinLocked && status <= token::PinWrong(14))
        return PinWrong(static_cast<int32_t>(status - token::kPinLocked));
    return ERR_OTHER;
}

int32_t ChangeResult(uint32_t status, int triesLeft) {
    int32_t r;
    if (Look(kChangeRows, status, r)) return r;
    if (status >= token::kPinLocked && status <= token::PinWrong(14)) {
        if (triesLeft > 0) return PinWrong(triesLeft);
        if (triesLeft == 0) return ERR_PIN_LOCKED;
    }
    return ERR_OTHER;
}

int32_t LoginKey(uint32_t slot, const char* pin) {
    CTokenStruct& s = Session();
    uint32_t status;
    if (pin) {
        size_t n = strnlen(pin, 21);
        if (n < 6 || n > 20) return ERR_PIN_LENGTH;
        auto login = s.entries().get<token::LoginFn>(kLogin);
        if (!login) return ERR_DRIVER_NOT_INSTALLED;
        status = login(slot, token::kUserPin, pin, static_cast<ULONG>(n));
    } else {
        status = pinpad::RunPinOperation({pinpad::kOpVerify, slot | token::kSlotFlag, s.deviceAttribute(),
                                          s.entries().bound[kLogin]});
    }
    bool timeoutOn6156 = false;
    if (status == token::kUserTimeout) {
        // The provider keeps a model 6156 key's PIN-verify time-out, which
        // signing then reports.
        uint32_t only = 0;
        token::DeviceInfo info;
        if (s.OpenKey(nullptr, &only, &info) == ERR_OK && DeviceModel(info) == "6156") {
            timeoutOn6156 = true;
            BYTE flag[10] = {static_cast<BYTE>(only & 0xFF), 1};
            csp::CspProviderParam(csp::kParamPinTimeoutSet, false, "", 0, flag, nullptr);
        }
    }
    return LoginResult(status, timeoutOn6156);
}

int32_t ChangeKeyPin(const char* serial) {
    CTokenStruct& s = Session();
    uint32_t slot = 0;
    token::DeviceInfo info;
    if (s.FindKeyOrRelease(serial, &slot, &info) != ERR_OK) return s.lastResult();
    uint32_t status = pinpad::RunPinOperation(
        {pinpad::kOpChange, slot, s.deviceAttribute(), reinterpret_cast<FARPROC>(s.entries().changePin)});
    int32_t r = ChangeResult(status, status >= token::kPinLocked && status <= token::PinWrong(14) ? TriesLeft(s, slot) : -1);
    s.ReleaseTokenLibrary();
    return r;
}

int32_t ReadPinInfo(const char* serial, char* buffer, int32_t* length) {
    CTokenStruct& s = Session();
    uint32_t slot = 0;
    token::DeviceInfo info;
    if (s.OpenKeyOrRelease(serial, &slot, &info) != ERR_OK) return s.lastResult();
    uint32_t flags;
    std::memcpy(&flags, info.bytes + token::devinfo::kFlags, 4);
    const int tries = info.bytes[token::devinfo::kPinTriesLeft];
    char text[64];
    int n = std::snprintf(text, sizeof text, "%d|%d|%d|%d", info.bytes[token::devinfo::kPinRetryLimit], tries,
                          (flags & token::devinfo::kFlagMustChangePin) ? 1 : 0, tries == 0 ? 1 : 0);
    const int32_t room = *length;
    *length = n;
    if (room < n + 1) {
        // A short buffer is an invalid argument here, not a size answer.
        s.ReleaseTokenLibrary();
        return ERR_INVALID_PARAM;
    }
    std::memcpy(buffer, text, static_cast<size_t>(n) + 1);
    return ERR_OK;
}

int32_t LogoutAllKeys() {
    CTokenStruct& s = Session();
    int32_t r = ERR_OK;
    if (s.BindTokenLibrary() != ERR_OK) {
        r = ERR_DRIVER_NOT_INSTALLED;
    } else {
        ULONG ids[token::kSlotArray] = {};
        ULONG count = token::kSlotQuery;
        auto logout = s.entries().get<token::LogoutFn>(kLogout);
        if (s.entries().getSlotList(1, ids, &count) != token::kOk || count == 0) {
            r = ERR_NO_KEY;
        } else {
            for (ULONG i = 0; i < count && i < token::kSlotArray; ++i)
                if (logout(ids[i], 0) != token::kOk) {
                    r = ERR_READ_KEY;
                    break;
                }
        }
    }
    s.ReleaseTokenLibrary();
    return r;
}

}  // namespace session
