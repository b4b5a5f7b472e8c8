// K2Token_VELTA.dll of the simulated key: a small DLL (callers load and free
// it in every operation) that forwards to the engine.
#include "common/engine_link.h"
#include "token/token_api.h"

#include <cwchar>

namespace {

// Per-process load and unload counts, kept in the environment: DllMain may
// not load other modules, and the counts must outlive this module.
void Count(const wchar_t* variable) {
    wchar_t buf[16] = L"0";
    ::GetEnvironmentVariableW(variable, buf, 16);
    unsigned long n = wcstoul(buf, nullptr, 10) + 1;
    swprintf(buf, 16, L"%lu", n);
    ::SetEnvironmentVariableW(variable, buf);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        Count(simkey::kTokenLoadsVar);
    } else if (reason == DLL_PROCESS_DETACH) {
        Count(simkey::kTokenFreesVar);
    }
    return TRUE;
}

SIMKEY_FORWARD(ULONG, PelkoT_GetSlotList, "SimTok_GetSlotList", simkey::kEngineMissing,
               (ULONG present, ULONG* slots, ULONG* count), (present, slots, count))
SIMKEY_FORWARD(ULONG, PelkoT_GetDeviceInfo, "SimTok_GetDeviceInfo", simkey::kEngineMissing,
               (ULONG slot, ULONG reserved, BYTE* record), (slot, reserved, record))
SIMKEY_FORWARD(ULONG, PelkoT_ManTokenParam, "SimTok_ManTokenParam", simkey::kEngineMissing,
               (ULONG slot, ULONG param, void* buffer), (slot, param, buffer))
SIMKEY_FORWARD(ULONG, PelkoT_Login, "SimTok_Login", simkey::kEngineMissing,
               (ULONG slot, ULONG userType, const char* pin, ULONG length), (slot, userType, pin, length))
SIMKEY_FORWARD(ULONG, PelkoT_Logout, "SimTok_Logout", simkey::kEngineMissing, (ULONG slot, ULONG reserved),
               (slot, reserved))

SIMKEY_FORWARD(ULONG, PelkoT_ChangePin, "SimTok_ChangePin", simkey::kEngineMissing,
               (ULONG slot, ULONG userType, const char* oldPin, ULONG oldLength, const char* newPin, ULONG newLength),
               (slot, userType, oldPin, oldLength, newPin, newLength))
SIMKEY_FORWARD(ULONG, PelkoT_InitToken, "SimTok_InitToken", simkey::kEngineMissing, (ULONG slot, const void* record),
               (slot, record))
SIMKEY_FORWARD(ULONG, PelkoT_SetSignWay, "SimTok_SetSignWay", simkey::kEngineMissing, (ULONG slot), (slot))

// Entries whose behaviour comes with later work: present, so that callers
// bind, and answering kNotSimulated.
#define SIMKEY_NOT_YET(Name) \
    extern "C" ULONG WINAPI Name() { return simkey::kNotSimulated; }

SIMKEY_NOT_YET(PelkoT_ReadObject)
SIMKEY_NOT_YET(PelkoT_CreateObject)
SIMKEY_NOT_YET(PelkoT_GeneratePairKey)
SIMKEY_NOT_YET(PelkoT_GeneratePairKeyEx)
SIMKEY_NOT_YET(PelkoT_ExportPairKey)
SIMKEY_NOT_YET(PelkoT_ImportPairKey)
SIMKEY_NOT_YET(PelkoT_RsaSign)
SIMKEY_NOT_YET(PelkoT_HkeySign_Serial)
SIMKEY_NOT_YET(PelkoT_RsaSign_velta)
SIMKEY_NOT_YET(PelkoT_RsaDecrypt)
SIMKEY_NOT_YET(ALG_Digest)
SIMKEY_NOT_YET(Ossl_ParseCertDN)
SIMKEY_NOT_YET(Ossl_GetCertPublicKeyN)
SIMKEY_NOT_YET(Ossl_GetCertPublicKeyBer)
SIMKEY_NOT_YET(Ossl_GetHashNID)
SIMKEY_NOT_YET(Ossl_Base64_Encode)
SIMKEY_NOT_YET(Ossl_Base64_Decode)
SIMKEY_NOT_YET(Ossl_Base64_P7_FileData)
SIMKEY_NOT_YET(Ossl_GetCertFromP7)
SIMKEY_NOT_YET(Ossl_PKCS7_Sign)
SIMKEY_NOT_YET(Ossl_PKCS7_free)
SIMKEY_NOT_YET(Ossl_DigestInit)
SIMKEY_NOT_YET(Ossl_DigestUpdate)
SIMKEY_NOT_YET(Ossl_DigestFinal)
SIMKEY_NOT_YET(Ossl_EncryptInit)
SIMKEY_NOT_YET(Ossl_EncryptUpdate)
SIMKEY_NOT_YET(Ossl_EncryptFinal)
SIMKEY_NOT_YET(Ossl_PackageP10)
SIMKEY_NOT_YET(Ossl_PackageP10_SM2)
SIMKEY_NOT_YET(Ossl_Z_SM3)
SIMKEY_NOT_YET(Ossl_Sm2GenerateKey)
SIMKEY_NOT_YET(Ossl_SM2Public_crypt)
SIMKEY_NOT_YET(Ossl_SM2Private_crypt)
