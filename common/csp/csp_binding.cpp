#include "csp/csp_binding.h"

#include "win/system_module.h"

#include <cstdio>
#include <cstring>

namespace csp {
namespace {

// Loaded on first use and kept for the life of the process; the first
// attempt counts, whatever its outcome.
struct Binding {
    HMODULE module = nullptr;
    AcquireContextFn acquire = nullptr;
    GetProvParamFn getProvParam = nullptr;
    SetProvParamFn setProvParam = nullptr;
    ReleaseContextFn release = nullptr;
    GetUserKeyFn getUserKey = nullptr;
    ExportKeyFn exportKey = nullptr;
    ImportKeyFn importKey = nullptr;
    GetKeyParamFn getKeyParam = nullptr;
    SetKeyParamFn setKeyParam = nullptr;
    DestroyKeyFn destroyKey = nullptr;
    ProviderTable table{};
};

template <typename Fn>
void Resolve(HMODULE m, const char* name, Fn& fn) {
    fn = m ? reinterpret_cast<Fn>(::GetProcAddress(m, name)) : nullptr;
}

const Binding& Bound() {
    static const Binding b = [] {
        Binding x;
        // The system directory only, where the installation puts the provider.
        x.module = win::LoadSystemLibrary(kLibraryName);
        Resolve(x.module, "CPAcquireContext", x.acquire);
        Resolve(x.module, "CPGetProvParam", x.getProvParam);
        Resolve(x.module, "CPSetProvParam", x.setProvParam);
        Resolve(x.module, "CPReleaseContext", x.release);
        Resolve(x.module, "CPGetUserKey", x.getUserKey);
        Resolve(x.module, "CPExportKey", x.exportKey);
        Resolve(x.module, "CPImportKey", x.importKey);
        Resolve(x.module, "CPGetKeyParam", x.getKeyParam);
        Resolve(x.module, "CPSetKeyParam", x.setKeyParam);
        Resolve(x.module, "CPDestroyKey", x.destroyKey);
        x.table.providerType = 1;
        return x;
    }();
    return b;
}

DWORD Missing() {
    ::SetLastError(kProviderDllFail);
    return kProviderDllFail;
}

// One acquired provider context, released when it goes.
class Context {
public:
    Context(const char* container, DWORD flags) : b_(Bound()) {
        if (!b_.acquire) {
            error_ = Missing();
            return;
        }
        if (!b_.acquire(&prov_, container, flags, const_cast<ProviderTable*>(&b_.table))) {
            error_ = LastError();
            prov_ = 0;
        }
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context() {
        if (prov_ && b_.release) b_.release(prov_, 0);
    }
    DWORD error() const { return error_; }
    HCRYPTPROV get() const { return prov_; }
    const Binding& binding() const { return b_; }

    // The provider's error, or a generic one when it set none.
    static DWORD LastError() {
        DWORD e = ::GetLastError();
        return e ? e : static_cast<DWORD>(NTE_FAIL);
    }

private:
    const Binding& b_;
    HCRYPTPROV prov_ = 0;
    DWORD error_ = 0;
};

}  // namespace

std::string TokenReaderName(uint32_t slot) {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\.\\Quorvell PelkoToken %u\\", static_cast<unsigned>(slot));
    return name;
}

std::string CspReaderName(const char* deviceName16) {
    size_t n = deviceName16 ? strnlen(deviceName16, 16) : 0;
    while (n > 0 && deviceName16[n - 1] == ' ') --n;
    return "\\\\.\\Quorvell " + std::string(deviceName16 ? deviceName16 : "", n) + "\\";
}

DWORD CspEnumContainers(const std::string& tokenReader, uint8_t* list, size_t room, DWORD* total) {
    if (total) *total = 0;
    if (!list || !total) return ERROR_INVALID_PARAMETER;
    Context ctx(tokenReader.c_str(), CRYPT_VERIFYCONTEXT);
    if (ctx.error()) return ctx.error();
    if (!ctx.binding().getProvParam) return Missing();
    BYTE name[256];
    for (DWORD flags = CRYPT_FIRST;; flags = 0) {
        DWORD len = sizeof name;
        if (!ctx.binding().getProvParam(ctx.get(), PP_ENUMCONTAINERS, name, &len, flags)) break;
        len = std::min<DWORD>(len, 255);
        if (*total + 2 + len > room) break;  // the list is full
        list[*total] = 0;
        list[*total + 1] = static_cast<uint8_t>(len);
        std::memcpy(list + *total + 2, name, len);
        *total += 2 + len;
    }
    return 0;
}

std::vector<std::string> ContainerNames(const uint8_t* list, DWORD total) {
    std::vector<std::string> names;
    for (DWORD at = 0; list && at + 2 <= total;) {
        DWORD len = list[at + 1];
        if (at + 2 + len > total) break;
        const char* p = reinterpret_cast<const char*>(list + at + 2);
        names.emplace_back(p, strnlen(p, len));
        at += 2 + len;
    }
    return names;
}

DWORD CspGetContainerInfo(const std::string& containerPath, DWORD keySpec, uint8_t* keyIndex, DWORD* algorithm,
                          DWORD* kind, BYTE* publicKey, DWORD* publicKeyLength, BYTE* certificate,
                          DWORD* certificateLength) {
    auto clear = [&] {
        if (keyIndex) *keyIndex = 0;
        if (algorithm) *algorithm = 0;
        if (kind) *kind = 0;
    };
    Context ctx(containerPath.c_str(), 0);
    DWORD error = ctx.error();
    if (!error && !ctx.binding().getProvParam) error = Missing();
    if (!error) {
        ContainerInfo info{};
        info.size = sizeof info;
        info.keySpec = keySpec;
        info.publicKey = reinterpret_cast<uintptr_t>(publicKey);
        info.publicKeyLength = publicKeyLength ? *publicKeyLength : 0;
        info.certificate = reinterpret_cast<uintptr_t>(certificate);
        info.certificateLength = certificateLength ? *certificateLength : 0;
        DWORD spec = keySpec;
        if (ctx.binding().getProvParam(ctx.get(), kParamContainerInfo, reinterpret_cast<BYTE*>(&info), &spec, 0)) {
            if (keyIndex) *keyIndex = info.keyIndex;
            if (algorithm) *algorithm = info.algorithm;
            if (kind) *kind = info.kind;
            if (publicKeyLength) *publicKeyLength = info.publicKeyLength;
            if (certificateLength) *certificateLength = info.certificateLength;
            return 0;
        }
        error = Context::LastError();
    }
    clear();
    return error;
}

DWORD CspGetCertificate(const std::string& containerPath, DWORD keySpec, BYTE* buffer, DWORD* length) {
    Context ctx(containerPath.c_str(), 0);
    if (ctx.error()) return ctx.error();
    const Binding& b = ctx.binding();
    if (!b.getUserKey || !b.getKeyParam || !b.destroyKey) return Missing();
    HCRYPTKEY key = 0;
    if (!b.getUserKey(ctx.get(), keySpec, &key)) return Context::LastError();
    DWORD error = b.getKeyParam(ctx.get(), key, KP_CERTIFICATE, buffer, length, 0) ? 0 : Context::LastError();
    b.destroyKey(ctx.get(), key);
    return error;
}

DWORD CspProviderParam(DWORD param, bool flag, const std::string& containerPath, DWORD keySpec, BYTE* data,
                       DWORD* length) {
    switch (param) {
    case kParamDeletePair:
    case kParamMarkClear:
    case kParamMarkSet:
    case kParamDeleteCert:
    case kParamDeletePairAndCert: {
        if (flag && param == kParamMarkClear) param = kParamMarkSet;
        if (flag && param == kParamDeleteCert) param = kParamDeletePairAndCert;
        Context ctx(containerPath.c_str(), 0);
        if (ctx.error()) return ctx.error();
        if (!ctx.binding().getProvParam) return Missing();
        DWORD spec = keySpec;
        return ctx.binding().getProvParam(ctx.get(), param, reinterpret_cast<BYTE*>(&spec), nullptr, 0)
                   ? 0
                   : Context::LastError();
    }
    case kParamDataWordGet:
    case kParamPinTimeoutGet: {
        Context ctx(nullptr, CRYPT_VERIFYCONTEXT);
        if (ctx.error()) return ctx.error();
        if (!ctx.binding().getProvParam) return Missing();
        return ctx.binding().getProvParam(ctx.get(), param, data, length, 0) ? 0 : Context::LastError();
    }
    case kParamDataWordSet:
    case kParamPinTimeoutSet: {
        Context ctx(nullptr, CRYPT_VERIFYCONTEXT);
        if (ctx.error()) return ctx.error();
        if (!ctx.binding().setProvParam) return Missing();
        return ctx.binding().setProvParam(ctx.get(), param, data, 0) ? 0 : Context::LastError();
    }
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

}  // namespace csp
