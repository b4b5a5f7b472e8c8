// RAII owners of CryptoAPI store objects.
#pragma once

#include "win/handles.h"

#include <windows.h>
#include <wincrypt.h>

namespace win {

struct CertCloseStoreFn { void operator()(HCERTSTORE s) const { ::CertCloseStore(s, 0); } };
struct CertFreeContextFn { void operator()(PCCERT_CONTEXT c) const { ::CertFreeCertificateContext(c); } };

using CertStore = Owner<HCERTSTORE, nullptr, CertCloseStoreFn>;
using CertContext = Owner<PCCERT_CONTEXT, nullptr, CertFreeContextFn>;

}  // namespace win
