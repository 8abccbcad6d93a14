// SHA-256 through libcrypto's digest interface (EVP).

#include <openssl/evp.h>

#include "engine/sha256.h"

struct Sha256::Platform {
  EVP_MD_CTX* context = nullptr;
  bool failed = false;
};

Sha256::Sha256() : platform(std::make_unique<Platform>()) {
  platform->context = EVP_MD_CTX_new();
  platform->failed = platform->context == nullptr ||
                     EVP_DigestInit_ex(platform->context, EVP_sha256(), nullptr) != 1;
}

Sha256::~Sha256() {
  EVP_MD_CTX_free(platform->context);
}

void Sha256::Update(const void* data, size_t count) {
  if (platform->failed || count == 0) return;
  platform->failed = EVP_DigestUpdate(platform->context, data, count) != 1;
}

bool Sha256::Finish(Sha256Digest* digest) {
  if (platform->failed) return false;
  platform->failed = true;  // a finished context takes nothing more
  unsigned int size = 0;
  return EVP_DigestFinal_ex(platform->context, digest->data(), &size) == 1 &&
         size == digest->size();
}
