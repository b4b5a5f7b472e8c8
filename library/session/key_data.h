// Key initialisation and the key's data word (kept by its provider).
#pragma once

#include <cstdint>
#include <string>

namespace session {

// Initialises the key: through the PIN pad, where the key's own dialog asks
// for the new PIN (pin null), or directly with the given PIN. On success
// the provider's certificates leave the user's stores.
int32_t InitializeKey(const char* serial, uint32_t option, const char* pin, int variant);

// type 1: the value word as "0x%08x"; type 2: the flag word's set bits
// (0..11) as "0x%08x" items joined by "||". A key without a data word
// answers the code its bank text gives.
int32_t ReadKeyData(const char* serial, uint32_t type, std::string& text);
// type 1 only: text "0x<hex>", neither 0 nor 0xFFFFFFFF; the number is
// also added to the flag word.
int32_t WriteKeyData(const char* serial, uint32_t type, const char* text);

}  // namespace session
