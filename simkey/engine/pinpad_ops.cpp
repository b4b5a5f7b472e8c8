// The PIN pad's behaviour: the entries K2Pinpad_VELTA.dll forwards here.
// Each dialog plays the next scripted answer; the calls are recorded so
// tests can see what the caller handed over.
#include "state.h"

#include "pinpad/pinpad_api.h"
#include "simkey/engine_api.h"
#include "token/token_api.h"

using namespace simkey;
using nlohmann::json;

namespace {

void Record(State& s, json call) {
    s.padCalls.push_back(std::move(call));
    if (s.padCalls.size() > kPadCallsKept) s.padCalls.erase(s.padCalls.begin());
}

}  // namespace

extern "C" ULONG WINAPI SimPad_Indicator(HWND /*owner*/, FARPROC tokenFunction, ULONGLONG keyInfo, void* request) {
    if (!tokenFunction || !request) return kBadArgument;
    const uint8_t* b = static_cast<const uint8_t*>(request);
    const uint32_t size = pinpad::ReadU32(b, pinpad::block::kBlockSize);
    const uint32_t op = pinpad::ReadU32(b, pinpad::block::kOperation);
    const uint32_t slot = pinpad::ReadU32(b, pinpad::block::kSlot);

    // Take the answer in one state transaction and call the token function
    // after it: the token function works on the state itself.
    PadAnswer answer{"timeout", "", ""};
    ULONG taken = WithState(Access::kWrite, [&](State& s) -> ULONG {
        json call = {{"fn", "Indicator"}, {"operation", op}, {"slot", slot}, {"keyInfo", keyInfo},
                     {"blockSize", size}, {"minPin", b[pinpad::block::kMinPin]},
                     {"maxPin", b[pinpad::block::kMaxPin]}};
        if (op == pinpad::kOpInitialise) call["initOption"] = pinpad::ReadU32(b, pinpad::block::kInitOption);
        Record(s, std::move(call));
        if (!s.padScript.empty()) {
            answer = s.padScript.front();
            s.padScript.pop_front();
        }
        return token::kOk;
    });
    if (taken != token::kOk) return taken;

    if (answer.kind == "cancel") return token::kUserCancel;
    if (answer.kind == "debugger") return pinpad::kDebuggerFound;
    // Nobody at the key: the dialog runs out of time.
    if (answer.kind != "pin") return token::kUserTimeout;

    switch (op) {
    case pinpad::kOpVerify:
        return reinterpret_cast<token::LoginFn>(tokenFunction)(
            slot, token::kUserPin, answer.pin.c_str(), static_cast<ULONG>(answer.pin.size()));
    case pinpad::kOpChange:
        return reinterpret_cast<token::ChangePinFn>(tokenFunction)(
            slot, token::kUserPin, answer.pin.c_str(), static_cast<ULONG>(answer.pin.size()),
            answer.newPin.c_str(), static_cast<ULONG>(answer.newPin.size()));
    case pinpad::kOpInitialise: {
        // The key's own dialog asked for the new PIN; the pad hands it to the
        // token library with the initialisation key value.
        token::InitRecord record =
            token::MakeInitRecord(answer.pin.c_str(), static_cast<uint32_t>(answer.pin.size()), 0);
        return reinterpret_cast<token::InitTokenFn>(tokenFunction)(slot, &record);
    }
    default:
        return kNotSimulated;
    }
}

extern "C" ULONGLONG WINAPI SimPad_GetKeyInfo(ULONG a, ULONG b) {
    // A value the caller hands on to Pinpad_Indicator unchanged.
    ULONGLONG info = (static_cast<ULONGLONG>(a) << 32) | b;
    WithState(Access::kWrite, [&](State& s) -> ULONG {
        Record(s, {{"fn", "GetKeyInfo"}, {"a", a}, {"b", b}});
        return token::kOk;
    });
    return info;
}

extern "C" ULONG WINAPI SimPad_Param(ULONG* attribute, ULONG reserved) {
    return WithState(Access::kWrite, [&](State& s) -> ULONG {
        json call = {{"fn", "Param"}, {"reserved", reserved}};
        call["attribute"] = attribute ? json(*attribute) : json(nullptr);
        Record(s, std::move(call));
        return token::kOk;
    });
}

extern "C" ULONG WINAPI SimPad_ShowDialog(ULONG kind, void* data) {
    return WithState(Access::kWrite, [&](State& s) -> ULONG {
        Record(s, {{"fn", "ShowDialog"}, {"kind", kind}, {"data", data != nullptr}});
        return token::kOk;
    });
}
