#include "log/key_log.h"

#include "text/base64.h"
#include "win/handles.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

namespace agent {
namespace {

// Full access for everyone, administrators, users, authenticated users and
// the system, inherited: every user's agent writes the same files.
constexpr wchar_t kFolderSddl[] =
    L"D:(A;OICI;GAGRGWGXFAFRFRFXRPWPCCDCLCSWLODTCR;;;WD)(A;OICI;GAGRGWGXFAFRFRFXRPWPCCDCLCSWLODTCR;;;BA)"
    L"(A;OICI;GAGRGWGXFAFRFRFXRPWPCCDCLCSWLODTCR;;;BU)(A;OICI;GAGRGWGXFAFRFRFXRPWPCCDCLCSWLODTCR;;;AU)"
    L"(A;OICI;GAGRGWGXFAFRFRFXRPWPCCDCLCSWLODTCR;;;SY)";

constexpr const char* kActionWords[] = {"Insert", "Remove"};

struct LocalFreeFn { void operator()(PSECURITY_DESCRIPTOR p) const { ::LocalFree(p); } };
using LocalDescriptor = win::Owner<PSECURITY_DESCRIPTOR, nullptr, LocalFreeFn>;

bool MakeFolder(const std::wstring& folder) {
    LocalDescriptor sd;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1, sd.put(), nullptr);
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
    if (!::CreateDirectoryW(folder.c_str(), sd ? &sa : nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return true;
}

struct FileState {
    bool existed = false;
    uint64_t size = 0;
    FILETIME written{};
};

// Looks a file up, creating it empty and hidden when it is missing.
bool Prepare(const std::wstring& path, FileState& st) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        st.existed = true;
        st.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        st.written = data.ftLastWriteTime;
        return true;
    }
    win::File f(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                              nullptr));
    if (!f) return false;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return true;
}

void Append(const std::wstring& path, const std::string& line, bool truncate) {
    win::File f(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              truncate ? TRUNCATE_EXISTING : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return;
    LARGE_INTEGER end{};
    ::SetFilePointerEx(f.get(), end, nullptr, FILE_END);
    DWORD put = 0;
    ::WriteFile(f.get(), line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
}

std::string UserName() {
    char name[1024];
    DWORD n = sizeof name;
    if (!::GetUserNameA(name, &n)) return {};
    return std::string(name, strnlen(name, sizeof name));
}

}  // namespace

std::wstring LogFolder() {
    wchar_t base[MAX_PATH];
    if (::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) return {};
    return std::wstring(base) + L"\\" + kLogFolder;
}

std::string PlainLogLine(int action, const std::string& serial, const std::string& user) {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    char head[64];
    std::snprintf(head, sizeof head, "[%04d.%02d.%02d-%02d:%02d:%02d.%03d]", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return std::string(head) + "[" + user + "][" + serial.substr(0, 16) + "][" + kActionWords[action] + "]\r\n";
}

void WriteKeyLog(int action, char* serial) {
    if (!serial || (action != 0 && action != 1)) return;
    if (std::strlen(serial) > 16) serial[16] = '\0';

    const std::wstring folder = LogFolder();
    if (folder.empty() || !MakeFolder(folder)) return;
    const std::wstring one = folder + L"\\" + kLogFile1, two = folder + L"\\" + kLogFile2;
    FileState a, b;
    if (!Prepare(one, a) || !Prepare(two, b)) return;

    std::wstring target;
    bool truncate = false;
    if ((!a.existed && !b.existed) || a.size < kLogFileLimit) {
        target = one;
    } else if (b.size < kLogFileLimit) {
        target = two;
    } else {
        // Both full: the older one starts again.
        target = ::CompareFileTime(&a.written, &b.written) <= 0 ? one : two;
        truncate = true;
    }
    Append(target, text::Base64Encode(PlainLogLine(action, serial, UserName())) + "\r\n", truncate);
}

}  // namespace agent
