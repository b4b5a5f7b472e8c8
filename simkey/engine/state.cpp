#include "state.h"

#include "simkey/engine_api.h"
#include "win/handles.h"

#include <string>

namespace simkey {
namespace {

constexpr wchar_t kLockName[] = L"Global\\SimKeyStateLock";
constexpr DWORD kLockWaitMs = 10000;

std::wstring StatePath() { return StateDirectory() + L"\\state.json"; }

// What identifies one version of the state file: every write makes a new
// file (written aside, then renamed over), so its file index changes.
struct FileIdentity {
    DWORD volume = 0, indexHigh = 0, indexLow = 0, sizeLow = 0;
    FILETIME written{};
    bool operator==(const FileIdentity& o) const {
        return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow && sizeLow == o.sizeLow &&
               CompareFileTime(&written, &o.written) == 0;
    }
};

// The last state read or written by this process, so that a call that
// finds the file unchanged does not parse it again.
struct Cache {
    bool valid = false;
    FileIdentity identity;
    State state;
};
Cache g_cache;

bool IdentityOf(HANDLE f, FileIdentity& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(f, &info)) return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow, info.nFileSizeLow, info.ftLastWriteTime};
    return true;
}

win::File OpenForRead(const std::wstring& path) {
    return win::File(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Brings the cache up to date with the file. False when the file exists but
// cannot be read or parsed.
bool Refresh() {
    win::File f = OpenForRead(StatePath());
    if (!f) {
        DWORD e = ::GetLastError();
        if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) return false;
        g_cache.valid = true;  // no file yet: the empty state
        g_cache.identity = {};
        g_cache.state = State{};
        return true;
    }
    FileIdentity id;
    if (!IdentityOf(f.get(), id)) return false;
    if (g_cache.valid && g_cache.identity == id) return true;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(f.get(), &size) || size.QuadPart > (64 << 20)) return false;
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!text.empty() &&
        (!::ReadFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) || got != text.size()))
        return false;
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded()) return false;
    try {
        g_cache.state = j.get<State>();
    } catch (const std::exception&) {
        g_cache.valid = false;
        return false;
    }
    g_cache.identity = id;
    g_cache.valid = true;
    return true;
}

bool WriteAll(const std::wstring& path, const std::string& data) {
    std::wstring tmp = path + L".tmp";
    {
        win::File f(::CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
        if (!f) return false;
        DWORD put = 0;
        if (!::WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &put, nullptr) ||
            put != data.size())
            return false;
    }
    return ::MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

HANDLE Lock() {
    // One handle for the life of the process; the engine is never unloaded.
    static HANDLE lock = [] {
        SECURITY_DESCRIPTOR sd;
        ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        ::SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
        SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
        return ::CreateMutexW(&sa, FALSE, kLockName);
    }();
    return lock;
}

}  // namespace

std::wstring StateDirectory() {
    wchar_t buf[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(L"SIMKEY_STATE_DIR", buf, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return std::wstring(buf, n);
    n = ::GetEnvironmentVariableW(L"ProgramData", buf, MAX_PATH);
    std::wstring base = n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring(L"C:\\ProgramData");
    return base + L"\\SimKey";
}

ULONG WithState(Access access, const std::function<ULONG(State&)>& work) {
    HANDLE lock = Lock();
    if (!lock) return kStateError;
    win::MutexLock held(lock, kLockWaitMs);
    if (!held.owned()) return kStateError;
    if (!Refresh()) return kStateError;

    if (access == Access::kRead) return work(g_cache.state);

    State changed = g_cache.state;
    ULONG status = work(changed);
    ::CreateDirectoryW(StateDirectory().c_str(), nullptr);
    if (!WriteAll(StatePath(), nlohmann::json(changed).dump(1))) {
        g_cache.valid = false;
        return kStateError;
    }
    g_cache.state = std::move(changed);
    win::File f = OpenForRead(StatePath());
    g_cache.valid = f && IdentityOf(f.get(), g_cache.identity);
    return status;
}

Key* FindBySlot(State& s, ULONG slot) {
    if (slot == 0) return nullptr;
    for (Key& k : s.keys)
        if (k.slot == slot) return &k;
    return nullptr;
}

Key* FindByCspName(State& s, const std::string& cspName) {
    for (Key& k : s.keys)
        if (k.slot && k.cspName == cspName) return &k;
    return nullptr;
}

Container* FindContainer(Key& k, const std::string& name) {
    for (Container& c : k.containers)
        if (c.name == name) return &c;
    return nullptr;
}

Pair* FindPair(Container& c, uint32_t keySpec) {
    for (Pair& p : c.pairs)
        if (p.keySpec == keySpec) return &p;
    return nullptr;
}

Key* FindBySerial(State& s, const std::string& serial) {
    for (Key& k : s.keys)
        if (k.serial == serial) return &k;
    return nullptr;
}

}  // namespace simkey
