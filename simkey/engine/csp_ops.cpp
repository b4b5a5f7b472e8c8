// The CryptoAPI provider's behaviour: the entry points K2CSP_VELTA.dll
// forwards here. Containers are addressed through reader names:
//   "\\.\Quorvell PelkoToken <slot>\<container>"   (the token library's slot)
//   "\\.\Quorvell <CSP device name>\<container>"    (what the stores record)
// or by a bare container name, looked up on every plugged key.
#include "crypto.h"
#include "state.h"

#include "csp/csp_api.h"
#include "pinpad/pinpad_api.h"
#include "token/token_api.h"
#include "simkey/engine_api.h"

#include <cstring>
#include <memory>
#include <map>
#include <mutex>
#include <optional>

using namespace simkey;

namespace {

constexpr char kProviderName[] = "VLBK USBKEY2 CSP QVL";
constexpr char kTokenReader[] = "\\\\.\\Quorvell PelkoToken ";
constexpr char kCspReader[] = "\\\\.\\Quorvell ";

using csp::ContainerInfo;
using namespace csp;  // parameter ids

struct Context {
    bool silent = false;      // CRYPT_SILENT: no PIN dialog may be shown
    uint32_t slot = 0;        // 0: no reader named (verify context without container)
    std::string cspName;      // set when addressed through the CSP reader name
    std::string container;    // empty for a reader-only or verify context
    size_t enumCursor = 0;
};

struct KeyHandle {
    HCRYPTPROV prov;
    DWORD keySpec;
};

struct HashObject {
    HCRYPTPROV prov;
    ALG_ID algorithm;
    std::unique_ptr<Digest> digest;  // null for a hash that only takes a value
    std::string value;               // set when finished or given
    bool finished = false;
};

std::mutex g_lock;
std::map<HCRYPTPROV, Context> g_contexts;
std::map<HCRYPTKEY, KeyHandle> g_keys;
std::map<HCRYPTHASH, HashObject> g_hashes;
ULONG_PTR g_nextHandle = 0x5100;

BOOL Fail(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}

std::optional<Context> ContextOf(HCRYPTPROV prov) {
    std::lock_guard<std::mutex> l(g_lock);
    auto it = g_contexts.find(prov);
    if (it == g_contexts.end()) return std::nullopt;
    return it->second;
}

std::optional<KeyHandle> KeyOfHandle(HCRYPTPROV prov, HCRYPTKEY key) {
    std::lock_guard<std::mutex> l(g_lock);
    auto it = g_keys.find(key);
    if (it == g_keys.end() || it->second.prov != prov) return std::nullopt;
    return it->second;
}

// Splits "<reader prefix><id>\<container>".
bool SplitReader(const std::string& text, const char* prefix, std::string& id, std::string& container) {
    size_t n = std::strlen(prefix);
    if (text.compare(0, n, prefix) != 0) return false;
    size_t end = text.find('\\', n);
    if (end == std::string::npos) return false;
    id = text.substr(n, end - n);
    container = text.substr(end + 1);
    return true;
}

// The key a context works on, in the given state; nullptr when it is gone.
Key* KeyOf(State& s, const Context& c) {
    if (c.slot) return FindBySlot(s, c.slot);
    if (!c.cspName.empty()) return FindByCspName(s, c.cspName);
    return nullptr;
}

// Runs work on the context's container pair, under the state lock.
BOOL OnPair(HCRYPTPROV prov, DWORD keySpec, Access access, const std::function<DWORD(Key&, Container&, Pair&)>& work) {
    std::optional<Context> c = ContextOf(prov);
    if (!c) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    if (c->container.empty()) return Fail(static_cast<DWORD>(NTE_BAD_KEYSET));
    DWORD error = ERROR_SUCCESS;
    ULONG st = WithState(access, [&](State& s) -> ULONG {
        Key* k = KeyOf(s, *c);
        Container* box = k ? FindContainer(*k, c->container) : nullptr;
        Pair* p = box ? FindPair(*box, keySpec) : nullptr;
        if (!k || !box) error = static_cast<DWORD>(NTE_BAD_KEYSET);
        else if (!p) error = static_cast<DWORD>(NTE_NO_KEY);
        else error = work(*k, *box, *p);
        return 0;
    });
    if (st != 0) return Fail(static_cast<DWORD>(NTE_FAIL));
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// Runs work on the key whose slot id is the first byte of a record.
BOOL OnSlotKey(const BYTE* data, Access access, const std::function<DWORD(Key&)>& work) {
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    DWORD error = ERROR_SUCCESS;
    ULONG st = WithState(access, [&](State& s) -> ULONG {
        Key* k = FindBySlot(s, data[0]);
        error = k ? work(*k) : static_cast<DWORD>(NTE_BAD_KEYSET);
        return 0;
    });
    if (st != 0) return Fail(static_cast<DWORD>(NTE_FAIL));
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

// Answers bytes through (data, length) as CryptoAPI does: a null data is a
// size query, a short buffer ERROR_MORE_DATA with the size needed.
DWORD Answer(const void* bytes, size_t n, BYTE* data, DWORD* length) {
    if (!length) return ERROR_INVALID_PARAMETER;
    DWORD room = *length;
    *length = static_cast<DWORD>(n);
    if (!data) return ERROR_SUCCESS;
    if (room < n) return ERROR_MORE_DATA;
    std::memcpy(data, bytes, n);
    return ERROR_SUCCESS;
}

std::string Bytes(const std::string& hex) {
    std::string out;
    FromHex(hex, out);
    return out;
}

DWORD FillContainerInfo(const Pair& p, ContainerInfo& info) {
    const std::string pub = Bytes(p.publicKeyHex), cert = Bytes(p.certHex);
    info.kind = p.kind;
    info.algorithm = p.algorithm;
    info.keyIndex = static_cast<uint8_t>(p.keyIndex);
    std::memset(info.zero, 0, sizeof info.zero);
    bool fits = (!info.publicKey || info.publicKeyLength >= pub.size()) &&
                (!info.certificate || info.certificateLength >= cert.size());
    if (fits && info.publicKey) std::memcpy(reinterpret_cast<void*>(info.publicKey), pub.data(), pub.size());
    if (fits && info.certificate && !cert.empty())
        std::memcpy(reinterpret_cast<void*>(info.certificate), cert.data(), cert.size());
    info.publicKeyLength = static_cast<uint32_t>(pub.size());
    info.certificateLength = static_cast<uint32_t>(cert.size());
    return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

BOOL EnumContainers(HCRYPTPROV prov, BYTE* data, DWORD* length, DWORD flags) {
    std::optional<Context> c = ContextOf(prov);
    if (!c) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    size_t cursor = (flags & CRYPT_FIRST) ? 0 : c->enumCursor;
    std::string name;
    bool gone = false;
    ULONG st = WithState(Access::kRead, [&](State& s) -> ULONG {
        Key* k = KeyOf(s, *c);
        if (!k) gone = true;
        else if (cursor < k->containers.size()) name = k->containers[cursor].name;
        return 0;
    });
    if (st != 0) return Fail(static_cast<DWORD>(NTE_FAIL));
    if (gone) return Fail(static_cast<DWORD>(NTE_BAD_KEYSET));
    if (name.empty()) return Fail(ERROR_NO_MORE_ITEMS);
    DWORD e = Answer(name.c_str(), name.size() + 1, data, length);
    if (e != ERROR_SUCCESS) return Fail(e);
    if (data) {
        std::lock_guard<std::mutex> l(g_lock);
        auto it = g_contexts.find(prov);
        if (it != g_contexts.end()) it->second.enumCursor = cursor + 1;
    }
    return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI SimCsp_AcquireContext(HCRYPTPROV* prov, LPCSTR container, DWORD flags, void* /*table*/) {
    if (!prov) return Fail(ERROR_INVALID_PARAMETER);
    if (flags & (CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET)) return Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    const bool verify = (flags & CRYPT_VERIFYCONTEXT) != 0;
    const std::string text = container ? container : "";
    Context c;
    c.silent = (flags & CRYPT_SILENT) != 0;
    std::string id;
    bool named = false;
    if (SplitReader(text, kTokenReader, id, c.container)) {
        char* end = nullptr;
        unsigned long slot = std::strtoul(id.c_str(), &end, 10);
        if (id.empty() || *end || slot == 0) return Fail(static_cast<DWORD>(NTE_BAD_KEYSET));
        c.slot = static_cast<uint32_t>(slot);
        named = true;
    } else if (SplitReader(text, kCspReader, id, c.container)) {
        c.cspName = id;
        named = true;
    } else {
        c.container = text;
    }
    if (!verify && c.container.empty()) return Fail(static_cast<DWORD>(NTE_BAD_KEYSET));

    // The reader's key must be present, and a named container on it.
    bool found = true;
    ULONG st = WithState(Access::kRead, [&](State& s) -> ULONG {
        if (named) {
            Key* k = KeyOf(s, c);
            found = k && (c.container.empty() || FindContainer(*k, c.container));
            if (k && c.slot == 0) c.slot = k->slot;
        } else if (!c.container.empty()) {
            found = false;
            for (Key& k : s.keys)
                if (k.slot && FindContainer(k, c.container)) {
                    c.slot = k.slot;
                    found = true;
                    break;
                }
        }
        return 0;
    });
    if (st != 0) return Fail(static_cast<DWORD>(NTE_FAIL));
    if (!found) return Fail(static_cast<DWORD>(NTE_BAD_KEYSET));
    c.cspName.clear();  // from here on the slot names the key
    std::lock_guard<std::mutex> l(g_lock);
    *prov = g_nextHandle++;
    g_contexts[*prov] = c;
    return TRUE;
}

extern "C" BOOL WINAPI SimCsp_ReleaseContext(HCRYPTPROV prov, DWORD /*flags*/) {
    std::lock_guard<std::mutex> l(g_lock);
    if (!g_contexts.erase(prov)) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    for (auto it = g_keys.begin(); it != g_keys.end();) it = it->second.prov == prov ? g_keys.erase(it) : std::next(it);
    for (auto it = g_hashes.begin(); it != g_hashes.end();)
        it = it->second.prov == prov ? g_hashes.erase(it) : std::next(it);
    return TRUE;
}

extern "C" BOOL WINAPI SimCsp_GetProvParam(HCRYPTPROV prov, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
    std::optional<Context> c = ContextOf(prov);
    if (!c) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    auto answer = [&](const void* bytes, size_t n) {
        DWORD e = Answer(bytes, n, data, length);
        return e == ERROR_SUCCESS ? TRUE : Fail(e);
    };
    auto keySpecArg = [&]() -> DWORD {
        DWORD spec = 0;
        if (data) std::memcpy(&spec, data, sizeof spec);
        return spec;
    };
    switch (param) {
    case PP_ENUMCONTAINERS:
        return EnumContainers(prov, data, length, flags);
    case PP_NAME:
        return answer(kProviderName, sizeof kProviderName);
    case PP_CONTAINER:
    case PP_UNIQUE_CONTAINER:
        return answer(c->container.c_str(), c->container.size() + 1);
    case PP_PROVTYPE: {
        DWORD type = PROV_RSA_FULL;
        return answer(&type, sizeof type);
    }
    case PP_IMPTYPE: {
        DWORD type = CRYPT_IMPL_HARDWARE;
        return answer(&type, sizeof type);
    }
    case PP_VERSION: {
        DWORD version = 0x0200;
        return answer(&version, sizeof version);
    }
    case kParamContainerInfo: {
        // The length argument carries the key spec.
        if (!data || !length) return Fail(ERROR_INVALID_PARAMETER);
        ContainerInfo* info = reinterpret_cast<ContainerInfo*>(data);
        if (info->size != sizeof(ContainerInfo)) return Fail(static_cast<DWORD>(NTE_BAD_LEN));
        DWORD spec = *length;
        return OnPair(prov, spec, Access::kRead, [&](Key&, Container&, Pair& p) { return FillContainerInfo(p, *info); });
    }
    case kParamDeletePair:
    case kParamDeletePairAndCert:
        return OnPair(prov, keySpecArg(), Access::kWrite, [&](Key& k, Container& box, Pair& p) -> DWORD {
            box.pairs.erase(box.pairs.begin() + (&p - box.pairs.data()));
            if (box.pairs.empty()) k.containers.erase(k.containers.begin() + (&box - k.containers.data()));
            return ERROR_SUCCESS;
        });
    case kParamDeleteCert:
        return OnPair(prov, keySpecArg(), Access::kWrite, [&](Key&, Container&, Pair& p) -> DWORD {
            p.certHex.clear();
            return ERROR_SUCCESS;
        });
    case kParamMarkClear:
    case kParamMarkSet:
        return OnPair(prov, keySpecArg(), Access::kWrite, [&](Key&, Container&, Pair& p) -> DWORD {
            p.marked = param == kParamMarkSet;
            return ERROR_SUCCESS;
        });
    case kParamDataWordGet:
        return OnSlotKey(data, Access::kRead, [&](Key& k) -> DWORD {
            if (!k.dataWritten) return static_cast<DWORD>(NTE_NOT_FOUND);
            uint32_t words[2] = {k.dataValue, k.dataFlags};  // value word, then flag word
            return Answer(words, sizeof words, data, length);
        });
    case kParamPinTimeoutGet:
        return OnSlotKey(data, Access::kRead, [&](Key& k) -> DWORD {
            uint32_t flag = k.pinTimeout ? 1 : 0;
            return Answer(&flag, sizeof flag, data, length);
        });
    default:
        return Fail(static_cast<DWORD>(NTE_BAD_TYPE));
    }
}

extern "C" BOOL WINAPI SimCsp_SetProvParam(HCRYPTPROV prov, DWORD param, const BYTE* data, DWORD /*flags*/) {
    if (!ContextOf(prov)) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    switch (param) {
    case kParamDataWordSet:
        // slot (u8), 8 (u8), flag word, value word
        return OnSlotKey(data, Access::kWrite, [&](Key& k) -> DWORD {
            if (data[1] != 8) return static_cast<DWORD>(NTE_BAD_DATA);
            std::memcpy(&k.dataFlags, data + 2, 4);
            std::memcpy(&k.dataValue, data + 6, 4);
            k.dataWritten = true;
            return ERROR_SUCCESS;
        });
    case kParamPinTimeoutSet:
        // slot (u8), then the flag (u8)
        return OnSlotKey(data, Access::kWrite, [&](Key& k) -> DWORD {
            k.pinTimeout = data[1] != 0;
            return ERROR_SUCCESS;
        });
    default:
        return Fail(static_cast<DWORD>(NTE_BAD_TYPE));
    }
}

extern "C" BOOL WINAPI SimCsp_GetUserKey(HCRYPTPROV prov, DWORD keySpec, HCRYPTKEY* key) {
    if (!key) return Fail(ERROR_INVALID_PARAMETER);
    if (!OnPair(prov, keySpec, Access::kRead, [](Key&, Container&, Pair&) -> DWORD { return ERROR_SUCCESS; }))
        return FALSE;
    std::lock_guard<std::mutex> l(g_lock);
    *key = g_nextHandle++;
    g_keys[*key] = {prov, keySpec};
    return TRUE;
}

extern "C" BOOL WINAPI SimCsp_DestroyKey(HCRYPTPROV /*prov*/, HCRYPTKEY key) {
    std::lock_guard<std::mutex> l(g_lock);
    return g_keys.erase(key) ? TRUE : Fail(static_cast<DWORD>(NTE_BAD_KEY));
}

extern "C" BOOL WINAPI SimCsp_GetKeyParam(HCRYPTPROV prov, HCRYPTKEY key, DWORD param, BYTE* data, DWORD* length,
                                          DWORD /*flags*/) {
    std::optional<KeyHandle> h = KeyOfHandle(prov, key);
    if (!h) return Fail(static_cast<DWORD>(NTE_BAD_KEY));
    return OnPair(prov, h->keySpec, Access::kRead, [&](Key&, Container&, Pair& p) -> DWORD {
        switch (param) {
        case KP_CERTIFICATE: {
            if (p.certHex.empty()) return static_cast<DWORD>(SCARD_E_NO_SUCH_CERTIFICATE);
            std::string der = Bytes(p.certHex);
            return Answer(der.data(), der.size(), data, length);
        }
        case KP_KEYLEN: {
            DWORD bits = p.bits;
            return Answer(&bits, sizeof bits, data, length);
        }
        case KP_ALGID: {
            ALG_ID alg = p.keySpec == AT_KEYEXCHANGE ? CALG_RSA_KEYX : CALG_RSA_SIGN;
            return Answer(&alg, sizeof alg, data, length);
        }
        default:
            return static_cast<DWORD>(NTE_BAD_TYPE);
        }
    });
}

// Hashing and signing, so that a program that finds the key's certificate in
// the user's store can sign with it through the system's CryptoAPI.
namespace {

struct HashAlgorithm {
    ALG_ID id;
    const char* digest;  // OpenSSL name; nullptr: only a given value
    size_t size;
};
constexpr HashAlgorithm kHashAlgorithms[] = {
    {CALG_MD5, "MD5", 16},         {CALG_SHA1, "SHA1", 20},       {CALG_SHA_256, "SHA256", 32},
    {CALG_SHA_384, "SHA384", 48},  {CALG_SHA_512, "SHA512", 64},  {CALG_SSL3_SHAMD5, nullptr, 36},
};

const HashAlgorithm* FindHashAlgorithm(ALG_ID id) {
    for (const HashAlgorithm& a : kHashAlgorithms)
        if (a.id == id) return &a;
    return nullptr;
}

// Finishes a hash and hands out its value (under g_lock).
bool HashValue(HashObject& h, std::string& value) {
    if (!h.finished) {
        if (!h.digest || !h.digest->Final(h.value)) return false;
        h.finished = true;
    }
    value = h.value;
    return true;
}

// Statuses of the PIN dialog as CryptoAPI errors.
DWORD PinError(ULONG status) {
    if (status == token::kUserCancel) return static_cast<DWORD>(SCARD_W_CANCELLED_BY_USER);
    if (status == token::kUserTimeout) return static_cast<DWORD>(SCARD_E_TIMEOUT);
    if (status == token::kPinLocked) return static_cast<DWORD>(SCARD_W_CHV_BLOCKED);
    if (status > token::kPinLocked && status <= token::PinWrong(14)) return static_cast<DWORD>(SCARD_W_WRONG_CHV);
    return static_cast<DWORD>(NTE_FAIL);
}

}  // namespace

extern "C" ULONG WINAPI SimTok_Login(ULONG slot, ULONG userType, const char* pin, ULONG length);
extern "C" ULONG WINAPI SimPad_Indicator(HWND owner, FARPROC tokenFunction, ULONGLONG keyInfo, void* request);

extern "C" BOOL WINAPI SimCsp_CreateHash(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTKEY key, DWORD /*flags*/,
                                         HCRYPTHASH* hash) {
    if (!hash || key) return Fail(key ? static_cast<DWORD>(NTE_BAD_KEY) : ERROR_INVALID_PARAMETER);
    if (!ContextOf(prov)) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    const HashAlgorithm* a = FindHashAlgorithm(algorithm);
    if (!a) return Fail(static_cast<DWORD>(NTE_BAD_ALGID));
    HashObject h{prov, algorithm, a->digest ? std::make_unique<Digest>(a->digest) : nullptr, "", false};
    if (a->digest && !h.digest->ok()) return Fail(static_cast<DWORD>(NTE_BAD_ALGID));
    std::lock_guard<std::mutex> l(g_lock);
    *hash = g_nextHandle++;
    g_hashes.emplace(*hash, std::move(h));
    return TRUE;
}

extern "C" BOOL WINAPI SimCsp_HashData(HCRYPTPROV prov, HCRYPTHASH hash, const BYTE* data, DWORD length,
                                       DWORD /*flags*/) {
    std::lock_guard<std::mutex> l(g_lock);
    auto it = g_hashes.find(hash);
    if (it == g_hashes.end() || it->second.prov != prov) return Fail(static_cast<DWORD>(NTE_BAD_HASH));
    HashObject& h = it->second;
    if (h.finished || !h.digest) return Fail(static_cast<DWORD>(NTE_BAD_HASH_STATE));
    return h.digest->Update(data, length) ? TRUE : Fail(static_cast<DWORD>(NTE_FAIL));
}

extern "C" BOOL WINAPI SimCsp_SetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, const BYTE* data,
                                           DWORD /*flags*/) {
    std::lock_guard<std::mutex> l(g_lock);
    auto it = g_hashes.find(hash);
    if (it == g_hashes.end() || it->second.prov != prov) return Fail(static_cast<DWORD>(NTE_BAD_HASH));
    if (param != HP_HASHVAL) return Fail(static_cast<DWORD>(NTE_BAD_TYPE));
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    HashObject& h = it->second;
    h.value.assign(reinterpret_cast<const char*>(data), FindHashAlgorithm(h.algorithm)->size);
    h.finished = true;
    return TRUE;
}

extern "C" BOOL WINAPI SimCsp_GetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, BYTE* data,
                                           DWORD* length, DWORD /*flags*/) {
    std::lock_guard<std::mutex> l(g_lock);
    auto it = g_hashes.find(hash);
    if (it == g_hashes.end() || it->second.prov != prov) return Fail(static_cast<DWORD>(NTE_BAD_HASH));
    HashObject& h = it->second;
    DWORD e;
    if (param == HP_ALGID) {
        e = Answer(&h.algorithm, sizeof h.algorithm, data, length);
    } else if (param == HP_HASHSIZE) {
        DWORD size = static_cast<DWORD>(FindHashAlgorithm(h.algorithm)->size);
        e = Answer(&size, sizeof size, data, length);
    } else if (param == HP_HASHVAL) {
        std::string value;
        if (!data && length) {  // a size query does not finish the hash
            *length = static_cast<DWORD>(FindHashAlgorithm(h.algorithm)->size);
            return TRUE;
        }
        e = HashValue(h, value) ? Answer(value.data(), value.size(), data, length) : static_cast<DWORD>(NTE_BAD_HASH_STATE);
    } else {
        e = static_cast<DWORD>(NTE_BAD_TYPE);
    }
    return e == ERROR_SUCCESS ? TRUE : Fail(e);
}

extern "C" BOOL WINAPI SimCsp_DestroyHash(HCRYPTPROV /*prov*/, HCRYPTHASH hash) {
    std::lock_guard<std::mutex> l(g_lock);
    return g_hashes.erase(hash) ? TRUE : Fail(static_cast<DWORD>(NTE_BAD_HASH));
}

// Signs on the key: the user's PIN is asked through the PIN pad when the key
// is not logged in (never in a silent context).
extern "C" BOOL WINAPI SimCsp_SignHash(HCRYPTPROV prov, HCRYPTHASH hash, DWORD keySpec, LPCWSTR /*description*/,
                                       DWORD flags, BYTE* signature, DWORD* length) {
    if (!length) return Fail(ERROR_INVALID_PARAMETER);
    std::optional<Context> c = ContextOf(prov);
    if (!c) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    std::string value;
    ALG_ID algorithm = 0;
    {
        std::lock_guard<std::mutex> l(g_lock);
        auto it = g_hashes.find(hash);
        if (it == g_hashes.end() || it->second.prov != prov) return Fail(static_cast<DWORD>(NTE_BAD_HASH));
        algorithm = it->second.algorithm;
        if (signature && !HashValue(it->second, value)) return Fail(static_cast<DWORD>(NTE_BAD_HASH_STATE));
    }
    std::string pem;
    size_t modulus = 0;
    bool loggedIn = false;
    if (!OnPair(prov, keySpec, Access::kRead, [&](Key& k, Container&, Pair& p) -> DWORD {
            if (p.algorithm != 1) return static_cast<DWORD>(NTE_BAD_ALGID);
            pem = p.privateKeyPem;
            modulus = p.publicKeyHex.size() / 2;
            loggedIn = k.loggedIn;
            return ERROR_SUCCESS;
        }))
        return FALSE;
    if (!signature) {
        *length = static_cast<DWORD>(modulus);
        return TRUE;
    }
    if (*length < modulus) {
        *length = static_cast<DWORD>(modulus);
        return Fail(ERROR_MORE_DATA);
    }
    if (!loggedIn) {
        if (c->silent) return Fail(static_cast<DWORD>(NTE_SILENT_CONTEXT));
        pinpad::RequestBlock request = pinpad::MakeRequest(pinpad::kOpVerify, c->slot | token::kSlotFlag);
        ULONG status = SimPad_Indicator(nullptr, reinterpret_cast<FARPROC>(&SimTok_Login), 0, &request);
        if (status != token::kOk) return Fail(PinError(status));
    }
    const HashAlgorithm* a = FindHashAlgorithm(algorithm);
    const char* md = (flags & CRYPT_NOHASHOID) ? nullptr : a->digest;
    std::string sig;
    if (!RsaSignHash(pem, md, value, sig)) return Fail(static_cast<DWORD>(NTE_FAIL));
    // CryptoAPI hands signatures out least significant byte first.
    std::copy(sig.rbegin(), sig.rend(), signature);
    *length = static_cast<DWORD>(sig.size());
    return TRUE;
}

extern "C" BOOL WINAPI SimCsp_GenRandom(HCRYPTPROV prov, DWORD length, BYTE* buffer) {
    if (!ContextOf(prov)) return Fail(static_cast<DWORD>(NTE_BAD_UID));
    return RandomBytes(buffer, length) ? TRUE : Fail(static_cast<DWORD>(NTE_FAIL));
}

// The public key of an RSA pair as a PUBLICKEYBLOB.
extern "C" BOOL WINAPI SimCsp_ExportKey(HCRYPTPROV prov, HCRYPTKEY key, HCRYPTKEY exchangeKey, DWORD blobType,
                                        DWORD /*flags*/, BYTE* data, DWORD* length) {
    if (exchangeKey || blobType != PUBLICKEYBLOB) return Fail(static_cast<DWORD>(NTE_BAD_TYPE));
    std::optional<KeyHandle> h = KeyOfHandle(prov, key);
    if (!h) return Fail(static_cast<DWORD>(NTE_BAD_KEY));
    return OnPair(prov, h->keySpec, Access::kRead, [&](Key&, Container&, Pair& p) -> DWORD {
        if (p.algorithm != 1) return static_cast<DWORD>(NTE_BAD_TYPE);
        std::string modulus = Bytes(p.publicKeyHex);
        std::string blob(sizeof(BLOBHEADER) + sizeof(RSAPUBKEY), '\0');
        auto* header = reinterpret_cast<BLOBHEADER*>(blob.data());
        header->bType = PUBLICKEYBLOB;
        header->bVersion = CUR_BLOB_VERSION;
        header->aiKeyAlg = p.keySpec == AT_KEYEXCHANGE ? CALG_RSA_KEYX : CALG_RSA_SIGN;
        auto* rsa = reinterpret_cast<RSAPUBKEY*>(blob.data() + sizeof(BLOBHEADER));
        rsa->magic = 0x31415352;  // "RSA1"
        rsa->bitlen = static_cast<DWORD>(modulus.size() * 8);
        rsa->pubexp = 65537;
        blob.append(modulus.rbegin(), modulus.rend());  // little-endian
        return Answer(blob.data(), blob.size(), data, length);
    });
}
