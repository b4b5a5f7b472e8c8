#include "crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <mutex>

namespace simkey {

void EnsureOpenSsl() {
    static std::once_flag once;
    std::call_once(once, [] { OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr); });
}

std::string ToHex(const uint8_t* data, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::string ToHex(const std::string& bytes) {
    return ToHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool FromHex(const std::string& hex, std::string& bytes) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2) return false;
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes += static_cast<char>(hi << 4 | lo);
    }
    return true;
}

namespace {
std::string Digest(const std::string& salt, const char* pin, size_t length) {
    EnsureOpenSsl();
    uint8_t md[EVP_MAX_MD_SIZE];
    unsigned mdLen = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) &&
              EVP_DigestUpdate(ctx, salt.data(), salt.size()) && EVP_DigestUpdate(ctx, pin, length) &&
              EVP_DigestFinal_ex(ctx, md, &mdLen);
    EVP_MD_CTX_free(ctx);
    return ok ? ToHex(md, mdLen) : std::string();
}
}  // namespace

PinRecord HashNewPin(const std::string& pin) {
    EnsureOpenSsl();
    uint8_t salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1) return {};
    std::string saltBytes(reinterpret_cast<char*>(salt), sizeof salt);
    return {ToHex(salt, sizeof salt), Digest(saltBytes, pin.data(), pin.size())};
}

bool PinMatches(const PinRecord& stored, const char* pin, size_t length) {
    std::string salt;
    if (!FromHex(stored.saltHex, salt) || stored.hashHex.empty()) return false;
    std::string h = Digest(salt, pin, length);
    return !h.empty() && h.size() == stored.hashHex.size() &&
           CRYPTO_memcmp(h.data(), stored.hashHex.data(), h.size()) == 0;
}

}  // namespace simkey
