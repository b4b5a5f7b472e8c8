// The direct binding to the key's CryptoAPI provider: the library, the agent
// and the plug-in load K2CSP_VELTA.dll themselves (not through the system's
// CryptoAPI router) to list a key's containers, read their information and
// certificates and pass the provider's own requests.
//
// Every operation answers 0 or a Windows error code; a provider module or
// acquire entry that is missing answers NTE_PROVIDER_DLL_FAIL (0x8009001D).
#pragma once

#include "csp/csp_api.h"

#include <cstdint>
#include <string>
#include <vector>

namespace csp {

inline constexpr DWORD kProviderDllFail = 0x8009001D;
// Callers hand the enumeration a list buffer of this size.
inline constexpr size_t kContainerListRoom = 4096;
// Buffers for a container's information.
inline constexpr DWORD kPublicKeyRoom = 400;
inline constexpr DWORD kCertificateRoom = 4096;

// "\\.\Quorvell PelkoToken <slot>\": addresses a key by its token slot.
std::string TokenReaderName(uint32_t slot);
// "\\.\Quorvell <name>\": the 16-byte CSP device name (blank padded, not
// necessarily terminated) without its trailing blanks.
std::string CspReaderName(const char* deviceName16);

// Lists the containers of a reader into `list`: entries of a zero byte, a
// length byte L and L bytes of name with its terminating zero. Entries that
// do not fit in `room` are left out. *total: bytes used.
DWORD CspEnumContainers(const std::string& tokenReader, uint8_t* list, size_t room, DWORD* total);
// The names of such a list.
std::vector<std::string> ContainerNames(const uint8_t* list, DWORD total);

// The information of one container and key spec (path: reader name followed
// by the container name). On failure every output but the two lengths is 0.
DWORD CspGetContainerInfo(const std::string& containerPath, DWORD keySpec, uint8_t* keyIndex, DWORD* algorithm,
                          DWORD* kind, BYTE* publicKey, DWORD* publicKeyLength, BYTE* certificate,
                          DWORD* certificateLength);
// The certificate of a container's key, through the key's certificate
// parameter.
DWORD CspGetCertificate(const std::string& containerPath, DWORD keySpec, BYTE* buffer, DWORD* length);

// The provider's own requests. Container requests (delete, mark, delete
// certificate: kParamDeletePair, kParamMarkClear, kParamDeleteCert; `flag`
// selects kParamMarkSet and kParamDeletePairAndCert) need containerPath and
// keySpec; key requests (data word, PIN time-out flag) need data and, for
// the reads, length.
DWORD CspProviderParam(DWORD param, bool flag, const std::string& containerPath, DWORD keySpec, BYTE* data,
                       DWORD* length);

}  // namespace csp
