// A browser stand-in for the e-banking launcher's tests: it appends its own
// program path and its command line (UTF-8) to the file named by
// UKEY_FAKE_BROWSER_RECORD, and ends.
#include "text/text_convert.h"

#include <windows.h>

#include <cstdio>

int main() {
    wchar_t record[MAX_PATH];
    if (!::GetEnvironmentVariableW(L"UKEY_FAKE_BROWSER_RECORD", record, MAX_PATH)) return 1;
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    FILE* f = _wfopen(record, L"ab");
    if (!f) return 1;
    std::fprintf(f, "%s\t%s\n", text::FromWide(self, CP_UTF8).c_str(),
                 text::FromWide(::GetCommandLineW(), CP_UTF8).c_str());
    std::fclose(f);
    return 0;
}
