// Random inputs through our code and through OpenSSL; both must agree byte for byte. Runs on
// the CPU-specific kernels and on the portable code.
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>
#include <openssl/sha.h>

#include <cstring>
#include <random>

#include "crypto/aead.h"
#include "crypto/sha256.h"
#include "crypto/x25519.h"
#include "crypto_test_util.h"

namespace {

class VsOpenSsl : public BothPaths {
protected:
  std::mt19937_64 rng{0x5eed0001 + uint64_t(GetParam())};
  Bytes random(size_t n) {
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
  }
  size_t random_len(size_t max) { return size_t(rng() % (max + 1)); }
};
INSTANTIATE_BOTH_PATHS(VsOpenSsl);

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
  void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};

Bytes openssl_seal(const Bytes& key, const Bytes& nonce, const Bytes& ad, const Bytes& pt) {
  std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
  Bytes out(pt.size() + 16);
  int n = 0;
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_chacha20_poly1305(), nullptr, key.data(),
                               nonce.data()),
            1);
  if (!ad.empty()) {
    EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), nullptr, &n, ad.data(), int(ad.size())), 1);
  }
  if (!pt.empty()) {
    EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &n, pt.data(), int(pt.size())), 1);
  }
  EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), out.data() + pt.size(), &n), 1);
  EXPECT_EQ(EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, 16, out.data() + pt.size()), 1);
  return out;
}

TEST_P(VsOpenSsl, AeadSealAndTamperedOpen) {
  std::vector<size_t> lengths;
  for (int i = 0; i < 300; i++) lengths.push_back(random_len(1100));
  lengths.push_back(65536);
  lengths.push_back(65535);
  for (size_t len : lengths) {
    Bytes key = random(32), nonce = random(12), ad = random(random_len(40)), pt = random(len);
    Bytes ours(len + 16);
    ASSERT_EQ(aead_seal(key.data(), nonce.data(), ad.data(), ad.size(), pt.data(), len,
                        ours.data()),
              0);
    ASSERT_EQ(hex(ours), hex(openssl_seal(key, nonce, ad, pt))) << "len " << len;

    Bytes out(len, 0x11);
    ASSERT_EQ(aead_open(key.data(), nonce.data(), ad.data(), ad.size(), ours.data(), len,
                        out.data()),
              0);
    ASSERT_EQ(out, pt);

    Bytes bad = ours;
    size_t pos = size_t(rng() % bad.size());
    bad[pos] ^= uint8_t(1 << (rng() % 8));
    Bytes untouched(len, 0x22);
    out = untouched;
    EXPECT_EQ(aead_open(key.data(), nonce.data(), ad.data(), ad.size(), bad.data(), len,
                        out.data()),
              -1)
        << "len " << len << " flipped byte " << pos;
    EXPECT_EQ(out, untouched);
  }
}

TEST_P(VsOpenSsl, Sha256AndHmac) {
  for (int i = 0; i < 400; i++) {
    Bytes msg = random(i < 200 ? size_t(i) : random_len(5000));
    uint8_t ours[32], theirs[32];
    sha256(msg.data(), msg.size(), ours);
    SHA256(msg.data(), msg.size(), theirs);
    ASSERT_EQ(hex(ours, 32), hex(theirs, 32)) << "len " << msg.size();

    Bytes key = random(random_len(150));
    unsigned int n = 32;
    hmac_sha256(key.data(), key.size(), msg.data(), msg.size(), ours);
    HMAC(EVP_sha256(), key.data(), int(key.size()), msg.data(), msg.size(), theirs, &n);
    ASSERT_EQ(hex(ours, 32), hex(theirs, 32)) << "key " << key.size() << " msg " << msg.size();
  }
}

// RFC 5869 HKDF-SHA-256 from OpenSSL's KDF: salt = chaining key, empty info, 64 bytes.
Bytes openssl_hkdf64(const Bytes& salt, const Bytes& ikm) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  EVP_KDF_free(kdf);
  // OpenSSL refuses a missing key; a zero-length one is passed through a one-byte buffer.
  uint8_t dummy = 0;
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char*>("SHA256"), 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY,
                                        ikm.empty() ? &dummy : const_cast<uint8_t*>(ikm.data()),
                                        ikm.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<uint8_t*>(salt.data()),
                                        salt.size()),
      OSSL_PARAM_construct_end()};
  Bytes out(64);
  EXPECT_EQ(EVP_KDF_derive(ctx, out.data(), out.size(), params), 1) << "ikm " << ikm.size();
  EVP_KDF_CTX_free(ctx);
  return out;
}

TEST_P(VsOpenSsl, Hkdf2) {
  for (size_t ikm_len : {0u, 1u, 32u, 33u, 64u, 65u, 200u}) {
    Bytes ck = random(32), ikm = random(ikm_len);
    uint8_t out[64];
    hkdf2(ck.data(), ikm.data(), ikm.size(), out, out + 32);
    EXPECT_EQ(hex(out, 64), hex(openssl_hkdf64(ck, ikm))) << "ikm " << ikm_len;
  }
}

Bytes openssl_x25519(const Bytes& scalar, const Bytes& u, bool* ok) {
  std::unique_ptr<EVP_PKEY, CtxFree> priv(
      EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, scalar.data(), 32));
  std::unique_ptr<EVP_PKEY, CtxFree> peer(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, u.data(), 32));
  std::unique_ptr<EVP_PKEY_CTX, CtxFree> ctx(EVP_PKEY_CTX_new(priv.get(), nullptr));
  Bytes out(32);
  size_t n = 32;
  *ok = ctx && EVP_PKEY_derive_init(ctx.get()) == 1 &&
        EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) == 1 &&
        EVP_PKEY_derive(ctx.get(), out.data(), &n) == 1 && n == 32;
  return out;
}

TEST_P(VsOpenSsl, X25519RandomScalarsAndPoints) {
  for (int i = 0; i < 60; i++) {
    Bytes scalar = random(32), u = random(32);
    uint8_t ours[32];
    int r = x25519(ours, scalar.data(), u.data());
    bool ok = false;
    Bytes theirs = openssl_x25519(scalar, u, &ok);
    ASSERT_TRUE(ok);  // a random point is of low order only with negligible chance
    EXPECT_EQ(r, 0);
    EXPECT_EQ(hex(ours, 32), hex(theirs));

    // Public keys agree too.
    std::unique_ptr<EVP_PKEY, CtxFree> priv(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, scalar.data(), 32));
    uint8_t pub_theirs[32];
    size_t n = 32;
    ASSERT_EQ(EVP_PKEY_get_raw_public_key(priv.get(), pub_theirs, &n), 1);
    uint8_t pub_ours[32];
    x25519_base(pub_ours, scalar.data());
    EXPECT_EQ(hex(pub_ours, 32), hex(pub_theirs, 32));
  }
}

}  // namespace
