#include "events/shared_block.h"

#include "win/object_security.h"

#include <wtsapi32.h>

#include <cstring>

namespace events {
namespace {

struct WtsFreeFn { void operator()(WTS_SESSION_INFOW* p) const { ::WTSFreeMemory(p); } };
using WtsSessionList = win::Owner<WTS_SESSION_INFOW*, nullptr, WtsFreeFn>;

bool SystemVistaOrLater() {
    // Read once: the answer cannot change while the process runs.
    static const bool vista = [] {
        OSVERSIONINFOW v{};
        v.dwOSVersionInfoSize = sizeof v;
        return ::GetVersionExW(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion >= 6;
    }();
    return vista;
}

DWORD SystemOwnSession() {
    DWORD id = 0;
    return ::ProcessIdToSessionId(::GetCurrentProcessId(), &id) ? id : 0;
}

std::optional<std::vector<DWORD>> SystemSessionList() {
    WtsSessionList list;
    DWORD count = 0;
    if (!::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, list.put(), &count)) return std::nullopt;
    std::vector<DWORD> ids;
    for (DWORD i = 0; i < count; ++i) ids.push_back(list.get()[i].SessionId);
    return ids;
}

constexpr SessionSystem kSystemSessions{SystemVistaOrLater, SystemOwnSession, SystemSessionList};

// Holds the creation mutex from its creation with initial ownership, or
// from a wait, until the end of the scope.
class MutexHold {
public:
    MutexHold(HANDLE mutex, bool alreadyOwned) : mutex_(mutex) {
        owned_ = alreadyOwned;
        if (!owned_) {
            DWORD r = ::WaitForSingleObject(mutex_, INFINITE);
            owned_ = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
        }
    }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;
    ~MutexHold() { if (owned_) ::ReleaseMutex(mutex_); }

private:
    HANDLE mutex_;
    bool owned_;
};

void PutBigEndian32(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v >> 24);
    at[1] = static_cast<uint8_t>(v >> 16);
    at[2] = static_cast<uint8_t>(v >> 8);
    at[3] = static_cast<uint8_t>(v);
}

uint32_t GetBigEndian32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | at[3];
}

}  // namespace

const SessionSystem& SystemSessions() { return kSystemSessions; }

std::string_view TrimSerial(std::string_view serial) {
    size_t end = serial.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : serial.substr(0, end + 1);
}

size_t EncodeKeyEvent(uint32_t sequence, std::string_view serial, uint8_t* block) {
    serial = TrimSerial(serial);
    if (serial.size() > kSerialMax) return 0;
    const size_t length = kRecordSerialOffset + serial.size();
    block[kLengthOffset] = static_cast<uint8_t>(length >> 8);
    block[kLengthOffset + 1] = static_cast<uint8_t>(length);
    PutBigEndian32(block + kPayloadOffset, sequence);
    std::memcpy(block + kPayloadOffset + kRecordSerialOffset, serial.data(), serial.size());
    return length;
}

KeyEventRecord DecodeKeyEvent(const uint8_t* block) {
    uint8_t payload[kReadLimit] = {};
    const size_t length = static_cast<size_t>(block[kLengthOffset]) << 8 | block[kLengthOffset + 1];
    if (length <= kReadLimit) std::memcpy(payload, block + kPayloadOffset, length);
    KeyEventRecord r;
    r.sequence = GetBigEndian32(payload);
    const char* serial = reinterpret_cast<const char*>(payload + kRecordSerialOffset);
    r.serial.assign(serial, strnlen(serial, kReadLimit - kRecordSerialOffset));
    return r;
}

SharedBlock::SharedBlock(const SessionSystem& system, std::wstring baseName)
    : system_(system), baseName_(std::move(baseName)), vista_(system.vistaOrLater()) {}

std::wstring SharedBlock::MutexName() const { return L"Global\\SecSharedMemory_Mut_VELTA_" + baseName_; }

std::wstring SharedBlock::MappingName(std::optional<DWORD> session) const {
    if (!session) return L"Global\\SecSharedMemory_FILE_VELTA_" + baseName_;
    return L"Session\\" + std::to_wstring(*session) + L"\\SecSharedMemory_FILE_VELTA_" + baseName_;
}

DWORD SharedBlock::OwnSession() {
    if (!ownSession_) ownSession_ = system_.ownSession();
    return *ownSession_;
}

bool SharedBlock::MapView(win::Handle mapping) {
    MappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kBlockSize));
    if (!view) return false;
    mapping_ = std::move(mapping);
    view_ = std::move(view);
    return true;
}

void SharedBlock::OpenExisting() {
    if (!vista_) {
        MapView(win::Handle(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, MappingName(std::nullopt).c_str())));
        return;
    }
    OwnSession();
    std::optional<std::vector<DWORD>> sessions = system_.sessions();
    if (!sessions) return;
    // The first session in the system's order that has a block wins, even
    // when it is not this process's own.
    for (DWORD id : *sessions) {
        win::Handle mapping(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, MappingName(id).c_str()));
        if (!mapping) continue;
        if (MapView(std::move(mapping))) blockSession_ = id;
        return;
    }
}

void SharedBlock::CreateMapping() {
    win::ObjectSecurity security(vista_);
    std::optional<DWORD> session;
    if (vista_) session = OwnSession();
    const std::wstring name = MappingName(session);
    win::Handle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, security.attributes(), PAGE_READWRITE, 0,
                                             static_cast<DWORD>(kBlockSize), name.c_str()));
    // An answer with an existing mapping is an open: that block may already
    // hold a record another process wrote.
    const bool created = mapping && ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!MapView(std::move(mapping))) return;
    if (session) blockSession_ = *session;
    if (created) std::memset(view_.get(), 0, kBlockSize);
}

bool SharedBlock::OpenOrCreate() {
    if (view_) return true;
    mapping_.reset();
    mutex_.reset();
    const std::wstring mutexName = MutexName();
    win::Handle mutex(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mutexName.c_str()));
    bool owned = false;
    if (!mutex) {
        win::ObjectSecurity security(vista_);
        mutex.reset(::CreateMutexW(security.attributes(), TRUE, mutexName.c_str()));
        if (!mutex) return false;
        // Made by another process between the open and the create: then it
        // is not ours, and that process may be creating the mapping now.
        owned = ::GetLastError() != ERROR_ALREADY_EXISTS;
    }
    {
        MutexHold hold(mutex.get(), owned);
        if (!owned) OpenExisting();
        if (!view_) CreateMapping();
    }
    mutex_ = std::move(mutex);
    return static_cast<bool>(view_);
}

void SharedBlock::Revalidate() {
    if (!view_ || !vista_ || blockSession_ == OwnSession()) return;
    std::optional<std::vector<DWORD>> sessions = system_.sessions();
    // A list that cannot be had says nothing about the session: keep the view.
    if (!sessions) return;
    for (DWORD id : *sessions)
        if (id == blockSession_) return;
    view_.reset();
    mapping_.reset();
    mutex_.reset();
    blockSession_ = 0;
}

void SharedBlock::Close() {
    view_.reset();
    mapping_.reset();
    mutex_.reset();
    blockSession_ = 0;
}

bool SharedBlock::WriteKeyEvent(uint32_t sequence, std::string_view serial) {
    if (TrimSerial(serial).size() > kSerialMax) return false;
    Revalidate();
    if (!OpenOrCreate()) return false;
    return EncodeKeyEvent(sequence, serial, data()) != 0;
}

KeyEventRecord SharedBlock::ReadKeyEvent() {
    Revalidate();
    if (!OpenOrCreate()) return KeyEventRecord{};
    return DecodeKeyEvent(data());
}

SharedBlock& ProcessBlock() {
    static SharedBlock block;
    return block;
}

}  // namespace events
