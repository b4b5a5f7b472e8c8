#include "schtasks_record.h"

#include "text/text_convert.h"
#include "win/handles.h"

#include <sstream>

namespace tasks_testing {
namespace {

std::wstring TempFile(const wchar_t* tag) {
    wchar_t dir[MAX_PATH];
    DWORD n = ::GetTempPathW(MAX_PATH, dir);
    std::wstring path = n > 0 && n < MAX_PATH ? std::wstring(dir, n) : std::wstring(L".\\");
    return path + L"ukey_schtasks_" + tag + L"_" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
}

bool VistaAnswer() { return true; }
bool OlderAnswer() { return false; }

}  // namespace

std::wstring ReadUtf8File(const std::wstring& path) {
    win::File file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (file && ::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
    return text::ToWide(bytes, CP_UTF8);
}

SchtasksStandIn::SchtasksStandIn() : record_(TempFile(L"record")), startup_(TempFile(L"startup")) {
    ::DeleteFileW(record_.c_str());
    ::DeleteFileW(startup_.c_str());
    Set(L"UKEY_SCHTASKS_RECORD", record_);
}

SchtasksStandIn::~SchtasksStandIn() {
    for (const std::wstring& name : names_) ::SetEnvironmentVariableW(name.c_str(), nullptr);
    ::DeleteFileW(record_.c_str());
    ::DeleteFileW(startup_.c_str());
}

void SchtasksStandIn::Set(const std::wstring& name, const std::wstring& value) {
    ::SetEnvironmentVariableW(name.c_str(), value.c_str());
    names_.push_back(name);
}

void SchtasksStandIn::Answer(int exitCode, const wchar_t* verb) {
    Set(verb ? std::wstring(L"UKEY_SCHTASKS_EXIT_") + verb : L"UKEY_SCHTASKS_EXIT", std::to_wstring(exitCode));
}

void SchtasksStandIn::SleepFor(DWORD ms, const wchar_t* verb) {
    Set(verb ? std::wstring(L"UKEY_SCHTASKS_SLEEP_MS_") + verb : L"UKEY_SCHTASKS_SLEEP_MS", std::to_wstring(ms));
}

void SchtasksStandIn::RecordStartup(HANDLE probe) {
    Set(L"UKEY_SCHTASKS_STARTUP", startup_);
    Set(L"UKEY_SCHTASKS_PROBE_HANDLE", std::to_wstring(reinterpret_cast<ULONG_PTR>(probe)));
}

std::vector<std::wstring> SchtasksStandIn::Commands() const {
    std::vector<std::wstring> lines;
    std::wistringstream in(ReadUtf8File(record_));
    for (std::wstring line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::wstring SchtasksStandIn::Startup() const {
    std::wstring text = ReadUtf8File(startup_);
    while (!text.empty() && text.back() == L'\n') text.pop_back();
    return text;
}

SchedulerPath::SchedulerPath(bool vista) : previous_(tasks::SetVersionCheck(vista ? VistaAnswer : OlderAnswer)) {}
SchedulerPath::~SchedulerPath() { tasks::SetVersionCheck(previous_); }

}  // namespace tasks_testing
