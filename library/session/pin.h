// The user PIN: checked and changed by the PIN-pad library (which calls the
// token library itself, so the PIN never passes through here), or checked
// with a PIN text the caller supplies; the PIN state; ending every login.
#pragma once

#include <cstdint>

namespace session {

// Results of the token library's login statuses (the PIN-pad dialog answers
// the same ones). timeoutOn6156: a time-out on a model 6156 key.
int32_t LoginResult(uint32_t status, bool timeoutOn6156);
// Results of a PIN change; triesLeft reads the key's remaining tries.
int32_t ChangeResult(uint32_t status, int triesLeft);

// Verifies the user PIN of the selected key: with the given text (6 to 20
// characters) or, without one, through the PIN pad. Does not select the key
// and does not free the token library.
int32_t LoginKey(uint32_t slot, const char* pin);
// Changes the PIN of the key through the PIN pad; frees the token library.
int32_t ChangeKeyPin(const char* serial);
// "retry limit|tries left|must change|locked" into buffer; *length is
// always set to the text length. Keeps the token library on success.
int32_t ReadPinInfo(const char* serial, char* buffer, int32_t* length);
// Logs every present key out.
int32_t LogoutAllKeys();

}  // namespace session
