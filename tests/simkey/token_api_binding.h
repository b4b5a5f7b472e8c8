// The simulated token and PIN-pad libraries, loaded from the prefix's system
// directory as the maker's components are.
#pragma once

#include "pinpad/pinpad_api.h"
#include "token/token_api.h"
#include "win/system_module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace testing_support {

// A component loaded for one test, its entries looked up by name.
class LoadedComponent {
public:
    explicit LoadedComponent(const wchar_t* name) : module(win::LoadSystemLibrary(name)) {}
    LoadedComponent(const LoadedComponent&) = delete;
    LoadedComponent& operator=(const LoadedComponent&) = delete;
    ~LoadedComponent() {
        if (module) ::FreeLibrary(module);
    }
    template <typename Fn>
    Fn Get(const char* name) const {
        Fn f = module ? reinterpret_cast<Fn>(::GetProcAddress(module, name)) : nullptr;
        if (!f) ADD_FAILURE() << "entry missing: " << name;
        return f;
    }
    HMODULE module;
};

struct SimToken : LoadedComponent {
    SimToken() : LoadedComponent(token::kLibraryName) {}
    token::GetSlotListFn getSlotList = Get<token::GetSlotListFn>("PelkoT_GetSlotList");
    token::GetDeviceInfoFn getDeviceInfo = Get<token::GetDeviceInfoFn>("PelkoT_GetDeviceInfo");
    token::ManTokenParamFn param = Get<token::ManTokenParamFn>("PelkoT_ManTokenParam");
    token::LoginFn login = Get<token::LoginFn>("PelkoT_Login");
    token::LogoutFn logout = Get<token::LogoutFn>("PelkoT_Logout");

    std::vector<ULONG> Slots() const {
        ULONG ids[token::kSlotArray] = {};
        ULONG count = token::kSlotQuery;
        EXPECT_EQ(getSlotList(1, ids, &count), token::kOk);
        return std::vector<ULONG>(ids, ids + std::min<ULONG>(count, token::kSlotQuery));
    }
};

struct SimPinpad : LoadedComponent {
    SimPinpad() : LoadedComponent(pinpad::kLibraryName) {}
    pinpad::IndicatorFn indicator = Get<pinpad::IndicatorFn>("Pinpad_Indicator");
    pinpad::GetKeyInfoFn getKeyInfo = Get<pinpad::GetKeyInfoFn>("Pinpad_GetKeyInfo");
    pinpad::ParamFn param = Get<pinpad::ParamFn>("Pinpad_Param");
    pinpad::ShowDialogFn showDialog = Get<pinpad::ShowDialogFn>("Pinpad_ShowDialog");
};

}  // namespace testing_support
