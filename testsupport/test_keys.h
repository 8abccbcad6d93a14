#pragma once
// Keys for the tests of signed update files, as PEM text, and what tests do with
// them: trust public keys, sign a file in memory. The private keys are for these
// tests only and sign nothing that leaves them.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/update_signature.h"

extern const char kSignerAPrivate[];    // P-256, SEC1 after an EC PARAMETERS block
extern const char kSignerAPublic[];
extern const char kSignerBPrivate[];    // P-256, PKCS#8
extern const char kSignerBPublic[];
extern const char kP384Public[];        // secp384r1
extern const char kP384Private[];
extern const char kRsaPublic[];         // RSA, 1024 bits
extern const char kCompressedPublic[];  // signer A's key with its point compressed

// The keys of these PEM public keys (each one must read), as if from files named
// key1.pem, key2.pem, ...
TrustedKeys TrustedOf(std::initializer_list<const char*> publicKeys);

// The key id of a PEM public key.
std::string KeyIdOfPem(const char* publicKey);

// The file with a signature block by this PEM private key appended.
std::vector<uint8_t> SignedWith(const std::vector<uint8_t>& file, const char* privateKey);
