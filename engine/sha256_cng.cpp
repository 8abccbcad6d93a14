// SHA-256 through the Windows cryptography primitives (CNG, bcrypt.dll).

#include <windows.h>
#include <bcrypt.h>

#include <climits>

#include "engine/sha256.h"

namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

}  // namespace

struct Sha256::Platform {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool failed = false;
};

Sha256::Sha256() : platform(std::make_unique<Platform>()) {
  // With no hash object buffer given, CNG allocates and frees its own.
  platform->failed =
      !Succeeded(BCryptOpenAlgorithmProvider(&platform->algorithm, BCRYPT_SHA256_ALGORITHM,
                                             nullptr, 0)) ||
      !Succeeded(BCryptCreateHash(platform->algorithm, &platform->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
  if (platform->hash != nullptr) BCryptDestroyHash(platform->hash);
  if (platform->algorithm != nullptr) BCryptCloseAlgorithmProvider(platform->algorithm, 0);
}

void Sha256::Update(const void* data, size_t count) {
  // BCryptHashData takes at most a ULONG's worth of bytes at a time.
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (!platform->failed && count > 0) {
    const ULONG piece = count > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(count);
    platform->failed =
        !Succeeded(BCryptHashData(platform->hash, const_cast<PUCHAR>(bytes), piece, 0));
    bytes += piece;
    count -= piece;
  }
}

bool Sha256::Finish(Sha256Digest* digest) {
  if (platform->failed) return false;
  platform->failed = true;  // a finished hash takes nothing more
  return Succeeded(BCryptFinishHash(platform->hash, digest->data(),
                                    static_cast<ULONG>(digest->size()), 0));
}
