#include "state.h"

#include "simkey/engine_api.h"
#include "win/handles.h"

#include <string>

namespace simkey {
namespace {

constexpr wchar_t kLockName[] = L"Global\\SimKeyStateLock";
constexpr DWORD kLockWaitMs = 10000;

std::wstring StatePath() { return StateDirectory() + L"\\state.json"; }

bool ReadAll(const std::wstring& path, std::string& out, bool& missing) {
    missing = false;
    win::File f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) {
        DWORD e = ::GetLastError();
        missing = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
        return false;
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(f.get(), &size) || size.QuadPart > (64 << 20)) return false;
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!out.empty() && (!::ReadFile(f.get(), out.data(), static_cast<DWORD>(out.size()), &got, nullptr) ||
                         got != out.size()))
        return false;
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

    State state;
    std::string text;
    bool missing = false;
    if (ReadAll(StatePath(), text, missing)) {
        nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
        if (j.is_discarded()) return kStateError;
        try {
            state = j.get<State>();
        } catch (const std::exception&) {
            return kStateError;
        }
    } else if (!missing) {
        return kStateError;
    }

    ULONG status = work(state);
    if (access == Access::kWrite) {
        ::CreateDirectoryW(StateDirectory().c_str(), nullptr);
        if (!WriteAll(StatePath(), nlohmann::json(state).dump(1))) return kStateError;
    }
    return status;
}

Key* FindBySlot(State& s, ULONG slot) {
    if (slot == 0) return nullptr;
    for (Key& k : s.keys)
        if (k.slot == slot) return &k;
    return nullptr;
}

Key* FindBySerial(State& s, const std::string& serial) {
    for (Key& k : s.keys)
        if (k.serial == serial) return &k;
    return nullptr;
}

}  // namespace simkey
