// ukey stores: the key provider's certificates in the user's stores, as
// browsers and other CryptoAPI programs find them.
#pragma once

namespace ukeytool {

int ListProviderCertificates();

}  // namespace ukeytool
