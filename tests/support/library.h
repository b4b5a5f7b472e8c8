// The key API library as an application loads it: LoadLibraryW of the DLL
// beside the test program, each export by name.
#pragma once

#include "api/velta_ukey.h"

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct KeyApi {
    HMODULE module = nullptr;
    decltype(&::Initialize) Initialize = nullptr;
    decltype(&::Finalize) Finalize = nullptr;
    decltype(&::GetLastErrCode) GetLastErrCode = nullptr;
    decltype(&::GetErrorMsg) GetErrorMsg = nullptr;
    decltype(&::SetCharset) SetCharset = nullptr;
    decltype(&::SetLanguage) SetLanguage = nullptr;
    decltype(&::GetPrintNumber) GetPrintNumber = nullptr;
    decltype(&::GetVidAndPid) GetVidAndPid = nullptr;
    decltype(&::GetVendorInfo) GetVendorInfo = nullptr;
    decltype(&::SetLabel) SetLabel = nullptr;
    decltype(&::GetLabel) GetLabel = nullptr;
    decltype(&::WaitForKeyEvent) WaitForKeyEvent = nullptr;
    decltype(&::StopDetectUKey) StopDetectUKey = nullptr;
    decltype(&::InitUKey) InitUKey = nullptr;
    decltype(&::SetData) SetData = nullptr;
    decltype(&::GetData) GetData = nullptr;
    decltype(&::VerifyPIN) VerifyPIN = nullptr;
    decltype(&::ChangePin) ChangePin = nullptr;
    decltype(&::GetPinInfo) GetPinInfo = nullptr;
    decltype(&::RemovePinCache) RemovePinCache = nullptr;

    int LastErr() const {
        int c = 12345;
        GetLastErrCode(&c);
        return c;
    }
};

// Loaded once per test program and kept (as an application keeps it).
const KeyApi& Api();

// The export names of the DLL, read from its export directory.
std::vector<std::string> ExportNames(HMODULE module);

// The token library's per-process load and unload counts (the simulated
// token library keeps them) and whether it is loaded right now.
int TokenLoads();
int TokenFrees();
bool TokenLoaded();

}  // namespace testing_support
