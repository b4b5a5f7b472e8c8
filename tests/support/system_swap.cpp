#include "system_swap.h"

#include "win/system_module.h"

namespace testing_support {

SystemFileSwap::SystemFileSwap(const std::wstring& name, const std::wstring& replacement)
    : path_(win::SystemPath(name.c_str())), saved_(path_ + L".saved-by-test") {
    if (!::MoveFileExW(path_.c_str(), saved_.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    moved_ = true;
    ok_ = replacement.empty() || ::CopyFileW(replacement.c_str(), path_.c_str(), FALSE);
}

SystemFileSwap::~SystemFileSwap() {
    if (!moved_) return;
    ::DeleteFileW(path_.c_str());
    ::MoveFileExW(saved_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace testing_support
