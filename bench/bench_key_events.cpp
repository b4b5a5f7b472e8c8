// bench_key_events: what a key event costs from the agent setting the event
// to WaitForKeyEvent returning in another process, against a bare
// cross-process event round trip measured in the same run.
//   bench_key_events [COUNT]    COUNT events (default 200)
// This process plays the agent; a copy of itself started with --waiter is
// the application. Both legs end with the waiter setting an answer event, so
// each figure is a round trip timed here with QueryPerformanceCounter.
#include "api/velta_ukey.h"
#include "events/event_names.h"
#include "events/key_event_signal.h"
#include "events/shared_block.h"
#include "win/handles.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 10000;

std::wstring PingName(DWORD parent) { return L"UkeyBenchPing_" + std::to_wstring(parent); }
std::wstring AnswerName(DWORD parent) { return L"UkeyBenchAnswer_" + std::to_wstring(parent); }

std::wstring ProgramPath() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

// The waiting application: per round a bare ping, then a key event.
int Waiter(DWORD parent, int count) {
    win::Handle ping(::OpenEventW(SYNCHRONIZE, FALSE, PingName(parent).c_str()));
    win::Handle answer(::OpenEventW(EVENT_MODIFY_STATE, FALSE, AnswerName(parent).c_str()));
    // The library sits in bin\, one folder up.
    std::wstring dir = ProgramPath();
    dir.resize(dir.find_last_of(L'\\'));
    dir.resize(dir.find_last_of(L'\\') + 1);
    HMODULE lib = ::LoadLibraryW((dir + L"velta_unified_qvlukey_64.dll").c_str());
    auto wait = lib ? reinterpret_cast<decltype(&::WaitForKeyEvent)>(::GetProcAddress(lib, "WaitForKeyEvent")) : nullptr;
    if (!ping || !answer || !wait) return 1;
    for (int i = 0; i < count; ++i) {
        if (::WaitForSingleObject(ping.get(), kTimeoutMs) != WAIT_OBJECT_0) return 1;
        ::SetEvent(answer.get());
        unsigned type = 0;
        char serial[64];
        int len = sizeof serial;
        if (wait(&type, serial, &len) != 0 || type != 1) return 1;
        ::SetEvent(answer.get());
    }
    return 0;
}

// The waiter is inside WaitForKeyEvent once its stop event exists.
bool WaiterWaiting(DWORD pid) {
    const std::wstring name = events::StopEventName(pid);
    for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < kTimeoutMs;) {
        if (win::Handle(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()))) return true;
        ::Sleep(0);
    }
    return false;
}

double Quantile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

int Agent(int count) {
    const DWORD self = ::GetCurrentProcessId();
    win::Handle ping(::CreateEventW(nullptr, FALSE, FALSE, PingName(self).c_str()));
    win::Handle answer(::CreateEventW(nullptr, FALSE, FALSE, AnswerName(self).c_str()));
    if (!ping || !answer || !events::ProcessBlock().OpenOrCreate()) {
        std::fprintf(stderr, "bench_key_events: events or shared block unavailable\n");
        return 1;
    }
    std::wstring cmd = L"\"" + ProgramPath() + L"\" --waiter " + std::to_wstring(self) + L" " + std::to_wstring(count);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "bench_key_events: cannot start the waiter (%lu)\n", ::GetLastError());
        return 1;
    }
    win::Handle process(pi.hProcess), thread(pi.hThread);

    LARGE_INTEGER freq, t0, t1;
    ::QueryPerformanceFrequency(&freq);
    auto micros = [&] { return static_cast<double>(t1.QuadPart - t0.QuadPart) * 1e6 / static_cast<double>(freq.QuadPart); };
    std::vector<double> bare, delivery;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        ::QueryPerformanceCounter(&t0);
        ::SetEvent(ping.get());
        ok = ::WaitForSingleObject(answer.get(), kTimeoutMs) == WAIT_OBJECT_0;
        ::QueryPerformanceCounter(&t1);
        bare.push_back(micros());

        ok = ok && WaiterWaiting(pi.dwProcessId) &&
             events::ProcessBlock().WriteKeyEvent(static_cast<uint32_t>(i + 1), "BENCH-KEY-0001");
        if (!ok) break;
        ::QueryPerformanceCounter(&t0);
        events::SignalKeyEvent(events::KeyEvent::Arrival);
        ok = ::WaitForSingleObject(answer.get(), kTimeoutMs) == WAIT_OBJECT_0;
        ::QueryPerformanceCounter(&t1);
        delivery.push_back(micros());
    }
    DWORD code = 1;
    if (::WaitForSingleObject(process.get(), kTimeoutMs) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.get(), &code);
    else ::TerminateProcess(process.get(), 1);
    if (!ok || code != 0 || delivery.size() != static_cast<size_t>(count)) {
        std::fprintf(stderr, "bench_key_events: the waiter failed after %zu events (exit %lu)\n", delivery.size(), code);
        return 1;
    }

    const double bareMedian = Quantile(bare, 0.5), bare95 = Quantile(bare, 0.95);
    const double deliveryMedian = Quantile(delivery, 0.5), delivery95 = Quantile(delivery, 0.95);
    std::printf("key event delivery to another process, %d events, each against a bare event round trip\n", count);
    std::printf("  bare cross-process event round trip   median %8.1f us   p95 %8.1f us\n", bareMedian, bare95);
    std::printf("  key event set to WaitForKeyEvent back median %8.1f us   p95 %8.1f us\n", deliveryMedian, delivery95);
    std::printf("  ratio                                 median %8.2f      p95 %8.2f\n", deliveryMedian / bareMedian,
                delivery95 / bare95);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--waiter")
        return Waiter(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)), std::atoi(argv[3]));
    int count = argc > 1 ? std::atoi(argv[1]) : 200;
    if (count < 1) count = 200;
    return Agent(count);
}
