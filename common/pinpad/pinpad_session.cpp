#include "pinpad/pinpad_session.h"

#include "win/handles.h"
#include "win/system_module.h"

namespace pinpad {

ULONG RunPinOperation(const Operation& op) {
    win::Module lib(win::LoadSystemLibrary(kLibraryName));
    if (!lib) return kIndicatorMissing;
    auto indicator = reinterpret_cast<IndicatorFn>(::GetProcAddress(lib.get(), "Pinpad_Indicator"));
    auto getKeyInfo = reinterpret_cast<GetKeyInfoFn>(::GetProcAddress(lib.get(), "Pinpad_GetKeyInfo"));
    auto param = reinterpret_cast<ParamFn>(::GetProcAddress(lib.get(), "Pinpad_Param"));
    if (param) {
        ULONG attribute = op.attribute;
        param(&attribute, 0);
    }
    if (!indicator) return kIndicatorMissing;
    ULONGLONG keyInfo = getKeyInfo ? getKeyInfo(2, 28) : 0;
    RequestBlock request = MakeRequest(op.code, op.slot, op.initOption);
    return indicator(nullptr, op.tokenFunction, keyInfo, &request);
}

}  // namespace pinpad
