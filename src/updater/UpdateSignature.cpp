#include "UpdateSignature.h"

#include <memory>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace tv {

namespace {
constexpr qsizetype kEd25519SignatureBytes = 64;

struct FreeBio
{
    void operator()(BIO *b) const { BIO_free(b); }
};
struct FreeKey
{
    void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
struct FreeContext
{
    void operator()(EVP_MD_CTX *c) const { EVP_MD_CTX_free(c); }
};

bool verify(const uchar *data, qsizetype size, const QByteArray &signature, const QByteArray &publicKeyPem)
{
    if (!data || size <= 0 || signature.size() != kEd25519SignatureBytes || publicKeyPem.isEmpty())
        return false;
    std::unique_ptr<BIO, FreeBio> bio(BIO_new_mem_buf(publicKeyPem.constData(), int(publicKeyPem.size())));
    if (!bio) return false;
    std::unique_ptr<EVP_PKEY, FreeKey> key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    // Only the kind of key releases are signed with: no weaker algorithm slips in.
    if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) return false;
    std::unique_ptr<EVP_MD_CTX, FreeContext> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
    // Ed25519 signs the message as a whole: one call over all of it.
    return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
                            size_t(signature.size()), data, size_t(size)) == 1;
}
} // namespace

bool verifyUpdateSignature(const uchar *data, qsizetype size, const QByteArray &signature,
                           const QByteArray &publicKeyPem)
{
    const bool valid = verify(data, size, signature, publicKeyPem);
    // A refused key or signature leaves its reasons queued; the TLS layer shares the queue.
    ERR_clear_error();
    return valid;
}

} // namespace tv
