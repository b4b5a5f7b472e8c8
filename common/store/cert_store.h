// The key's certificates in the current user's system stores, bound to the
// key's provider through their key-provider information: RSA certificates go
// to "MY", SM2 certificates to "addressbook".
//
// Stores are committed after every change: Wine writes them back late (and
// it is harmless on Windows), so another process sees the change at once.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace store {

// Store selector: 1 "MY"; any other "addressbook". Algorithm 1 (RSA) is
// selector 1.
const wchar_t* StoreName(DWORD selector);

// Adds one certificate (X.509 or PKCS #7 encoding). keySpec non-zero: the
// certificate is bound to (provider, container, keySpec) and replaces an
// identical one; a self-issued certificate is then not added at all (0).
// keySpec 0: added only as new, without binding. 0 or a Windows error.
DWORD AddCertToStore(const char* providerName, DWORD algorithm, const char* storeContainer, DWORD keySpec,
                     const BYTE* certificate, DWORD length);

// Removes the provider's certificates from one store. keySpecMode -1
// (sweep): with no container, every one of the provider's; with a
// container, those whose container name begins with it or is not of this
// system's naming (does not begin with "\\.\"). Other modes: those whose
// container begins with the given one (any, when none is given); mode 0
// whatever the key spec, a positive mode only that key spec.
// 0, or the Windows error when the store cannot be opened.
DWORD RemoveProviderCerts(const char* providerName, DWORD storeSelector, const char* container, int keySpecMode);

// Removes the provider's certificates from one store for which `remove`
// answers true, given the certificate's container name and key spec.
// 0, or the Windows error when the store cannot be opened.
using RemovalRule = std::function<bool(const wchar_t* container, DWORD keySpec)>;
DWORD RemoveProviderCertsWhere(const char* providerName, DWORD storeSelector, const RemovalRule& remove);

// The ANSI names of the system (code page 936) in wide text, at most 256
// characters; false when the text does not convert or is longer.
bool NameToWide(const char* name, std::wstring& out);

}  // namespace store
