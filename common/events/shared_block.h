// The shared information block: a 1024-byte named mapping through which the
// agent tells the library which key an arrival or removal concerns. The
// agent writes the key event record, the library reads it; the same object
// serves both.
#pragma once

#include "win/handles.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace events {

// Block layout: a big-endian payload length, then the payload. The only
// payload is the key event record: a big-endian sequence number and the
// serial number without trailing blanks and without a terminating zero.
inline constexpr size_t kBlockSize = 1024;
inline constexpr size_t kLengthOffset = 0;
inline constexpr size_t kPayloadOffset = 2;
inline constexpr size_t kRecordSerialOffset = 4;  // within the payload
inline constexpr size_t kSerialMax = 16;
inline constexpr size_t kRecordMax = kRecordSerialOffset + kSerialMax;
// The reader takes no payload longer than this.
inline constexpr size_t kReadLimit = 100;
static_assert(kPayloadOffset == kLengthOffset + 2, "two length bytes");
static_assert(kRecordMax <= kReadLimit, "every record the writer makes is readable");
static_assert(kPayloadOffset + kReadLimit <= kBlockSize, "the reader stays inside the block");

inline constexpr wchar_t kBlockBaseName[] = L"VELTA_SVR_SHARE_INFO";

// What the block needs to know of the system's sessions. A table, so that
// tests can stand in for the session list (empty under Wine).
struct SessionSystem {
    // NT platform, major version 6 or more.
    bool (*vistaOrLater)();
    // This process's session id.
    DWORD (*ownSession)();
    // The sessions of the local machine in the system's order; nothing when
    // the list cannot be had.
    std::optional<std::vector<DWORD>> (*sessions)();
};
const SessionSystem& SystemSessions();

struct KeyEventRecord {
    uint32_t sequence = 0;
    std::string serial;
};

struct UnmapViewFn { void operator()(void* view) const { ::UnmapViewOfFile(view); } };
using MappedView = win::Owner<void*, nullptr, UnmapViewFn>;

class SharedBlock {
public:
    explicit SharedBlock(const SessionSystem& system = SystemSessions(), std::wstring baseName = kBlockBaseName);
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    // Opens the block of a session that has one, or creates this session's.
    // True when a view is open.
    bool OpenOrCreate();
    // Drops a view of another session's block once that session has ended,
    // so that the next use opens again.
    void Revalidate();
    void Close();

    // The 1024 bytes, or null when not open.
    uint8_t* data() const { return static_cast<uint8_t*>(view_.get()); }
    // The session whose block is open (Vista and later).
    DWORD blockSession() const { return blockSession_; }
    bool vistaOrLater() const { return vista_; }

    // Agent side. False when no block can be had or the serial does not fit
    // the record (more than 16 characters after trailing blanks are cut).
    bool WriteKeyEvent(uint32_t sequence, std::string_view serial);
    // Library side: the record, or an all-zero one when the block cannot be
    // opened or claims a payload longer than the read limit.
    KeyEventRecord ReadKeyEvent();

private:
    std::wstring MutexName() const;
    std::wstring MappingName(std::optional<DWORD> session) const;
    DWORD OwnSession();
    void OpenExisting();
    void CreateMapping();
    bool MapView(win::Handle mapping);

    const SessionSystem& system_;
    const std::wstring baseName_;
    const bool vista_;
    win::Handle mutex_;
    win::Handle mapping_;
    MappedView view_;
    std::optional<DWORD> ownSession_;
    DWORD blockSession_ = 0;
};

// The process's block (lives until the process ends).
SharedBlock& ProcessBlock();

// The record's bytes: how the writer lays it into the block and how the
// reader takes it out (block points at the 1024 bytes).
size_t EncodeKeyEvent(uint32_t sequence, std::string_view serial, uint8_t* block);
KeyEventRecord DecodeKeyEvent(const uint8_t* block);
// The serial without trailing blanks.
std::string_view TrimSerial(std::string_view serial);

}  // namespace events
