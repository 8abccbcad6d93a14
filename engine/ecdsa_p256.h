#pragma once
// ECDSA over P-256 on a SHA-256 digest, through the platform's cryptography, as
// SHA-256 is (sha256.h): libcrypto on POSIX systems (ecdsa_p256_openssl.cpp), CNG
// (bcrypt.dll, BCryptVerifySignature and BCryptSignHash) on Windows
// (ecdsa_p256_cng.cpp); the build picks the file.

#include <array>
#include <cstdint>

#include "engine/ec_key.h"
#include "engine/sha256.h"

// A signature as r then s, big-endian, 32 bytes each (the form CNG uses).
using EcdsaSignature = std::array<uint8_t, 64>;

enum class EcdsaResult {
  Valid,
  Invalid,   // the signature is not the key's over this digest
  BadKey,    // the platform refuses the key (a point off the curve, a bad scalar)
  Failed,    // the platform cannot do it (no ECDSA, out of memory)
};

EcdsaResult VerifyEcdsaP256(const EcPoint& point, const Sha256Digest& digest,
                            const EcdsaSignature& signature);

// Whether the platform takes the point as a P-256 public key.
bool IsUsableP256Key(const EcPoint& point);

// Signs the digest. Valid with *signature filled in, or BadKey or Failed.
EcdsaResult SignEcdsaP256(const EcPrivateKey& key, const Sha256Digest& digest,
                          EcdsaSignature* signature);
