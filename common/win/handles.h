// One small RAII owner per Win32 resource kind. Each closes what it holds
// exactly once; none is copyable, all are movable.
#pragma once

#include <windows.h>

#include <utility>

namespace win {

template <typename T, T Invalid, typename Closer>
class Owner {
public:
    Owner() = default;
    explicit Owner(T value) : value_(value) {}
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Invalid));
        return *this;
    }
    ~Owner() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Invalid; }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) {
        if (value_ != Invalid) Closer{}(value_);
        value_ = value;
    }
    // For APIs that return the resource through an out pointer.
    T* put() { reset(); return &value_; }

private:
    T value_ = Invalid;
};

struct CloseHandleFn { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct RegCloseKeyFn { void operator()(HKEY k) const { ::RegCloseKey(k); } };
struct FreeLibraryFn { void operator()(HMODULE m) const { ::FreeLibrary(m); } };
struct FindCloseFn   { void operator()(HANDLE h) const { ::FindClose(h); } };

// Kernel objects whose failure value is NULL (events, mutexes, mappings, threads).
using Handle = Owner<HANDLE, nullptr, CloseHandleFn>;
// File handles, whose failure value is INVALID_HANDLE_VALUE.
struct FileCloser { void operator()(HANDLE h) const { ::CloseHandle(h); } };
class File : public Owner<HANDLE, nullptr, FileCloser> {
public:
    File() = default;
    explicit File(HANDLE h) : Owner(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};
using RegKey = Owner<HKEY, nullptr, RegCloseKeyFn>;
using Module = Owner<HMODULE, nullptr, FreeLibraryFn>;

// Holds a mutex acquired with WaitForSingleObject and releases it.
class MutexLock {
public:
    MutexLock(HANDLE mutex, DWORD timeoutMs) : mutex_(mutex) {
        DWORD r = ::WaitForSingleObject(mutex_, timeoutMs);
        owned_ = (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    ~MutexLock() { if (owned_) ::ReleaseMutex(mutex_); }
    bool owned() const { return owned_; }

private:
    HANDLE mutex_;
    bool owned_ = false;
};

}  // namespace win
