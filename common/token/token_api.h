// The maker's token library K2Token_VELTA.dll as this system calls it: entry
// point types, the device information record and the statuses the callers
// tell apart. The library itself is an outside component loaded by file name.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace token {

inline constexpr wchar_t kLibraryName[] = L"K2Token_VELTA.dll";

// A slot argument may carry this flag (the calling operation says when).
inline constexpr uint32_t kSlotFlag = 0x20000000;
// PelkoT_GetSlotList: the callers pass an array of 16 ids and a count of 10.
inline constexpr size_t kSlotArray = 16;
inline constexpr uint32_t kSlotQuery = 10;
// PelkoT_Login user type.
inline constexpr uint32_t kUserPin = 2;

// Statuses (the token library answers 0 on success).
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kBufferTooSmall = 0xE0110004;
inline constexpr uint32_t kUserTimeout = 0xE011000F;
inline constexpr uint32_t kPinLocked = 0xE0110010;  // + n (1..14): wrong PIN, n tries left
inline constexpr uint32_t kKeyBusy = 0xE0110020;
inline constexpr uint32_t kUserCancel = static_cast<uint32_t>(-100);
inline constexpr uint32_t PinWrong(uint32_t triesLeft) { return kPinLocked + triesLeft; }

// Key parameter ids of PelkoT_ManTokenParam.
enum Param : uint32_t {
    kParamSetLabel = 1,        // buffer: zero-terminated label text
    kParamPinState = 5,        // buffer: 8 bytes; byte 2 = tries left
    kParamSetLanguage = 21,    // buffer: u32 language index
    kParamSetCharset = 22,     // buffer: u32 0 GBK, 1 UTF-8
    kParamGetCharset = 24,     // buffer: u32 out
    kParamGetLanguageMask = 25,  // buffer: u32 out
    kParamGetLabel = 33,       // buffer: 260 bytes; the first 32 are the blank-padded label
    kParamKeyChanged = 100002, // buffer: u32 1; tells the key its objects changed
    kParamSlotChanged = 100203,  // no buffer: 0 while the key in the slot is unchanged
};

// Device information record: 726 bytes per key.
namespace devinfo {
inline constexpr size_t kSize = 726;
inline constexpr size_t kRecordSize = 0;    // u32
inline constexpr size_t kCspName = 40;      // 16 characters
inline constexpr size_t kCspNameLen = 16;
inline constexpr size_t kDataCode = 56;     // 8 characters
inline constexpr size_t kDataCodeLen = 8;
inline constexpr size_t kModel = 136;       // 4 characters
inline constexpr size_t kModelLen = 4;
inline constexpr size_t kSerial = 248;      // 16 characters, blank padded
inline constexpr size_t kSerialLen = 16;
inline constexpr size_t kFlags = 264;       // u32
inline constexpr uint32_t kFlagMustChangePin = 1u << 19;
inline constexpr size_t kAttribute = 340;   // u32, handed to the PIN-pad library
inline constexpr size_t kPinRetryLimit = 389;  // u8
inline constexpr size_t kPinTriesLeft = 390;   // u8
static_assert(kCspName + kCspNameLen <= kDataCode);
static_assert(kDataCode + kDataCodeLen <= kModel);
static_assert(kSerial + kSerialLen == kFlags);
static_assert(kPinTriesLeft < kSize);
}  // namespace devinfo

struct DeviceInfo {
    uint8_t bytes[devinfo::kSize];
};
static_assert(sizeof(DeviceInfo) == 726);

// The record PelkoT_InitToken takes: 64 bytes, packed, little-endian, with
// 64-bit addresses (the 64-bit library fills it; 32-bit callers go through
// the PIN pad).
#pragma pack(push, 1)
struct InitRecord {
    uint32_t size;          // 64
    uint32_t keyValueSize;  // 16
    uint32_t reserved16;    // 16
    uint64_t keyValue;      // address of the 16-byte initialisation key value
    uint32_t six;           // 6
    uint32_t pinLength;
    uint64_t pin;           // address of the PIN text
    uint32_t zero;          // 0
    uint64_t issuer;        // address of "VELTA"
    uint32_t two;           // 2
    uint8_t unused[8];
    uint8_t variant;        // 255 for variant 1 of the initialisation, else 0
    uint8_t tail[3];
};
#pragma pack(pop)
static_assert(sizeof(InitRecord) == 64);
static_assert(offsetof(InitRecord, keyValue) == 12);
static_assert(offsetof(InitRecord, six) == 20);
static_assert(offsetof(InitRecord, pinLength) == 24);
static_assert(offsetof(InitRecord, pin) == 28);
static_assert(offsetof(InitRecord, zero) == 36);
static_assert(offsetof(InitRecord, issuer) == 40);
static_assert(offsetof(InitRecord, two) == 48);
static_assert(offsetof(InitRecord, variant) == 60);

// The initialisation key value the token library expects in that record.
inline constexpr uint8_t kInitKeyValue[16] = {0x56, 0x45, 0x4C, 0x54, 0x41, 0x2D, 0x51, 0x56,
                                              0x4C, 0x2D, 0x49, 0x4E, 0x49, 0x54, 0x30, 0x31};
inline constexpr char kInitIssuer[] = "VELTA";

// The record for a PIN; the text must outlive the record.
inline InitRecord MakeInitRecord(const char* pin, uint32_t pinLength, uint8_t variant) {
    InitRecord r{};
    r.size = sizeof r;
    r.keyValueSize = 16;
    r.reserved16 = 16;
    r.keyValue = reinterpret_cast<uintptr_t>(kInitKeyValue);
    r.six = 6;
    r.pinLength = pinLength;
    r.pin = reinterpret_cast<uintptr_t>(pin);
    r.issuer = reinterpret_cast<uintptr_t>(kInitIssuer);
    r.two = 2;
    r.variant = variant;
    return r;
}

// Entry point types. The enumeration entries and the PIN functions that the
// PIN-pad library calls back.
using GetSlotListFn = ULONG(WINAPI*)(ULONG present, ULONG* slots, ULONG* count);
using GetDeviceInfoFn = ULONG(WINAPI*)(ULONG slot, ULONG reserved, BYTE* record);
using ManTokenParamFn = ULONG(WINAPI*)(ULONG slot, ULONG param, void* buffer);
using LoginFn = ULONG(WINAPI*)(ULONG slot, ULONG userType, const char* pin, ULONG pinLength);
using LogoutFn = ULONG(WINAPI*)(ULONG slot, ULONG reserved);
using ChangePinFn = ULONG(WINAPI*)(ULONG slot, ULONG userType, const char* oldPin, ULONG oldLength,
                                   const char* newPin, ULONG newLength);
using InitTokenFn = ULONG(WINAPI*)(ULONG slot, const void* record);
// Entries whose calls come with later operations are bound by name only.
using AnyFn = FARPROC;

}  // namespace token
