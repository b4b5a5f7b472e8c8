// The token session: the library's one CTokenStruct. It owns the binding to
// the token library, selects the key an export names, and carries the
// operations behind the key-information exports.
#pragma once

#include "token/token_api.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace session {

// Entries that BindTokenLibrary resolves, in binding order.
enum BindEntry : int {
    kLogin, kLogout, kParseCertDN, kGetCertPublicKeyN, kGetCertPublicKeyBer, kGetHashNID,
    kBase64Encode, kBase64Decode, kBase64P7FileData, kGetCertFromP7, kPkcs7Sign, kReadObject,
    kPkcs7Free, kAlgDigest, kDigestInit, kDigestUpdate, kDigestFinal, kEncryptInit, kEncryptUpdate,
    kEncryptFinal, kGeneratePairKey, kGeneratePairKeyEx, kCreateObject, kExportPairKey, kImportPairKey,
    kRsaSign, kHkeySignSerial, kRsaSignVelta, kPackageP10, kPackageP10Sm2, kZSm3, kSm2GenerateKey,
    kRsaDecrypt, kSm2PublicCrypt, kSm2PrivateCrypt,
    kBindCount
};
extern const char* const kBindNames[kBindCount];

// Entry table of the token library: the five enumeration entries that
// LoadTokenLibrary resolves, then the bound ones.
struct TokenEntries {
    token::GetSlotListFn getSlotList = nullptr;
    token::GetDeviceInfoFn getDeviceInfo = nullptr;
    token::ChangePinFn changePin = nullptr;
    token::InitTokenFn initToken = nullptr;
    token::ManTokenParamFn manTokenParam = nullptr;
    FARPROC bound[kBindCount] = {};

    // The typed form of a bound entry; the caller names the type its call uses.
    template <typename Fn>
    Fn get(BindEntry e) const { return reinterpret_cast<Fn>(bound[e]); }
};

class CTokenStruct {
public:
    CTokenStruct() = default;
    CTokenStruct(const CTokenStruct&) = delete;
    CTokenStruct& operator=(const CTokenStruct&) = delete;
    virtual ~CTokenStruct();

    int32_t LoadTokenLibrary();
    int32_t BindTokenLibrary();
    void ReleaseTokenLibrary();
    bool Loaded() const { return module_ != nullptr; }

    // Selection by serial number. serial == nullptr: the only key present;
    // serial "" (list mode): every key, their serial numbers joined by "|"
    // into keyList (room for listRoom bytes), working on the last one.
    int32_t FindKey(const char* serial, uint32_t* slot, token::DeviceInfo* info, char* keyList = nullptr,
                    size_t listRoom = 0);
    // FindKey that frees the token library when the selection fails, as
    // most operations do before they answer.
    int32_t FindKeyOrRelease(const char* serial, uint32_t* slot, token::DeviceInfo* info);
    int32_t OpenKeyOrRelease(const char* serial, uint32_t* slot, token::DeviceInfo* info);
    int32_t OpenKey(const char* serial, uint32_t* slot, token::DeviceInfo* info, char* keyList = nullptr,
                    size_t listRoom = 0);

    int32_t WriteKeyLabel(const char* serial, const char* label);
    // label: room for labelRoom bytes; receives the label without trailing blanks.
    int32_t ReadKeyLabel(const char* serial, char* label, size_t labelRoom);

    const TokenEntries& entries() const { return entries_; }
    uint16_t deviceAttribute() const { return deviceAttribute_; }
    int32_t lastResult() const { return lastResult_; }

private:
    enum class Mode { kFind, kOpen };
    int32_t SelectKey(Mode mode, const char* serial, uint32_t* slot, token::DeviceInfo* info, char* keyList,
                      size_t listRoom);
    int32_t Done(int32_t result) { return lastResult_ = result; }

    HMODULE module_ = nullptr;
    TokenEntries entries_;
    uint16_t deviceAttribute_ = 0;
    int32_t lastResult_ = 0;
};

// The process's token session.
CTokenStruct& Session();

// The serial number of a device information record without trailing blanks.
std::string SerialOf(const token::DeviceInfo& info);
// The model code at offset 136, compared as text by callers.
std::string ModelOf(const token::DeviceInfo& info);

// Writes the text as the per-user value WarningMsg (an empty value when the
// text is missing). The registry's answer is the result.
LSTATUS SaveWarningMessage(const wchar_t* text);

}  // namespace session
