// Key event exports: an application waits on a thread of its own for the
// agent to report a key's arrival or removal, and stops the wait from
// another thread.
#include "api/frame.h"
#include "api/guard.h"
#include "api/result_codes.h"
#include "api/velta_ukey.h"
#include "events/event_names.h"
#include "events/key_event_signal.h"
#include "events/shared_block.h"
#include "win/handles.h"
#include "win/object_security.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

using namespace api;

namespace {

// A size query answers room for 16 serial characters and the zero.
constexpr int32_t kSerialQuerySize = 17;
// A stored number this far above the record's is an agent that started
// counting again without the clear event reaching us.
constexpr uint32_t kRestartDistance = 255;
constexpr auto kStopGrace = std::chrono::milliseconds(100);

// Process globals of the waits; everything in here is used under the lock.
struct WaitGlobals {
    std::mutex lock;
    std::condition_variable ended;
    int waits = 0;
    // The sequence number last delivered, per key serial number.
    std::map<std::string, uint32_t> delivered;
};

WaitGlobals& Globals() {
    static WaitGlobals g;
    return g;
}

// The wait mutex is only a mark that a wait or stop is under way; it orders
// nothing, so it is never waited for.
class WaitMutexMark {
public:
    WaitMutexMark()
        : mutex_(::CreateMutexW(nullptr, TRUE, events::kWaitMutex)),
          owned_(mutex_ && ::GetLastError() != ERROR_ALREADY_EXISTS) {}
    WaitMutexMark(const WaitMutexMark&) = delete;
    WaitMutexMark& operator=(const WaitMutexMark&) = delete;
    ~WaitMutexMark() { if (owned_) ::ReleaseMutex(mutex_.get()); }

private:
    win::Handle mutex_;
    bool owned_;
};

// The handles one wait waits on, in the order of their wait indexes. They
// belong to the waiting thread alone: nobody else closes them.
struct WaitEvents {
    enum Index : DWORD { kArrival, kRemoval, kStop, kClear, kCount };
    win::Handle handles[kCount];

    bool Create() {
        win::NullDaclSecurity anyone;
        handles[kArrival].reset(::CreateEventW(anyone.attributes(), TRUE, FALSE, events::kLibraryArrivalEvent));
        handles[kRemoval].reset(::CreateEventW(anyone.attributes(), TRUE, FALSE, events::kLibraryRemovalEvent));
        // The arrival and removal events exist before the stop event: who sees
        // the stop event knows a set of the others reaches this wait.
        handles[kStop].reset(
            ::CreateEventW(nullptr, TRUE, FALSE, events::StopEventName(::GetCurrentProcessId()).c_str()));
        // Finalize may close the process's clear handle while we wait on it:
        // wait on a handle of our own.
        HANDLE processClear = EnsureClearEvent();
        if (processClear)
            ::DuplicateHandle(::GetCurrentProcess(), processClear, ::GetCurrentProcess(), handles[kClear].put(), 0,
                              FALSE, DUPLICATE_SAME_ACCESS);
        for (const win::Handle& h : handles)
            if (!h) return false;
        return true;
    }
};

// Whether a record is news for this process; remembers it when it is.
bool TakeRecord(std::map<std::string, uint32_t>& delivered, const events::KeyEventRecord& record) {
    auto it = delivered.find(record.serial);
    if (it != delivered.end()) {
        const uint32_t stored = it->second;
        if (!(stored < record.sequence || stored - record.sequence >= kRestartDistance)) return false;
    }
    delivered[record.serial] = record.sequence;
    return true;
}

int32_t Deliver(const std::string& serial, events::KeyEvent kind, unsigned* eventType, char* buffer,
                int* length) {
    const int32_t n = static_cast<int32_t>(serial.size());
    int32_t result = ERR_OK;
    if (*length > n) {
        std::memcpy(buffer, serial.c_str(), serial.size() + 1);
    } else {
        result = ERR_BUFFER_TOO_SMALL;
    }
    *length = n;
    *eventType = static_cast<unsigned>(kind);
    return result;
}

// Counts a wait in progress until its end, which is after its handles are
// closed (it is made before them, so it goes after them).
class WaitRegistration {
public:
    explicit WaitRegistration(WaitGlobals& g) : g_(g) {}
    WaitRegistration(const WaitRegistration&) = delete;
    WaitRegistration& operator=(const WaitRegistration&) = delete;
    // Under the lock.
    void Count() { ++g_.waits; counted_ = true; }
    ~WaitRegistration() {
        if (!counted_) return;
        {
            std::lock_guard lock(g_.lock);
            --g_.waits;
        }
        g_.ended.notify_all();
    }

private:
    WaitGlobals& g_;
    bool counted_ = false;
};

int32_t WaitAndDeliver(unsigned* eventType, char* buffer, int* length) {
    WaitGlobals& g = Globals();
    WaitRegistration registration(g);
    WaitEvents ev;
    {
        // Created and counted in one step: a stop that sees no wait comes
        // before this one, a stop that sees it finds its stop event.
        std::lock_guard lock(g.lock);
        if (!ev.Create()) return ERR_OTHER;
        registration.Count();
        // Hold the block from the start of the wait: a writer that ends right
        // after its set would otherwise take the record away with it.
        events::ProcessBlock().OpenOrCreate();
    }
    HANDLE handles[WaitEvents::kCount];
    for (DWORD i = 0; i < WaitEvents::kCount; ++i) handles[i] = ev.handles[i].get();

    int32_t result = ERR_OK;
    for (;;) {
        const DWORD r = ::WaitForMultipleObjects(WaitEvents::kCount, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + WaitEvents::kStop) {
            *eventType = static_cast<unsigned>(events::KeyEvent::Stopped);
            break;
        }
        if (r == WAIT_OBJECT_0 + WaitEvents::kClear) {
            // The agent started again: its numbers begin anew.
            std::lock_guard lock(g.lock);
            for (auto& entry : g.delivered) entry.second = 0;
            ::ResetEvent(handles[WaitEvents::kClear]);
            continue;
        }
        if (r != WAIT_OBJECT_0 + WaitEvents::kArrival && r != WAIT_OBJECT_0 + WaitEvents::kRemoval) {
            // Our own handles do not stop failing on a second try.
            result = ERR_OTHER;
            break;
        }
        events::KeyEventRecord record;
        bool news = false;
        {
            std::lock_guard lock(g.lock);
            record = events::ProcessBlock().ReadKeyEvent();
            news = TakeRecord(g.delivered, record);
        }
        if (!news) {
            ::ResetEvent(handles[r - WAIT_OBJECT_0]);
            continue;
        }
        const events::KeyEvent kind =
            r == WAIT_OBJECT_0 + WaitEvents::kArrival ? events::KeyEvent::Arrival : events::KeyEvent::Removal;
        result = Deliver(record.serial, kind, eventType, buffer, length);
        break;
    }

    ::ResetEvent(handles[WaitEvents::kArrival]);
    ::ResetEvent(handles[WaitEvents::kRemoval]);
    ::ResetEvent(handles[WaitEvents::kStop]);
    return result;
}

}  // namespace

extern "C" int UKEYAPI WaitForKeyEvent(unsigned* eventType, char* serial, int* length) {
    return Store(Guarded([&]() -> int32_t {
        WaitMutexMark mark;
        if (!length || !eventType) return ERR_INVALID_PARAM;
        if (!serial) {
            *length = kSerialQuerySize;
            return ERR_OK;
        }
        return WaitAndDeliver(eventType, serial, length);
    }));
}

extern "C" int UKEYAPI StopDetectUKey(void) {
    Guarded([]() -> int32_t {
        WaitMutexMark mark;
        WaitGlobals& g = Globals();
        std::unique_lock lock(g.lock);
        if (g.waits == 0) return ERR_OK;
        win::Handle stop(
            ::OpenEventW(EVENT_MODIFY_STATE, FALSE, events::StopEventName(::GetCurrentProcessId()).c_str()));
        if (stop) ::SetEvent(stop.get());
        // Let the waiting thread wake and leave; it closes its own handles.
        g.ended.wait_for(lock, kStopGrace, [&] { return g.waits == 0; });
        return ERR_OK;
    });
    return Store(ERR_OK);
}
