// key_event_waiter: an application of its own that waits for key events,
// for the tests.
//   key_event_waiter LENGTH COUNT   COUNT calls of WaitForKeyEvent with a
//                                   buffer of LENGTH bytes; one line per call:
//                                   TYPE RESULT LENGTH SERIAL  (SERIAL "-" when
//                                   nothing was copied)
#include "api/velta_ukey.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: key_event_waiter LENGTH COUNT\n");
        return 2;
    }
    const int length = std::atoi(argv[1]);
    const int count = std::atoi(argv[2]);
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    std::wstring dir(path, n);
    dir.resize(dir.find_last_of(L'\\') + 1);
    HMODULE lib = ::LoadLibraryW((dir + L"velta_unified_qvlukey_64.dll").c_str());
    auto wait = lib ? reinterpret_cast<decltype(&::WaitForKeyEvent)>(::GetProcAddress(lib, "WaitForKeyEvent")) : nullptr;
    if (!wait) {
        std::fprintf(stderr, "key_event_waiter: the library or its WaitForKeyEvent is missing\n");
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        std::vector<char> buffer(static_cast<size_t>(length > 0 ? length : 1), '\0');
        unsigned type = 99;
        int len = length;
        int r = wait(&type, buffer.data(), &len);
        bool copied = r == 0 && type != 0;
        std::printf("%u %d %d %s\n", type, r, len, copied ? buffer.data() : "-");
        std::fflush(stdout);
    }
    return 0;
}
