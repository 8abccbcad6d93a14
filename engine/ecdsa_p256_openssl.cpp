// ECDSA P-256 through libcrypto's EVP interface. The keys come to it as DER in
// their canonical form, rebuilt from what ec_key.cpp read, so that libcrypto
// checks the point and the scalar itself.

#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

#include "engine/ecdsa_p256.h"

namespace {

// SubjectPublicKeyInfo of a P-256 key up to its point.
const uint8_t kPublicKeyPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                    0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                    0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
// SEC1 ECPrivateKey: its start up to the scalar, then from the scalar to the point.
const uint8_t kPrivateKeyPrefix[] = {0x30, 0x77, 0x02, 0x01, 0x01, 0x04, 0x20};
const uint8_t kPrivateKeyMiddle[] = {0xA0, 0x0A, 0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE,
                                     0x3D, 0x03, 0x01, 0x07, 0xA1, 0x44, 0x03, 0x42, 0x00};

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct SignatureFree {
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_PKEY_CTX, ContextFree>;
using Signature = std::unique_ptr<ECDSA_SIG, SignatureFree>;

Key PublicKey(const EcPoint& point) {
  std::vector<uint8_t> der(std::begin(kPublicKeyPrefix), std::end(kPublicKeyPrefix));
  der.insert(der.end(), point.begin(), point.end());
  const uint8_t* at = der.data();
  return Key(d2i_PUBKEY(nullptr, &at, static_cast<long>(der.size())));
}

Key PrivateKey(const EcPrivateKey& key) {
  std::vector<uint8_t> der(std::begin(kPrivateKeyPrefix), std::end(kPrivateKeyPrefix));
  der.insert(der.end(), key.secret.begin(), key.secret.end());
  der.insert(der.end(), std::begin(kPrivateKeyMiddle), std::end(kPrivateKeyMiddle));
  der.insert(der.end(), key.point.begin(), key.point.end());
  const uint8_t* at = der.data();
  return Key(d2i_PrivateKey(EVP_PKEY_EC, nullptr, &at, static_cast<long>(der.size())));
}

// r and s as libcrypto's DER form of a signature; empty if it cannot be made.
std::vector<uint8_t> DerSignature(const EcdsaSignature& signature) {
  Signature parts(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (!parts || r == nullptr || s == nullptr || ECDSA_SIG_set0(parts.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  const int size = i2d_ECDSA_SIG(parts.get(), nullptr);
  if (size <= 0) return {};
  std::vector<uint8_t> der(static_cast<size_t>(size));
  uint8_t* at = der.data();
  i2d_ECDSA_SIG(parts.get(), &at);
  return der;
}

}  // namespace

bool IsUsableP256Key(const EcPoint& point) {
  return PublicKey(point) != nullptr;
}

EcdsaResult VerifyEcdsaP256(const EcPoint& point, const Sha256Digest& digest,
                            const EcdsaSignature& signature) {
  const Key key = PublicKey(point);
  if (!key) return EcdsaResult::BadKey;
  const std::vector<uint8_t> der = DerSignature(signature);
  const Context context(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (der.empty() || !context || EVP_PKEY_verify_init(context.get()) != 1) {
    return EcdsaResult::Failed;
  }
  // 1: valid; 0: not the key's signature; below 0: malformed (r or s out of range).
  const int verified =
      EVP_PKEY_verify(context.get(), der.data(), der.size(), digest.data(), digest.size());
  return verified == 1 ? EcdsaResult::Valid : EcdsaResult::Invalid;
}

EcdsaResult SignEcdsaP256(const EcPrivateKey& key, const Sha256Digest& digest,
                          EcdsaSignature* signature) {
  const Key privateKey = PrivateKey(key);
  if (!privateKey || !IsUsableP256Key(key.point)) return EcdsaResult::BadKey;
  const Context context(EVP_PKEY_CTX_new(privateKey.get(), nullptr));
  size_t size = 0;
  if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
      EVP_PKEY_sign(context.get(), nullptr, &size, digest.data(), digest.size()) != 1) {
    return EcdsaResult::Failed;
  }
  std::vector<uint8_t> der(size);
  if (EVP_PKEY_sign(context.get(), der.data(), &size, digest.data(), digest.size()) != 1) {
    return EcdsaResult::Failed;
  }
  const uint8_t* at = der.data();
  const Signature parts(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(size)));
  if (!parts ||
      BN_bn2binpad(ECDSA_SIG_get0_r(parts.get()), signature->data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(parts.get()), signature->data() + 32, 32) != 32) {
    return EcdsaResult::Failed;
  }
  // A secret that is not the point's own would sign what nobody can verify.
  return VerifyEcdsaP256(key.point, digest, *signature) == EcdsaResult::Valid ? EcdsaResult::Valid
                                                                              : EcdsaResult::BadKey;
}
