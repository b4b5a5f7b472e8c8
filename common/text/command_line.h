// The program's arguments as UTF-8, whatever the ANSI code page: the
// command-line tools pass labels and names in any script to the library.
#pragma once

#include <string>
#include <vector>

namespace text {

// Arguments after the program name.
std::vector<std::string> Utf8Arguments();

}  // namespace text
