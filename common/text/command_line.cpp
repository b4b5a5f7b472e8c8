#include "text/command_line.h"

#include "text/text_convert.h"

#include <windows.h>
#include <shellapi.h>

namespace text {

std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int n = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &n);
    if (!argv) return args;
    for (int i = 1; i < n; ++i) args.push_back(FromWide(argv[i], CP_UTF8));
    ::LocalFree(argv);
    return args;
}

}  // namespace text
