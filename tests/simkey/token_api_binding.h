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

struct SimToken {
    HMODULE module = win::LoadSystemLibrary(token::kLibraryName);
    template <typename Fn>
    Fn Get(const char* name) const {
        Fn f = module ? reinterpret_cast<Fn>(::GetProcAddress(module, name)) : nullptr;
        if (!f) ADD_FAILURE() << "token entry missing: " << name;
        return f;
    }
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
    ~SimToken() {
        if (module) ::FreeLibrary(module);
    }
};

struct SimPinpad {
    HMODULE module = win::LoadSystemLibrary(pinpad::kLibraryName);
    template <typename Fn>
    Fn Get(const char* name) const {
        Fn f = module ? reinterpret_cast<Fn>(::GetProcAddress(module, name)) : nullptr;
        if (!f) ADD_FAILURE() << "PIN-pad entry missing: " << name;
        return f;
    }
    pinpad::IndicatorFn indicator = Get<pinpad::IndicatorFn>("Pinpad_Indicator");
    pinpad::GetKeyInfoFn getKeyInfo = Get<pinpad::GetKeyInfoFn>("Pinpad_GetKeyInfo");
    pinpad::ParamFn param = Get<pinpad::ParamFn>("Pinpad_Param");
    pinpad::ShowDialogFn showDialog = Get<pinpad::ShowDialogFn>("Pinpad_ShowDialog");
    ~SimPinpad() {
        if (module) ::FreeLibrary(module);
    }
};

}  // namespace testing_support
