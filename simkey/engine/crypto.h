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

bool RandomBytes(uint8_t* out, size_t n);

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

namespace simkey {

// A key pair made on the simulated key.
struct GeneratedPair {
    std::string privateKeyPem;  // PKCS #8
    std::string publicKey;      // RSA modulus (big-endian) or SM2 point 04 || X || Y
};
// algorithm 1 RSA (bits 1024 or 2048), 2 SM2. False when OpenSSL fails.
bool GeneratePair(uint32_t algorithm, uint32_t bits, GeneratedPair& out);

// Subject of an issued certificate.
struct Subject {
    std::string cn, o, ou;
};
struct Validity {
    long startDays = -1;   // notBefore relative to now
    long endDays = 730;    // notAfter relative to now
};

// Issues a certificate for the pair from the test CA of its algorithm
// (RSA pairs: an RSA CA signing with SHA-256; SM2 pairs: an SM2 CA signing
// with SM3 and the default user identifier). Makes the CA into caKeyPem /
// caCertDer when they are empty. Answers the certificate's DER.
bool IssueCertificate(uint32_t algorithm, const std::string& subjectKeyPem, const Subject& subject,
                      const Validity& validity, uint32_t keySpec, std::string& caKeyPem, std::string& caCertDer,
                      std::string& certDer);

}  // namespace simkey

struct evp_md_ctx_st;  // OpenSSL's digest context

namespace simkey {

// A running digest ("SHA1", "MD5", "SHA256", "SHA384", "SHA512", "SM3").
class Digest {
public:
    explicit Digest(const char* name);
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;
    ~Digest();
    bool ok() const { return ctx_ != nullptr; }
    bool Update(const void* data, size_t n);
    // The value; the digest cannot be updated afterwards.
    bool Final(std::string& value);
    size_t Size() const;

private:
    ::evp_md_ctx_st* ctx_ = nullptr;
};

// RSA PKCS #1 v1.5 signature of a hash value with the private key; mdName
// selects the DigestInfo (nullptr: the value is signed as it is, as for
// the SSL3 SHA1+MD5 hash). The signature is big-endian.
bool RsaSignHash(const std::string& privateKeyPem, const char* mdName, const std::string& hash,
                 std::string& signature);

}  // namespace simkey
