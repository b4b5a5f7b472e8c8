// Key events as applications see them: WaitForKeyEvent and StopDetectUKey
// of the real DLL, in this process and in waiting processes of their own
// (key_event_waiter, ukey wait). This process plays the agent: it writes the
// record into the shared block and sets the events.
#include "events/key_event_signal.h"
#include "events/shared_block.h"
#include "library.h"
#include "process.h"
#include "simkey_control.h"
#include "win/handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;
using events::KeyEvent;

namespace {

// Generous: a Wine process start takes a while on a busy machine. No wait of
// these tests is longer.
constexpr DWORD kDeadlineMs = 15000;

constexpr wchar_t kArrivalDll[] = L"Global\\TokenEventStatusArrivalDll_VELTA";
constexpr wchar_t kRemovalDll[] = L"Global\\TokenEventStatusRemoveDll_VELTA";
constexpr wchar_t kClearDll[] = L"Global\\TokenEventStatusClearDll_VELTA";

std::wstring StopEventOf(DWORD pid) { return L"TokenEventStopDetectUkeyDll_VELTA_" + std::to_wstring(pid); }

template <typename Predicate>
bool PollUntil(Predicate done, DWORD timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        ::Sleep(1);
    }
    return true;
}

// The process is inside WaitForKeyEvent: its stop event exists, and it is
// made after the arrival and removal events.
bool Waiting(DWORD pid) {
    return PollUntil(
        [&] { return static_cast<bool>(win::Handle(::OpenEventW(SYNCHRONIZE, FALSE, StopEventOf(pid).c_str()))); },
        kDeadlineMs);
}

// Every waiter has taken the event: it is no longer set.
bool Consumed(const wchar_t* name) {
    return PollUntil(
        [&] {
            win::Handle e(::OpenEventW(SYNCHRONIZE, FALSE, name));
            return !e || ::WaitForSingleObject(e.get(), 0) == WAIT_TIMEOUT;
        },
        kDeadlineMs);
}

const wchar_t* LibraryEventOf(KeyEvent kind) { return kind == KeyEvent::Arrival ? kArrivalDll : kRemovalDll; }

// What the agent does for a key event.
void Send(KeyEvent kind, uint32_t sequence, const std::string& serial) {
    ASSERT_TRUE(events::ProcessBlock().WriteKeyEvent(sequence, serial));
    EXPECT_GE(events::SignalKeyEvent(kind), 1) << "nobody waits";
}

// A program of the build in a process of its own, its output read as it comes.
class Child {
public:
    Child(const std::wstring& program, const std::wstring& arguments) : child_(StartProgram(program, arguments)) {
        if (!child_) return;
        // Reads as the output comes, until the program has ended and its pipe
        // is drained (a process left behind may keep the pipe open).
        reader_ = std::thread([this] {
            for (bool ended = false; !ended;) {
                ended = ::WaitForSingleObject(child_.process.get(), 10) == WAIT_OBJECT_0;
                std::string got;
                DrainPipe(child_.output.get(), got);
                std::lock_guard lock(m_);
                out_ += got;
                eof_ = ended;
                cv_.notify_all();
            }
        });
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        // A child left waiting by a failed test is ended (only ever our own).
        if (child_ && ::WaitForSingleObject(child_.process.get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(child_.process.get(), 1);
        if (reader_.joinable()) reader_.join();
    }

    DWORD pid() const { return child_.pid; }
    bool started() const { return static_cast<bool>(child_); }

    // The lines printed so far, once there are n of them (or the deadline).
    std::vector<std::string> Lines(size_t n, DWORD timeoutMs = kDeadlineMs) {
        std::unique_lock lock(m_);
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return eof_ || Split().size() >= n; });
        return Split();
    }
    int Exit(DWORD timeoutMs = kDeadlineMs) {
        DWORD code = static_cast<DWORD>(-1);
        if (::WaitForSingleObject(child_.process.get(), timeoutMs) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(child_.process.get(), &code);
        return static_cast<int>(code);
    }

private:
    std::vector<std::string> Split() const {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t nl; (nl = out_.find('\n', start)) != std::string::npos; start = nl + 1) {
            std::string line = out_.substr(start, nl - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

    ChildProcess child_;
    std::thread reader_;
    std::mutex m_;
    std::condition_variable cv_;
    std::string out_;
    bool eof_ = false;
};

// A key_event_waiter process: calls WaitForKeyEvent count times.
std::unique_ptr<Child> StartWaiter(int length, int count) {
    auto c = std::make_unique<Child>(L"key_event_waiter.exe", std::to_wstring(length) + L" " + std::to_wstring(count));
    EXPECT_TRUE(c->started());
    return c;
}

struct WaitOutcome {
    unsigned type = 99;
    int result = 12345;
    int length = 0;
    char buffer[64];
    int lastResult = 12345;
};

// Which of WaitForKeyEvent's pointers a call passes.
struct Pointers {
    bool type = true, buffer = true, length = true;
};

// WaitForKeyEvent on a thread of its own in this process. A wait still in
// progress at the end is stopped, so that no test hangs.
class AsyncWait {
public:
    explicit AsyncWait(int length, Pointers given = Pointers()) : s_(std::make_shared<State>()) {
        s_->out.length = length;
        std::memset(s_->out.buffer, 'x', sizeof s_->out.buffer);
        s_->done.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread([s = s_, given] {
            WaitOutcome& o = s->out;
            o.result = Api().WaitForKeyEvent(given.type ? &o.type : nullptr, given.buffer ? o.buffer : nullptr,
                                             given.length ? &o.length : nullptr);
            o.lastResult = Api().LastErr();
            ::SetEvent(s->done.get());
        }).detach();
    }
    AsyncWait(const AsyncWait&) = delete;
    AsyncWait& operator=(const AsyncWait&) = delete;
    ~AsyncWait() {
        if (!Finished(0)) {
            Api().StopDetectUKey();
            Finished(kDeadlineMs);
        }
    }
    bool Finished(DWORD timeoutMs) { return ::WaitForSingleObject(s_->done.get(), timeoutMs) == WAIT_OBJECT_0; }
    // Read only once Finished.
    const WaitOutcome& out() const { return s_->out; }

private:
    struct State {
        WaitOutcome out;
        win::Handle done;
    };
    std::shared_ptr<State> s_;
};

std::string Line(KeyEvent kind, int result, const std::string& serial) {
    return std::to_string(static_cast<unsigned>(kind)) + " " + std::to_string(result) + " " +
           std::to_string(serial.size()) + " " + serial;
}

TEST(KeyEvents, MissingPointersAndSizeQueryAnswerAtOnce) {
    struct Case {
        const char* what;
        Pointers given;
        int result;
        int length;  // after the call; 40 passed in
    };
    const Case cases[] = {
        {"no length pointer", {true, true, false}, -401, 40},
        {"no event-type pointer", {false, true, true}, -401, 40},
        {"no buffer: size query", {true, false, true}, 0, 17},
    };
    ASSERT_NE(Api().WaitForKeyEvent, nullptr);
    for (const Case& c : cases) {
        AsyncWait w(40, c.given);
        ASSERT_TRUE(w.Finished(kDeadlineMs)) << c.what << ": waited";
        EXPECT_EQ(w.out().result, c.result) << c.what;
        EXPECT_EQ(w.out().lastResult, c.result) << c.what;
        EXPECT_EQ(w.out().length, c.length) << c.what;
        EXPECT_EQ(w.out().type, 99u) << c.what;
    }
}

TEST(KeyEvents, AnotherProcessDeliversEachRecordOnceAndTakesFarLowerNumbersAsARestart) {
    // A first record for the key, then a second; the second is delivered or
    // taken as known. Serials differ per row: each row starts unknown.
    struct Case {
        uint32_t first;
        KeyEvent secondKind;
        uint32_t second;
        bool delivered;
    };
    const Case cases[] = {
        {5, KeyEvent::Arrival, 5, false},   // the same record signalled again
        {5, KeyEvent::Removal, 5, false},   // the same record, other event
        {5, KeyEvent::Removal, 6, true},
        {300, KeyEvent::Arrival, 46, false},  // 254 below: an old record
        {300, KeyEvent::Arrival, 45, true},   // 255 below: the agent counts anew
    };
    const int n = static_cast<int>(std::size(cases));
    std::unique_ptr<Child> waiter = StartWaiter(64, 2 * n);
    std::vector<std::string> expected;
    for (int i = 0; i < n; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE("row " + std::to_string(i));
        const std::string serial = "RULE-" + std::to_string(i);
        ASSERT_TRUE(Waiting(waiter->pid()));
        Send(KeyEvent::Arrival, c.first, serial);
        expected.push_back(Line(KeyEvent::Arrival, 0, serial));
        ASSERT_EQ(waiter->Lines(expected.size()), expected);

        ASSERT_TRUE(Waiting(waiter->pid()));
        Send(c.secondKind, c.second, serial);
        if (c.delivered) {
            expected.push_back(Line(c.secondKind, 0, serial));
        } else {
            // Taken and dropped: the waiter reset the event and waits on.
            ASSERT_TRUE(Consumed(LibraryEventOf(c.secondKind)));
            const std::string next = "NEXT-" + std::to_string(i);
            Send(KeyEvent::Arrival, 1, next);
            expected.push_back(Line(KeyEvent::Arrival, 0, next));
        }
        ASSERT_EQ(waiter->Lines(expected.size()), expected);
    }
    EXPECT_EQ(waiter->Exit(), 0);
}

TEST(KeyEvents, EveryWaitingProcessDeliversTheRecord) {
    std::unique_ptr<Child> a = StartWaiter(64, 1);
    std::unique_ptr<Child> b = StartWaiter(64, 1);
    ASSERT_TRUE(Waiting(a->pid()));
    ASSERT_TRUE(Waiting(b->pid()));
    Send(KeyEvent::Removal, 1, "BOTH-KEY");
    const std::vector<std::string> expected = {Line(KeyEvent::Removal, 0, "BOTH-KEY")};
    EXPECT_EQ(a->Lines(1), expected);
    EXPECT_EQ(b->Lines(1), expected);
    EXPECT_EQ(a->Exit(), 0);
    EXPECT_EQ(b->Exit(), 0);
}

TEST(KeyEvents, AfterTheClearEventARestartedCounterIsDeliveredAgain) {
    const DWORD self = ::GetCurrentProcessId();
    {
        AsyncWait first(64);
        ASSERT_TRUE(Waiting(self));
        Send(KeyEvent::Arrival, 7, "RESTART-KEY");
        ASSERT_TRUE(first.Finished(kDeadlineMs));
        EXPECT_EQ(first.out().type, 1u);
    }
    AsyncWait second(64);
    ASSERT_TRUE(Waiting(self));
    Send(KeyEvent::Arrival, 1, "RESTART-KEY");  // below 7: already known
    ASSERT_TRUE(Consumed(kArrivalDll));
    EXPECT_FALSE(second.Finished(0));

    // The agent starts again and sets the clear event.
    win::Handle clear(::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, kClearDll));
    ASSERT_TRUE(clear);
    ASSERT_TRUE(::SetEvent(clear.get()));
    ASSERT_TRUE(Consumed(kClearDll));
    EXPECT_FALSE(second.Finished(0));
    Send(KeyEvent::Arrival, 1, "RESTART-KEY");
    ASSERT_TRUE(second.Finished(kDeadlineMs));
    EXPECT_EQ(second.out().type, 1u);
    EXPECT_EQ(second.out().result, 0);
    EXPECT_STREQ(second.out().buffer, "RESTART-KEY");
}

TEST(KeyEvents, SerialMustLeaveRoomForItsZeroAndATooSmallBufferStillConsumesTheEvent) {
    const DWORD self = ::GetCurrentProcessId();
    const std::string serial16 = "ABCDEFGHIJKLMNOP";
    struct Case {
        int length;
        int result;
    };
    const Case cases[] = {{16, -404}, {0, -404}, {-5, -404}, {17, 0}};
    uint32_t row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("length " + std::to_string(c.length));
        const std::string serial = serial16.substr(0, 15) + static_cast<char>('a' + row++);
        AsyncWait w(c.length);
        ASSERT_TRUE(Waiting(self));
        Send(KeyEvent::Arrival, 1, serial);
        ASSERT_TRUE(w.Finished(kDeadlineMs));
        EXPECT_EQ(w.out().result, c.result);
        EXPECT_EQ(w.out().lastResult, c.result);
        EXPECT_EQ(w.out().type, 1u);
        EXPECT_EQ(w.out().length, 16);
        if (c.result == 0)
            EXPECT_EQ(std::string(w.out().buffer), serial);
        else
            EXPECT_EQ(std::string(w.out().buffer, sizeof w.out().buffer), std::string(sizeof w.out().buffer, 'x'));

        // Delivered either way: the same record again does not end a wait.
        AsyncWait again(64);
        ASSERT_TRUE(Waiting(self));
        Send(KeyEvent::Arrival, 1, serial);
        ASSERT_TRUE(Consumed(kArrivalDll));
        EXPECT_FALSE(again.Finished(0));
    }
}

TEST(KeyEvents, StopFromAnotherThreadEndsTheWaitAtOnceAndOnlyThatWait) {
    const DWORD self = ::GetCurrentProcessId();
    // A stop with no wait in progress does nothing, and is not kept for the
    // next wait.
    EXPECT_EQ(Api().StopDetectUKey(), 0);
    {
        AsyncWait w(64);
        ASSERT_TRUE(Waiting(self));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Api().StopDetectUKey(), 0);
        ASSERT_TRUE(w.Finished(1000));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(took.count(), 1000);
        EXPECT_EQ(w.out().type, 0u);
        EXPECT_EQ(w.out().result, 0);
        EXPECT_EQ(w.out().length, 64);  // untouched
        EXPECT_EQ(std::string(w.out().buffer, sizeof w.out().buffer), std::string(sizeof w.out().buffer, 'x'));
        EXPECT_EQ(Api().LastErr(), 0);
    }
    // The stop is over: the next wait delivers.
    AsyncWait next(64);
    ASSERT_TRUE(Waiting(self));
    Send(KeyEvent::Arrival, 1, "AFTER-STOP");
    ASSERT_TRUE(next.Finished(kDeadlineMs));
    EXPECT_EQ(next.out().type, 1u);
    EXPECT_STREQ(next.out().buffer, "AFTER-STOP");
}

TEST(KeyEvents, StopInOneProcessLeavesTheWaitOfAnotherProcess) {
    std::unique_ptr<Child> other = StartWaiter(64, 1);
    ASSERT_TRUE(Waiting(other->pid()));
    {
        AsyncWait mine(64);
        ASSERT_TRUE(Waiting(::GetCurrentProcessId()));
        EXPECT_EQ(Api().StopDetectUKey(), 0);
        ASSERT_TRUE(mine.Finished(1000));
        EXPECT_EQ(mine.out().type, 0u);
    }
    // Had the stop reached it, the other process would have printed a stop.
    Send(KeyEvent::Arrival, 1, "STILL-WAITING");
    EXPECT_EQ(other->Lines(1), std::vector<std::string>{Line(KeyEvent::Arrival, 0, "STILL-WAITING")});
    EXPECT_EQ(other->Exit(), 0);
}

TEST(KeyEvents, EventsThatCannotBeMadeFailTheWaitInsteadOfSpinning) {
    // A mutex holds the arrival event's name: the event cannot be created.
    win::Handle squatter(::CreateMutexW(nullptr, FALSE, kArrivalDll));
    ASSERT_TRUE(squatter);
    AsyncWait w(64);
    ASSERT_TRUE(w.Finished(kDeadlineMs));
    EXPECT_EQ(w.out().result, -300);
    EXPECT_EQ(w.out().lastResult, -300);
    EXPECT_EQ(w.out().type, 99u);
}

TEST(UkeyTool, WaitPrintsTheEventsThatUkeyEventSendsFromAnotherProcess) {
    Child wait(L"ukey.exe", L"wait --count 2");
    ASSERT_TRUE(wait.started());
    ASSERT_TRUE(Waiting(wait.pid()));
    std::string out;
    ASSERT_EQ(RunProgram(L"ukey.exe", L"event arrival UKEY-TOOL-01", &out), 0) << out;
    ASSERT_EQ(wait.Lines(1), std::vector<std::string>{"arrival UKEY-TOOL-01"});
    // No --seq: the block's number plus one, so the same key is news again.
    ASSERT_TRUE(Waiting(wait.pid()));
    ASSERT_EQ(RunProgram(L"ukey.exe", L"event removal UKEY-TOOL-01", &out), 0) << out;
    EXPECT_EQ(wait.Lines(2), (std::vector<std::string>{"arrival UKEY-TOOL-01", "removal UKEY-TOOL-01"}));
    EXPECT_EQ(wait.Exit(), 0);

    for (const wchar_t* args : {L"event arrival ABCDEFGHIJKLMNOPQ", L"event insert KEY-1", L"event arrival KEY-1 --seq x"}) {
        EXPECT_EQ(RunProgram(L"ukey.exe", args, &out), 2) << out;
    }
}

}  // namespace
