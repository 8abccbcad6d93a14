#pragma once
// SHA-256 of a stream of bytes, fed piece by piece so that a large file is hashed
// without being held in memory. The platform computes it: libcrypto on POSIX
// systems (sha256_openssl.cpp), the Windows CNG primitives on Windows
// (sha256_cng.cpp); the build picks the file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Adds the next `count` bytes.
  void Update(const void* data, size_t count);
  // The digest of everything added. False if the platform failed at any step (it
  // has no hash algorithm, or ran out of memory); no digest is given then. The
  // object takes no more bytes afterwards.
  bool Finish(Sha256Digest* digest);

 private:
  struct Platform;
  std::unique_ptr<Platform> platform;
};

// The digest as 64 lower-case hex digits, as sha256sum prints it.
std::string Sha256Hex(const Sha256Digest& digest);

// The digest of a whole file, read in pieces. False if the file cannot be read or
// the platform fails.
bool Sha256OfFile(const std::string& path, Sha256Digest* digest);
