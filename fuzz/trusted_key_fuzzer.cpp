// Key files on arbitrary text, as update-cli and the window read trusted public
// keys and mkupd reads its signing key: PEM blocks, base64, and the DER of a
// SubjectPublicKeyInfo, a SEC1 or a PKCS#8 private key. Besides crashes and
// undefined behaviour it reports a refusal without a reason and a key taken whose
// point is not in the uncompressed form.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/ec_key.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxKeyFileSize) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string reason;
  EcPoint point{};
  if (ParsePublicKeyPem(text, &point, &reason)) {
    FuzzCheck(point[0] == 0x04, "a public key taken is an uncompressed point");
  } else {
    FuzzCheck(!reason.empty(), "a public key refused says why");
  }
  reason.clear();
  EcPrivateKey key;
  if (ParsePrivateKeyPem(text, &key, &reason)) {
    FuzzCheck(key.point[0] == 0x04, "a private key taken carries an uncompressed point");
  } else {
    FuzzCheck(!reason.empty(), "a private key refused says why");
  }
  return 0;
}
