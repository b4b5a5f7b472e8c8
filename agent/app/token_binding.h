// The agent's binding to the token library: loaded from the system directory
// when the agent starts and kept for its life. Entries that are missing
// stay null; a scan without the enumeration entries does nothing.
#pragma once

#include "token/token_api.h"

#include <windows.h>

namespace agent {

using SetSignWayFn = ULONG(WINAPI*)(ULONG slot);

struct TokenBinding {
    HMODULE module = nullptr;
    token::GetSlotListFn getSlotList = nullptr;
    token::GetDeviceInfoFn getDeviceInfo = nullptr;
    token::ManTokenParamFn manTokenParam = nullptr;
    SetSignWayFn setSignWay = nullptr;

    bool CanScan() const { return getSlotList && getDeviceInfo && manTokenParam; }
};

TokenBinding LoadTokenBinding();
void FreeTokenBinding(TokenBinding& binding);

}  // namespace agent
