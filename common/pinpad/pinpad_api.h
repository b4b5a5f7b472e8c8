// The maker's PIN-pad and dialog library K2Pinpad_VELTA.dll as this system
// calls it: the request block and the entry point types.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pinpad {

inline constexpr wchar_t kLibraryName[] = L"K2Pinpad_VELTA.dll";

// Operations of the request block.
inline constexpr uint32_t kOpVerify = 0x100001;
inline constexpr uint32_t kOpChange = 0x100002;
inline constexpr uint32_t kOpInitialise = 0x100004;

// Status the PIN-pad library answers when it finds a debugger.
inline constexpr uint32_t kDebuggerFound = static_cast<uint32_t>(-405);

// Request block: little-endian, zeroed, then the fields below. Its size
// follows the pointer size (the maker's block carries pointer-sized members
// past the fields this system fills).
namespace block {
inline constexpr size_t kSize = sizeof(void*) == 8 ? 224 : 208;
inline constexpr size_t kBlockSize = 0;   // u32
inline constexpr size_t kMarks = 12;      // u8 32, 28, 1, 7
inline constexpr size_t kFlags = 16;      // u32, bit value 2 set
inline constexpr size_t kTimeout = 20;    // u32 500
inline constexpr size_t kOperation = 24;  // u32
inline constexpr size_t kPinType = 28;    // u32 2 (user PIN)
inline constexpr size_t kSlot = 32;       // u32
inline constexpr size_t kMinPin = 36;     // u8
inline constexpr size_t kMaxPin = 37;     // u8
inline constexpr size_t kInitOption = 176;  // u32
static_assert(kInitOption + 4 <= kSize);
}  // namespace block

struct RequestBlock {
    uint8_t bytes[block::kSize];
};
#if defined(_WIN64)
static_assert(sizeof(RequestBlock) == 224);
#else
static_assert(sizeof(RequestBlock) == 208);
#endif

inline uint32_t ReadU32(const uint8_t* p, size_t at) {
    uint32_t v;
    std::memcpy(&v, p + at, 4);
    return v;
}
inline void WriteU32(uint8_t* p, size_t at, uint32_t v) { std::memcpy(p + at, &v, 4); }

// Fills a request block for one PIN operation.
inline RequestBlock MakeRequest(uint32_t operation, uint32_t slot, uint32_t initOption = 0) {
    RequestBlock b{};
    WriteU32(b.bytes, block::kBlockSize, static_cast<uint32_t>(block::kSize));
    b.bytes[block::kMarks + 0] = 32;
    b.bytes[block::kMarks + 1] = 28;
    b.bytes[block::kMarks + 2] = 1;
    b.bytes[block::kMarks + 3] = 7;
    WriteU32(b.bytes, block::kFlags, 2);
    WriteU32(b.bytes, block::kTimeout, 500);
    WriteU32(b.bytes, block::kOperation, operation);
    WriteU32(b.bytes, block::kPinType, 2);
    WriteU32(b.bytes, block::kSlot, slot);
    b.bytes[block::kMinPin] = 6;
    b.bytes[block::kMaxPin] = 20;
    if (operation == kOpInitialise) WriteU32(b.bytes, block::kInitOption, initOption);
    return b;
}

// Entry point types.
using IndicatorFn = ULONG(WINAPI*)(HWND owner, FARPROC tokenFunction, ULONGLONG keyInfo, void* request);
using GetKeyInfoFn = ULONGLONG(WINAPI*)(ULONG a, ULONG b);
using ParamFn = ULONG(WINAPI*)(ULONG* attribute, ULONG reserved);
using ShowDialogFn = ULONG(WINAPI*)(ULONG kind, void* data);
using ToolsShowInitFn = ULONG(WINAPI*)(HWND owner);

}  // namespace pinpad
