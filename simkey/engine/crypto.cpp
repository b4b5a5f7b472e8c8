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

bool RandomBytes(uint8_t* out, size_t n) {
    EnsureOpenSsl();
    return RAND_bytes(out, static_cast<int>(n)) == 1;
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
std::string PinDigest(const std::string& salt, const char* pin, size_t length) {
    Digest d("SHA256");
    std::string value;
    return d.Update(salt.data(), salt.size()) && d.Update(pin, length) && d.Final(value) ? ToHex(value) : std::string();
}
}  // namespace

PinRecord HashNewPin(const std::string& pin) {
    EnsureOpenSsl();
    uint8_t salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1) return {};
    std::string saltBytes(reinterpret_cast<char*>(salt), sizeof salt);
    return {ToHex(salt, sizeof salt), PinDigest(saltBytes, pin.data(), pin.size())};
}

bool PinMatches(const PinRecord& stored, const char* pin, size_t length) {
    std::string salt;
    if (!FromHex(stored.saltHex, salt) || stored.hashHex.empty()) return false;
    std::string h = PinDigest(salt, pin, length);
    return !h.empty() && h.size() == stored.hashHex.size() &&
           CRYPTO_memcmp(h.data(), stored.hashHex.data(), h.size()) == 0;
}

}  // namespace simkey

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace simkey {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;

constexpr char kSm2Id[] = "1234567812345678";

PkeyPtr Generate(uint32_t algorithm, uint32_t bits) {
    EnsureOpenSsl();
    if (algorithm == 2) return PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "SM2"));
    if (bits != 1024 && bits != 2048) return nullptr;
    return PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits)));
}

std::string ToPem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || !PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)) return {};
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(n));
}

PkeyPtr FromPem(const std::string& pem) {
    EnsureOpenSsl();
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return PkeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

std::string PublicKeyOf(EVP_PKEY* key) {
    if (EVP_PKEY_is_a(key, "RSA")) {
        BIGNUM* n = nullptr;
        if (!EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &n)) return {};
        BnPtr owner(n);
        std::string out(static_cast<size_t>(BN_num_bytes(n)), '\0');
        BN_bn2bin(n, reinterpret_cast<unsigned char*>(out.data()));
        return out;
    }
    unsigned char point[128];
    size_t len = 0;
    if (!EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &len)) return {};
    return std::string(reinterpret_cast<char*>(point), len);
}

std::string ToDer(X509* cert) {
    int n = i2d_X509(cert, nullptr);
    if (n <= 0) return {};
    std::string der(static_cast<size_t>(n), '\0');
    unsigned char* p = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509(cert, &p);
    return der;
}

X509Ptr FromDer(const std::string& der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

bool AddName(X509_NAME* name, const char* field, const std::string& value) {
    return value.empty() || X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                                       reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
}

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// SM2 signatures use SM3 and the default user identifier.
bool Sign(X509* cert, EVP_PKEY* caKey) {
    if (!EVP_PKEY_is_a(caKey, "SM2")) return X509_sign(cert, caKey, EVP_sha256()) > 0;
    MdCtxPtr md(EVP_MD_CTX_new());
    PkeyCtxPtr pctx(EVP_PKEY_CTX_new(caKey, nullptr));
    if (!md || !pctx || EVP_PKEY_CTX_set1_id(pctx.get(), kSm2Id, sizeof kSm2Id - 1) <= 0) return false;
    EVP_MD_CTX_set_pkey_ctx(md.get(), pctx.get());
    if (EVP_DigestSignInit(md.get(), nullptr, EVP_sm3(), nullptr, caKey) <= 0) return false;
    bool ok = X509_sign_ctx(cert, md.get()) > 0;
    EVP_MD_CTX_set_pkey_ctx(md.get(), nullptr);  // pctx is freed by its owner
    return ok;
}

bool SetSerialAndDates(X509* cert, const Validity& v) {
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) return false;
    serial[0] &= 0x7F;  // a positive number
    BnPtr bn(BN_bin2bn(serial, sizeof serial, nullptr));
    return bn && BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(cert)) &&
           X509_gmtime_adj(X509_getm_notBefore(cert), v.startDays * 86400L) &&
           X509_gmtime_adj(X509_getm_notAfter(cert), v.endDays * 86400L);
}

// Makes the CA of an algorithm: a self-signed certificate valid for 20 years.
bool MakeCa(uint32_t algorithm, std::string& keyPem, std::string& certDer) {
    PkeyPtr key = Generate(algorithm, 2048);
    X509Ptr cert(X509_new());
    if (!key || !cert) return false;
    X509_NAME* name = X509_get_subject_name(cert.get());
    bool ok = X509_set_version(cert.get(), 2) && SetSerialAndDates(cert.get(), {-1, 20 * 365}) &&
              AddName(name, "C", "CN") && AddName(name, "O", "SimKey") &&
              AddName(name, "CN", algorithm == 2 ? "SimKey Test CA SM2" : "SimKey Test CA RSA") &&
              X509_set_issuer_name(cert.get(), name) && X509_set_pubkey(cert.get(), key.get()) &&
              AddExtension(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE") &&
              AddExtension(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign") &&
              Sign(cert.get(), key.get());
    if (!ok) return false;
    keyPem = ToPem(key.get());
    certDer = ToDer(cert.get());
    return !keyPem.empty() && !certDer.empty();
}

}  // namespace

bool GeneratePair(uint32_t algorithm, uint32_t bits, GeneratedPair& out) {
    PkeyPtr key = Generate(algorithm, bits);
    if (!key) return false;
    out.privateKeyPem = ToPem(key.get());
    out.publicKey = PublicKeyOf(key.get());
    return !out.privateKeyPem.empty() && !out.publicKey.empty();
}

bool IssueCertificate(uint32_t algorithm, const std::string& subjectKeyPem, const Subject& subject,
                      const Validity& validity, uint32_t keySpec, std::string& caKeyPem, std::string& caCertDer,
                      std::string& certDer) {
    EnsureOpenSsl();
    if (caKeyPem.empty() || caCertDer.empty()) {
        if (!MakeCa(algorithm, caKeyPem, caCertDer)) return false;
    }
    PkeyPtr caKey = FromPem(caKeyPem);
    X509Ptr caCert = FromDer(caCertDer);
    PkeyPtr key = FromPem(subjectKeyPem);
    X509Ptr cert(X509_new());
    if (!caKey || !caCert || !key || !cert) return false;
    X509_NAME* name = X509_get_subject_name(cert.get());
    const char* usage = keySpec == 1 ? "critical,keyEncipherment,dataEncipherment" : "critical,digitalSignature,nonRepudiation";
    bool ok = X509_set_version(cert.get(), 2) && SetSerialAndDates(cert.get(), validity) &&
              AddName(name, "C", "CN") && AddName(name, "O", subject.o) && AddName(name, "OU", subject.ou) &&
              AddName(name, "CN", subject.cn) &&
              X509_set_issuer_name(cert.get(), X509_get_subject_name(caCert.get())) &&
              X509_set_pubkey(cert.get(), key.get()) &&
              AddExtension(cert.get(), caCert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
              AddExtension(cert.get(), caCert.get(), NID_key_usage, usage) && Sign(cert.get(), caKey.get());
    if (!ok) return false;
    certDer = ToDer(cert.get());
    return !certDer.empty();
}

}  // namespace simkey

namespace simkey {

Digest::Digest(const char* name) {
    EnsureOpenSsl();
    const EVP_MD* md = EVP_get_digestbyname(name);
    if (!md) return;
    ctx_ = EVP_MD_CTX_new();
    if (ctx_ && !EVP_DigestInit_ex(ctx_, md, nullptr)) {
        EVP_MD_CTX_free(ctx_);
        ctx_ = nullptr;
    }
}

Digest::~Digest() { EVP_MD_CTX_free(ctx_); }

bool Digest::Update(const void* data, size_t n) { return ctx_ && EVP_DigestUpdate(ctx_, data, n) == 1; }

size_t Digest::Size() const { return ctx_ ? static_cast<size_t>(EVP_MD_CTX_get_size(ctx_)) : 0; }

bool Digest::Final(std::string& value) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    if (!ctx_ || EVP_DigestFinal_ex(ctx_, md, &n) != 1) return false;
    value.assign(reinterpret_cast<char*>(md), n);
    return true;
}

bool RsaSignHash(const std::string& privateKeyPem, const char* mdName, const std::string& hash,
                 std::string& signature) {
    PkeyPtr key = FromPem(privateKeyPem);
    if (!key || !EVP_PKEY_is_a(key.get(), "RSA")) return false;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
        return false;
    if (mdName) {
        const EVP_MD* md = EVP_get_digestbyname(mdName);
        if (!md || EVP_PKEY_CTX_set_signature_md(ctx.get(), md) <= 0) return false;
    }
    size_t n = 0;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(hash.data());
    if (EVP_PKEY_sign(ctx.get(), nullptr, &n, in, hash.size()) <= 0) return false;
    signature.assign(n, '\0');
    if (EVP_PKEY_sign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &n, in, hash.size()) <= 0)
        return false;
    signature.resize(n);
    return true;
}

}  // namespace simkey
