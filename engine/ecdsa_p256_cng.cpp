// ECDSA P-256 through the Windows cryptography primitives (CNG, bcrypt.dll):
// keys imported as ECC key blobs (the magic, the size, X, Y and, for a private
// key, d), signatures as r and s, which is CNG's own form.

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "engine/ecdsa_p256.h"

namespace {

constexpr size_t kCoordinate = 32;

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

// The algorithm provider and one key, released together.
class CngKey {
 public:
  CngKey() {
    opened = Succeeded(
        BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0));
  }
  ~CngKey() {
    if (key != nullptr) BCryptDestroyKey(key);
    if (opened) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  CngKey(const CngKey&) = delete;
  CngKey& operator=(const CngKey&) = delete;

  bool Opened() const { return opened; }

  // Imports X and Y of the point, and the secret when one is given.
  bool Import(const EcPoint& point, const EcScalar* secret) {
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = secret != nullptr ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC
                                       : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = kCoordinate;
    std::vector<uint8_t> blob(sizeof header);
    std::memcpy(blob.data(), &header, sizeof header);
    blob.insert(blob.end(), point.begin() + 1, point.end());
    if (secret != nullptr) blob.insert(blob.end(), secret->begin(), secret->end());
    return Succeeded(BCryptImportKeyPair(
        algorithm, nullptr, secret != nullptr ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
        &key, blob.data(), static_cast<ULONG>(blob.size()), 0));
  }

  BCRYPT_KEY_HANDLE Handle() const { return key; }

 private:
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  bool opened = false;
};

}  // namespace

bool IsUsableP256Key(const EcPoint& point) {
  CngKey key;
  return key.Opened() && key.Import(point, nullptr);
}

EcdsaResult VerifyEcdsaP256(const EcPoint& point, const Sha256Digest& digest,
                            const EcdsaSignature& signature) {
  CngKey key;
  if (!key.Opened()) return EcdsaResult::Failed;
  if (!key.Import(point, nullptr)) return EcdsaResult::BadKey;
  const NTSTATUS status = BCryptVerifySignature(
      key.Handle(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
      const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0);
  return Succeeded(status) ? EcdsaResult::Valid : EcdsaResult::Invalid;
}

EcdsaResult SignEcdsaP256(const EcPrivateKey& key, const Sha256Digest& digest,
                          EcdsaSignature* signature) {
  CngKey cng;
  if (!cng.Opened()) return EcdsaResult::Failed;
  if (!cng.Import(key.point, &key.secret)) return EcdsaResult::BadKey;
  ULONG written = 0;
  const NTSTATUS status = BCryptSignHash(
      cng.Handle(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
      signature->data(), static_cast<ULONG>(signature->size()), &written, 0);
  if (!Succeeded(status) || written != signature->size()) return EcdsaResult::Failed;
  // A secret that is not the point's own would sign what nobody can verify.
  return VerifyEcdsaP256(key.point, digest, *signature) == EcdsaResult::Valid ? EcdsaResult::Valid
                                                                              : EcdsaResult::BadKey;
}
