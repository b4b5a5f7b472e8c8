// The engine's use of OpenSSL. Every entry makes sure OpenSSL is set up
// without its exit handler first (the handler would point into a module
// that may be gone when the process ends).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace simkey {

void EnsureOpenSsl();

std::string ToHex(const uint8_t* data, size_t n);
std::string ToHex(const std::string& bytes);
bool FromHex(const std::string& hex, std::string& bytes);

// PINs are kept as a salted SHA-256, as a key keeps them: the state file
// never holds a PIN in clear.
struct PinRecord {
    std::string saltHex;
    std::string hashHex;
};
PinRecord HashNewPin(const std::string& pin);
bool PinMatches(const PinRecord& stored, const char* pin, size_t length);

}  // namespace simkey
