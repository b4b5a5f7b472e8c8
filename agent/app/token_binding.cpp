#include "app/token_binding.h"

#include "win/system_module.h"

namespace agent {

TokenBinding LoadTokenBinding() {
    TokenBinding b;
    b.module = win::LoadSystemLibrary(token::kLibraryName);
    if (!b.module) return b;
    b.getSlotList = reinterpret_cast<token::GetSlotListFn>(::GetProcAddress(b.module, "PelkoT_GetSlotList"));
    b.getDeviceInfo = reinterpret_cast<token::GetDeviceInfoFn>(::GetProcAddress(b.module, "PelkoT_GetDeviceInfo"));
    b.manTokenParam = reinterpret_cast<token::ManTokenParamFn>(::GetProcAddress(b.module, "PelkoT_ManTokenParam"));
    b.setSignWay = reinterpret_cast<SetSignWayFn>(::GetProcAddress(b.module, "PelkoT_SetSignWay"));
    return b;
}

void FreeTokenBinding(TokenBinding& b) {
    if (b.module) ::FreeLibrary(b.module);
    b = TokenBinding{};
}

}  // namespace agent
