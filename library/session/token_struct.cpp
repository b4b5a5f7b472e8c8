#include "session/token_struct.h"

#include "api/result_codes.h"
#include "config/product.h"
#include "win/registry.h"
#include "win/system_module.h"

#include <cstring>

namespace session {

using namespace api;

const char* const kBindNames[kBindCount] = {
    "PelkoT_Login", "PelkoT_Logout", "Ossl_ParseCertDN", "Ossl_GetCertPublicKeyN",
    "Ossl_GetCertPublicKeyBer", "Ossl_GetHashNID", "Ossl_Base64_Encode", "Ossl_Base64_Decode",
    "Ossl_Base64_P7_FileData", "Ossl_GetCertFromP7", "Ossl_PKCS7_Sign", "PelkoT_ReadObject",
    "Ossl_PKCS7_free", "ALG_Digest", "Ossl_DigestInit", "Ossl_DigestUpdate", "Ossl_DigestFinal",
    "Ossl_EncryptInit", "Ossl_EncryptUpdate", "Ossl_EncryptFinal", "PelkoT_GeneratePairKey",
    "PelkoT_GeneratePairKeyEx", "PelkoT_CreateObject", "PelkoT_ExportPairKey", "PelkoT_ImportPairKey",
    "PelkoT_RsaSign", "PelkoT_HkeySign_Serial", "PelkoT_RsaSign_velta", "Ossl_PackageP10",
    "Ossl_PackageP10_SM2", "Ossl_Z_SM3", "Ossl_Sm2GenerateKey", "PelkoT_RsaDecrypt",
    "Ossl_SM2Public_crypt", "Ossl_SM2Private_crypt",
};

namespace {

CTokenStruct g_session;

template <typename Fn>
bool Resolve(HMODULE m, const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(::GetProcAddress(m, name));
    return out != nullptr;
}

uint16_t AttributeOf(const token::DeviceInfo& info) {
    uint16_t v;
    std::memcpy(&v, info.bytes + token::devinfo::kAttribute, sizeof v);
    return v;
}

// OpenKey hands on the serial characters as a zero-terminated text.
void BlanksToZeros(token::DeviceInfo& info) {
    uint8_t* s = info.bytes + token::devinfo::kSerial;
    for (size_t i = token::devinfo::kSerialLen; i > 0 && (s[i - 1] == ' ' || s[i - 1] == 0); --i) s[i - 1] = 0;
}

// Appends without ever writing past the room; the text stays terminated.
void Append(char* out, size_t room, const std::string& piece) {
    size_t used = strnlen(out, room);
    if (used + 1 >= room) return;
    size_t n = std::min(piece.size(), room - 1 - used);
    std::memcpy(out + used, piece.data(), n);
    out[used + n] = '\0';
}

}  // namespace

CTokenStruct& Session() { return g_session; }

std::string SerialOf(const token::DeviceInfo& info) {
    const char* s = reinterpret_cast<const char*>(info.bytes + token::devinfo::kSerial);
    std::string serial(s, strnlen(s, token::devinfo::kSerialLen));
    while (!serial.empty() && serial.back() == ' ') serial.pop_back();
    return serial;
}

std::string ModelOf(const token::DeviceInfo& info) {
    const char* s = reinterpret_cast<const char*>(info.bytes + token::devinfo::kModel);
    return std::string(s, strnlen(s, token::devinfo::kModelLen));
}

// The token module is not freed here: the destructor runs at unload under
// the loader lock, where FreeLibrary must not be called. A module still held
// then (after VerifyPIN, GetLabel...) stays mapped until the process ends.
CTokenStruct::~CTokenStruct() = default;

int32_t CTokenStruct::LoadTokenLibrary() {
    if (module_) return Done(ERR_OK);
    // Only the system directory, where the installation puts the token
    // library: a planted copy in the current directory is never loaded.
    HMODULE m = win::LoadSystemLibrary(token::kLibraryName);
    if (!m) m = win::LoadSystemLibrary(token::kLibraryName);
    if (!m) return Done(ERR_DRIVER_NOT_INSTALLED);
    TokenEntries e;
    bool ok = Resolve(m, "PelkoT_GetSlotList", e.getSlotList) && Resolve(m, "PelkoT_GetDeviceInfo", e.getDeviceInfo) &&
              Resolve(m, "PelkoT_ChangePin", e.changePin) && Resolve(m, "PelkoT_InitToken", e.initToken) &&
              Resolve(m, "PelkoT_ManTokenParam", e.manTokenParam);
    if (!ok) {
        // A module without its entries is not kept: a later "already
        // loaded" answer must never hand out a missing entry.
        ::FreeLibrary(m);
        return Done(ERR_DRIVER_NOT_INSTALLED);
    }
    module_ = m;
    entries_ = e;
    return Done(ERR_OK);
}

int32_t CTokenStruct::BindTokenLibrary() {
    LoadTokenLibrary();
    if (!module_) return Done(ERR_DRIVER_NOT_INSTALLED);
    for (int i = 0; i < kBindCount; ++i) {
        entries_.bound[i] = ::GetProcAddress(module_, kBindNames[i]);
        if (!entries_.bound[i]) {
            std::fill(std::begin(entries_.bound), std::end(entries_.bound), nullptr);
            return Done(ERR_DRIVER_NOT_INSTALLED);
        }
    }
    return Done(ERR_OK);
}

void CTokenStruct::ReleaseTokenLibrary() {
    if (module_) ::FreeLibrary(module_);
    module_ = nullptr;
    entries_ = TokenEntries{};
}

int32_t CTokenStruct::FindKey(const char* serial, uint32_t* slot, token::DeviceInfo* info, char* keyList,
                              size_t listRoom) {
    return SelectKey(Mode::kFind, serial, slot, info, keyList, listRoom);
}

int32_t CTokenStruct::FindKeyOrRelease(const char* serial, uint32_t* slot, token::DeviceInfo* info) {
    int32_t r = FindKey(serial, slot, info);
    if (r != ERR_OK) ReleaseTokenLibrary();
    return r;
}

int32_t CTokenStruct::OpenKeyOrRelease(const char* serial, uint32_t* slot, token::DeviceInfo* info) {
    int32_t r = OpenKey(serial, slot, info);
    if (r != ERR_OK) ReleaseTokenLibrary();
    return r;
}

int32_t CTokenStruct::OpenKey(const char* serial, uint32_t* slot, token::DeviceInfo* info, char* keyList,
                              size_t listRoom) {
    return SelectKey(Mode::kOpen, serial, slot, info, keyList, listRoom);
}

int32_t CTokenStruct::SelectKey(Mode mode, const char* serial, uint32_t* slot, token::DeviceInfo* info,
                                char* keyList, size_t listRoom) {
    lastResult_ = ERR_OK;
    token::DeviceInfo scratch{};
    if (!info) info = &scratch;
    uint32_t slotScratch = 0;
    if (!slot) slot = &slotScratch;

    int32_t bound = mode == Mode::kFind ? LoadTokenLibrary() : BindTokenLibrary();
    if (bound != ERR_OK) return Done(ERR_DRIVER_NOT_INSTALLED);

    ULONG ids[token::kSlotArray] = {};
    ULONG count = token::kSlotQuery;
    if (entries_.getSlotList(1, ids, &count) != token::kOk || count == 0) return Done(ERR_NO_KEY);

    auto read = [&](ULONG id, token::DeviceInfo& into) {
        into = token::DeviceInfo{};
        return entries_.getDeviceInfo(id, 0, into.bytes) == token::kOk;
    };

    if (!serial) {
        if (count > 1) return Done(ERR_MULTIPLE_KEYS);
        *slot = ids[0];
        if (!read(ids[0], *info)) return Done(ERR_READ_KEY);
        deviceAttribute_ = AttributeOf(*info);
        if (mode == Mode::kFind) info->bytes[token::devinfo::kFlags] = 0;
        else BlanksToZeros(*info);
        return Done(ERR_OK);
    }

    if (*serial == '\0') {
        // List mode: the list text goes to keyList only, never into the
        // caller's serial argument.
        if (keyList && listRoom) keyList[0] = '\0';
        for (size_t i = 0; i < token::kSlotArray && ids[i] != 0; ++i) {
            if (!read(ids[i], *info)) return Done(ERR_READ_KEY);
            if (keyList && listRoom) Append(keyList, listRoom, SerialOf(*info) + "|");
            *slot = ids[i];
        }
        if (keyList && listRoom) {
            size_t n = strnlen(keyList, listRoom);
            if (n > 0 && keyList[n - 1] == '|') keyList[n - 1] = '\0';
        }
        deviceAttribute_ = AttributeOf(*info);
        if (mode == Mode::kOpen) BlanksToZeros(*info);
        return Done(ERR_OK);
    }

    for (size_t i = 0; i < token::kSlotArray && ids[i] != 0; ++i) {
        token::DeviceInfo candidate;
        if (!read(ids[i], candidate)) return Done(ERR_READ_KEY);
        if (SerialOf(candidate) != serial) continue;
        *info = candidate;
        info->bytes[token::devinfo::kFlags] = 0;
        deviceAttribute_ = AttributeOf(candidate);
        *slot = ids[i];
        return Done(ERR_OK);
    }
    return Done(ERR_SERIAL_MISMATCH);
}

int32_t CTokenStruct::WriteKeyLabel(const char* serial, const char* label) {
    char text[33] = {};
    if (!label || strnlen(label, sizeof text) >= sizeof text) {
        ReleaseTokenLibrary();
        return Done(ERR_INVALID_PARAM);
    }
    std::strcpy(text, label);
    uint32_t slot = 0;
    token::DeviceInfo info;
    if (FindKeyOrRelease(serial, &slot, &info) != ERR_OK) return lastResult_;
    if (entries_.manTokenParam(slot, token::kParamSetLabel, text) != token::kOk) {
        ReleaseTokenLibrary();
        return Done(ERR_INVALID_PARAM);
    }
    return Done(ERR_OK);
}

int32_t CTokenStruct::ReadKeyLabel(const char* serial, char* label, size_t labelRoom) {
    if (!serial || !*serial || !label || labelRoom == 0) {
        ReleaseTokenLibrary();
        return Done(ERR_INVALID_PARAM);
    }
    uint32_t slot = 0;
    token::DeviceInfo info;
    if (FindKeyOrRelease(serial, &slot, &info) != ERR_OK) return lastResult_;
    uint8_t buf[260] = {};
    if (entries_.manTokenParam(slot, token::kParamGetLabel, buf) != token::kOk) {
        ReleaseTokenLibrary();
        return Done(ERR_INVALID_PARAM);
    }
    // The key answers 32 blank-padded bytes.
    size_t n = 32;
    while (n > 0 && (buf[n - 1] == ' ' || buf[n - 1] == 0)) buf[--n] = 0;
    n = strnlen(reinterpret_cast<char*>(buf), 32);
    n = std::min(n, labelRoom - 1);
    std::memcpy(label, buf, n);
    label[n] = '\0';
    return Done(ERR_OK);
}

LSTATUS SaveWarningMessage(const wchar_t* text) {
    win::RegKey key;
    LSTATUS opened = win::CreateKeyForWrite(HKEY_CURRENT_USER, product::kRegistryKey, key);
    if (opened != ERROR_SUCCESS) return opened;
    const wchar_t* value = text ? text : L"";
    DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), product::kValueWarningMsg, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value), bytes);
}

}  // namespace session
