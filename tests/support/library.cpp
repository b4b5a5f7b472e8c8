#include "library.h"

#include "simkey/engine_api.h"
#include "simkey_control.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <vector>

namespace testing_support {
namespace {

template <typename Fn>
void Bind(HMODULE m, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(::GetProcAddress(m, name));
    if (!fn) ADD_FAILURE() << "export missing: " << name;
}

KeyApi LoadApi() {
    KeyApi a;
    a.module = ::LoadLibraryW((ProgramDir() + L"velta_unified_qvlukey_64.dll").c_str());
    if (!a.module) {
        ADD_FAILURE() << "velta_unified_qvlukey_64.dll not loadable, error " << ::GetLastError();
        return a;
    }
    Bind(a.module, a.Initialize, "Initialize");
    Bind(a.module, a.Finalize, "Finalize");
    Bind(a.module, a.GetLastErrCode, "GetLastErrCode");
    Bind(a.module, a.GetErrorMsg, "GetErrorMsg");
    Bind(a.module, a.SetCharset, "SetCharset");
    Bind(a.module, a.SetLanguage, "SetLanguage");
    Bind(a.module, a.GetPrintNumber, "GetPrintNumber");
    Bind(a.module, a.GetVidAndPid, "GetVidAndPid");
    Bind(a.module, a.GetVendorInfo, "GetVendorInfo");
    Bind(a.module, a.SetLabel, "SetLabel");
    Bind(a.module, a.GetLabel, "GetLabel");
    Bind(a.module, a.WaitForKeyEvent, "WaitForKeyEvent");
    Bind(a.module, a.StopDetectUKey, "StopDetectUKey");
    Bind(a.module, a.InitUKey, "InitUKey");
    Bind(a.module, a.SetData, "SetData");
    Bind(a.module, a.GetData, "GetData");
    Bind(a.module, a.VerifyPIN, "VerifyPIN");
    Bind(a.module, a.ChangePin, "ChangePin");
    Bind(a.module, a.GetPinInfo, "GetPinInfo");
    Bind(a.module, a.RemovePinCache, "RemovePinCache");
    return a;
}

int Counter(const wchar_t* name) {
    wchar_t buf[16] = L"0";
    ::GetEnvironmentVariableW(name, buf, 16);
    return static_cast<int>(wcstol(buf, nullptr, 10));
}

}  // namespace

const KeyApi& Api() {
    static KeyApi api = LoadApi();
    return api;
}

std::vector<std::string> ExportNames(HMODULE module) {
    std::vector<std::string> names;
    auto base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!dir.VirtualAddress) return names;
    auto exp = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto nameRvas = reinterpret_cast<const DWORD*>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i)
        names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
    return names;
}

int TokenLoads() { return Counter(simkey::kTokenLoadsVar); }
int TokenFrees() { return Counter(simkey::kTokenFreesVar); }
bool TokenLoaded() { return ::GetModuleHandleW(L"K2Token_VELTA.dll") != nullptr; }

}  // namespace testing_support
