// Replaces (or removes) a file of the prefix's system directory for the
// length of a test and puts the original back afterwards.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

class SystemFileSwap {
public:
    // replacement empty: the file is only taken away.
    SystemFileSwap(const std::wstring& name, const std::wstring& replacement);
    SystemFileSwap(const SystemFileSwap&) = delete;
    SystemFileSwap& operator=(const SystemFileSwap&) = delete;
    ~SystemFileSwap();
    bool ok() const { return ok_; }

private:
    std::wstring path_, saved_;
    bool moved_ = false;
    bool ok_ = false;
};

}  // namespace testing_support
