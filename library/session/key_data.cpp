#include "session/key_data.h"

#include "api/result_codes.h"
#include "config/bank.h"
#include "csp/csp_binding.h"
#include "pinpad/pinpad_session.h"
#include "session/token_struct.h"
#include "store/cert_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace session {

using namespace api;

namespace {

constexpr char kProviderName[] = "VLBK USBKEY2 CSP QVL";
constexpr int kFlagBits = 12;

std::string Hex32(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

// The key's data word through its provider: value word, flag word.
bool ReadDataWord(uint32_t slot, uint32_t& value, uint32_t& flags, DWORD* answered = nullptr) {
    BYTE record[260] = {static_cast<BYTE>(slot & 0xFF)};
    DWORD length = sizeof record;
    if (csp::CspProviderParam(csp::kParamDataWordGet, false, "", 0, record, &length) != 0) return false;
    std::memcpy(&value, record, 4);
    std::memcpy(&flags, record + 4, 4);
    if (answered) *answered = length;
    return true;
}

int32_t InitResult(uint32_t status) {
    if (status == token::kOk) return ERR_OK;
    if (status == token::kUserCancel) return ERR_USER_CANCEL;
    if (status == token::kUserTimeout) return ERR_KEY_PRESS_TIMEOUT;
    return ERR_OTHER;
}

}  // namespace

int32_t InitializeKey(const char* serial, uint32_t option, const char* pin, int variant) {
    CTokenStruct& s = Session();
    uint32_t slot = 0;
    token::DeviceInfo info;
    if (s.FindKeyOrRelease(serial, &slot, &info) != ERR_OK) return s.lastResult();
    uint32_t status;
    if (!pin) {
        status = pinpad::RunPinOperation({pinpad::kOpInitialise, slot | token::kSlotFlag, s.deviceAttribute(),
                                          reinterpret_cast<FARPROC>(s.entries().initToken), option});
    } else {
        token::InitRecord record = token::MakeInitRecord(pin, static_cast<uint32_t>(strnlen(pin, 64)),
                                                         variant == 1 ? 255 : 0);
        status = s.entries().initToken(slot | token::kSlotFlag, &record);
    }
    int32_t r = InitResult(status);
    if (r == ERR_OK) {
        store::RemoveProviderCerts(kProviderName, 1, nullptr, 0);
        store::RemoveProviderCerts(kProviderName, 2, nullptr, 0);
        uint32_t one = 1;
        s.entries().manTokenParam(slot | token::kSlotFlag, token::kParamKeyChanged, &one);
    }
    s.ReleaseTokenLibrary();
    return r;
}

int32_t ReadKeyData(const char* serial, uint32_t type, std::string& text) {
    CTokenStruct& s = Session();
    uint32_t slot = 0;
    token::DeviceInfo info;
    if (s.FindKeyOrRelease(serial, &slot, &info) != ERR_OK) return s.lastResult();
    int32_t r = ERR_OK;
    uint32_t value = 0, flags = 0;
    if (ModelOf(info) == "6120") {
        r = ERR_NOT_SUPPORTED;
    } else if (type != 1 && type != 2) {
        r = ERR_INVALID_PARAM;
    } else if (ReadDataWord(slot, value, flags)) {
        if (type == 1) {
            text = Hex32(value);
        } else {
            text.clear();
            for (int bit = 0; bit < kFlagBits; ++bit)
                if (flags & (1u << bit)) text += Hex32(1u << bit) + "||";
            if (text.size() > 2) text.resize(text.size() - 2);
        }
    } else {
        const char* p = reinterpret_cast<const char*>(info.bytes + token::devinfo::kDataCode);
        text = Hex32(bank::BankTextCode(std::string(p, strnlen(p, token::devinfo::kDataCodeLen))));
    }
    s.ReleaseTokenLibrary();
    return r;
}

int32_t WriteKeyData(const char* serial, uint32_t type, const char* text) {
    CTokenStruct& s = Session();
    uint32_t slot = 0;
    token::DeviceInfo info;
    if (s.FindKeyOrRelease(serial, &slot, &info) != ERR_OK) return s.lastResult();
    int32_t r = ERR_OK;
    if (ModelOf(info) == "6120") {
        r = ERR_NOT_SUPPORTED;
    } else if (type != 1 || !text || (std::strncmp(text, "0x", 2) != 0 && std::strncmp(text, "0X", 2) != 0)) {
        r = ERR_INVALID_PARAM;
    } else {
        uint32_t value = 0, flags = 0;
        DWORD answered = 0;
        if (!ReadDataWord(slot, value, flags, &answered) || answered != 8) flags = 0;
        // The hexadecimal digits after "0x", up to the first other character;
        // a number that does not fit 32 bits reads as 0xFFFFFFFF.
        uint64_t number = 0;
        for (const char* p = text + 2; *p && std::strchr("0123456789abcdefABCDEF", *p); ++p) {
            number = number * 16 + static_cast<uint64_t>(*p <= '9' ? *p - '0' : (*p | 0x20) - 'a' + 10);
            if (number > 0xFFFFFFFFull) number = 0xFFFFFFFFull;
        }
        if (number == 0 || number == 0xFFFFFFFFull) {
            r = ERR_INVALID_PARAM;
        } else {
            const uint32_t n = static_cast<uint32_t>(number), merged = flags | n;
            BYTE record[10] = {static_cast<BYTE>(slot & 0xFF), 8};
            std::memcpy(record + 2, &merged, 4);
            std::memcpy(record + 6, &n, 4);
            if (csp::CspProviderParam(csp::kParamDataWordSet, false, "", 0, record, nullptr) != 0) r = ERR_WRITE_OBJECT;
        }
    }
    s.ReleaseTokenLibrary();
    return r;
}

}  // namespace session
