#include "engine/ec_key.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/messages.h"

namespace {

// DER tags.
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kBitString = 0x03;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kOid = 0x06;
constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kContext0 = 0xA0;
constexpr uint8_t kContext1 = 0xA1;

// Object identifiers, as their DER contents.
const std::vector<uint8_t> kOidEcPublicKey = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
const std::vector<uint8_t> kOidPrime256v1 = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
const std::vector<uint8_t> kOidRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7,
                                                0x0D, 0x01, 0x01, 0x01};

// A stretch of DER bytes read element by element. Every length is checked
// against what is left before anything is taken.
class DerReader {
 public:
  DerReader(const uint8_t* data, size_t size) : at(data), end(data + size) {}

  bool AtEnd() const { return at == end; }
  bool NextIs(uint8_t tag) const { return at != end && *at == tag; }

  // Takes the next element, which must have this tag; its contents go to *inner.
  bool Take(uint8_t tag, DerReader* inner) {
    if (at == end || *at != tag) return false;
    const uint8_t* p = at + 1;
    if (p == end) return false;
    size_t length = *p++;
    if (length >= 0x80) {
      // Long form: one or two length bytes, used only where the short form cannot be.
      const size_t count = length - 0x80;
      if (count < 1 || count > 2 || static_cast<size_t>(end - p) < count) return false;
      length = 0;
      for (size_t i = 0; i < count; ++i) length = length * 256 + *p++;
      if (length < 0x80 || (count == 2 && length < 0x100)) return false;
    }
    if (static_cast<size_t>(end - p) < length) return false;
    *inner = DerReader(p, length);
    at = p + length;
    return true;
  }

  // Takes an element whose contents must be exactly these bytes.
  bool TakeExactly(uint8_t tag, const std::vector<uint8_t>& contents) {
    DerReader inner(nullptr, 0);
    return Take(tag, &inner) && inner.Is(contents);
  }

  bool Is(const std::vector<uint8_t>& contents) const {
    return static_cast<size_t>(end - at) == contents.size() &&
           std::equal(contents.begin(), contents.end(), at);
  }
  size_t Size() const { return static_cast<size_t>(end - at); }
  const uint8_t* Data() const { return at; }

 private:
  const uint8_t* at;
  const uint8_t* end;
};

// One PEM block: its label and its base64 body decoded.
struct PemBlock {
  std::string label;
  std::vector<uint8_t> der;
};

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict base64: groups of four, '=' only to pad the last one.
bool DecodeBase64(const std::string& text, std::vector<uint8_t>* bytes) {
  if (text.empty() || text.size() % 4 != 0) return false;
  for (size_t group = 0; group < text.size(); group += 4) {
    const bool last = group + 4 == text.size();
    size_t padding = 0;
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
      const char c = text[group + i];
      if (c == '=' && last && i >= 2) {
        ++padding;
        value <<= 6;
        continue;
      }
      const int digit = Base64Value(c);
      if (digit < 0 || padding > 0) return false;
      value = value << 6 | static_cast<uint32_t>(digit);
    }
    bytes->push_back(static_cast<uint8_t>(value >> 16));
    if (padding < 2) bytes->push_back(static_cast<uint8_t>(value >> 8));
    if (padding < 1) bytes->push_back(static_cast<uint8_t>(value));
  }
  return true;
}

std::string WithoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

// The label of a "-----BEGIN LABEL-----" or "-----END LABEL-----" line, or "".
std::string PemLabel(const std::string& line, const char* word) {
  const std::string start = std::string("-----") + word + " ";
  const std::string finish = "-----";
  if (line.size() <= start.size() + finish.size() || line.compare(0, start.size(), start) != 0 ||
      line.compare(line.size() - finish.size(), finish.size(), finish) != 0) {
    return "";
  }
  return line.substr(start.size(), line.size() - start.size() - finish.size());
}

// Every PEM block of the text. Lines outside blocks are passed over, as the
// ordinary tools pass them over; inside a block only base64 lines stand before
// its END line with the same label. False for a block that is malformed.
bool ReadPemBlocks(const std::string& text, std::vector<PemBlock>* blocks) {
  size_t at = 0;
  PemBlock* open = nullptr;
  std::string body;
  while (at < text.size()) {
    size_t next = text.find('\n', at);
    if (next == std::string::npos) next = text.size();
    const std::string line = WithoutLineEnd(text.substr(at, next - at));
    at = next + 1;
    if (open == nullptr) {
      const std::string label = PemLabel(line, "BEGIN");
      if (label.empty()) continue;
      blocks->push_back(PemBlock{label, {}});
      open = &blocks->back();
      body.clear();
    } else if (line.compare(0, 5, "-----") == 0) {
      if (PemLabel(line, "END") != open->label || !DecodeBase64(body, &open->der)) return false;
      open = nullptr;
    } else {
      body += line;
    }
  }
  return open == nullptr;
}

// The one block with this label; false when there is none or more than one.
const PemBlock* OnlyBlock(const std::vector<PemBlock>& blocks, const std::string& label) {
  const PemBlock* found = nullptr;
  for (const PemBlock& block : blocks) {
    if (block.label != label) continue;
    if (found != nullptr) return nullptr;
    found = &block;
  }
  return found;
}

bool HasBlock(const std::vector<PemBlock>& blocks, const std::string& label) {
  for (const PemBlock& block : blocks) {
    if (block.label == label) return true;
  }
  return false;
}

bool Refuse(std::string* reason, int message) {
  *reason = MessageText(message);
  return false;
}

// The algorithm of a key: SEQUENCE { OID algorithm, parameters }. True for
// id-ecPublicKey on prime256v1; else false with the reason.
bool ReadP256Algorithm(DerReader& outer, std::string* reason) {
  DerReader algorithm(nullptr, 0);
  DerReader oid(nullptr, 0);
  if (!outer.Take(kSequence, &algorithm) || !algorithm.Take(kOid, &oid)) {
    return Refuse(reason, MsgKeyBadDer);
  }
  if (oid.Is(kOidRsaEncryption)) return Refuse(reason, MsgKeyRsa);
  if (!oid.Is(kOidEcPublicKey)) return Refuse(reason, MsgKeyOtherKind);
  DerReader curve(nullptr, 0);
  if (!algorithm.Take(kOid, &curve) || !algorithm.AtEnd()) return Refuse(reason, MsgKeyBadDer);
  if (!curve.Is(kOidPrime256v1)) return Refuse(reason, MsgKeyOtherCurve);
  return true;
}

// A BIT STRING that holds an uncompressed P-256 point.
bool ReadPoint(DerReader& bits, EcPoint* point, std::string* reason) {
  if (bits.Size() == 34 && bits.Data()[0] == 0 && (bits.Data()[1] == 2 || bits.Data()[1] == 3)) {
    return Refuse(reason, MsgKeyCompressed);
  }
  if (bits.Size() != 1 + point->size() || bits.Data()[0] != 0 || bits.Data()[1] != 0x04) {
    return Refuse(reason, MsgKeyBadDer);
  }
  std::memcpy(point->data(), bits.Data() + 1, point->size());
  return true;
}

bool ReadSubjectPublicKeyInfo(const std::vector<uint8_t>& der, EcPoint* point,
                              std::string* reason) {
  DerReader whole(der.data(), der.size());
  DerReader info(nullptr, 0);
  if (!whole.Take(kSequence, &info) || !whole.AtEnd()) return Refuse(reason, MsgKeyBadDer);
  if (!ReadP256Algorithm(info, reason)) return false;
  DerReader bits(nullptr, 0);
  if (!info.Take(kBitString, &bits) || !info.AtEnd()) return Refuse(reason, MsgKeyBadDer);
  return ReadPoint(bits, point, reason);
}

// SEC1's ECPrivateKey. `curveKnown`: the curve was named around it (PKCS#8), so
// its own [0] may be left out.
bool ReadEcPrivateKey(const uint8_t* data, size_t size, bool curveKnown, EcPrivateKey* key,
                      std::string* reason) {
  DerReader whole(data, size);
  DerReader sec1(nullptr, 0);
  DerReader secret(nullptr, 0);
  if (!whole.Take(kSequence, &sec1) || !whole.AtEnd() || !sec1.TakeExactly(kInteger, {1}) ||
      !sec1.Take(kOctetString, &secret)) {
    return Refuse(reason, MsgKeyBadDer);
  }
  if (sec1.NextIs(kContext0)) {
    DerReader parameters(nullptr, 0);
    DerReader curve(nullptr, 0);
    if (!sec1.Take(kContext0, &parameters) || !parameters.Take(kOid, &curve) ||
        !parameters.AtEnd()) {
      return Refuse(reason, MsgKeyBadDer);
    }
    if (!curve.Is(kOidPrime256v1)) return Refuse(reason, MsgKeyOtherCurve);
  } else if (!curveKnown) {
    return Refuse(reason, MsgKeyBadDer);
  }
  // The scalar's size is the curve's: known to be P-256 only now.
  if (secret.Size() != key->secret.size()) return Refuse(reason, MsgKeyBadDer);
  std::memcpy(key->secret.data(), secret.Data(), key->secret.size());
  if (!sec1.NextIs(kContext1)) return Refuse(reason, MsgKeyWithoutPoint);
  DerReader publicKey(nullptr, 0);
  DerReader bits(nullptr, 0);
  if (!sec1.Take(kContext1, &publicKey) || !publicKey.Take(kBitString, &bits) ||
      !publicKey.AtEnd() || !sec1.AtEnd()) {
    return Refuse(reason, MsgKeyBadDer);
  }
  return ReadPoint(bits, &key->point, reason);
}

// PKCS#8's PrivateKeyInfo around a SEC1 key (attributes after it are allowed).
bool ReadPkcs8(const std::vector<uint8_t>& der, EcPrivateKey* key, std::string* reason) {
  DerReader whole(der.data(), der.size());
  DerReader info(nullptr, 0);
  if (!whole.Take(kSequence, &info) || !whole.AtEnd() || !info.TakeExactly(kInteger, {0})) {
    return Refuse(reason, MsgKeyBadDer);
  }
  if (!ReadP256Algorithm(info, reason)) return false;
  DerReader inner(nullptr, 0);
  if (!info.Take(kOctetString, &inner)) return Refuse(reason, MsgKeyBadDer);
  return ReadEcPrivateKey(inner.Data(), inner.Size(), true, key, reason);
}

}  // namespace

bool ParsePublicKeyPem(const std::string& text, EcPoint* point, std::string* reason) {
  std::vector<PemBlock> blocks;
  if (!ReadPemBlocks(text, &blocks)) return Refuse(reason, MsgKeyBadPem);
  if (HasBlock(blocks, "RSA PUBLIC KEY")) return Refuse(reason, MsgKeyRsa);
  if (HasBlock(blocks, "EC PRIVATE KEY") || HasBlock(blocks, "PRIVATE KEY")) {
    return Refuse(reason, MsgKeyIsPrivate);
  }
  if (blocks.size() != 1) return Refuse(reason, MsgKeyNotPublicPem);
  const PemBlock* block = OnlyBlock(blocks, "PUBLIC KEY");
  if (block == nullptr) return Refuse(reason, MsgKeyNotPublicPem);
  return ReadSubjectPublicKeyInfo(block->der, point, reason);
}

bool ParsePrivateKeyPem(const std::string& text, EcPrivateKey* key, std::string* reason) {
  std::vector<PemBlock> blocks;
  if (!ReadPemBlocks(text, &blocks)) return Refuse(reason, MsgKeyBadPem);
  if (HasBlock(blocks, "RSA PRIVATE KEY")) return Refuse(reason, MsgKeyRsa);
  // openssl ecparam -genkey writes the curve's parameters in a block before the key.
  size_t keyBlocks = 0;
  for (const PemBlock& block : blocks) keyBlocks += block.label != "EC PARAMETERS";
  if (keyBlocks != 1) return Refuse(reason, MsgKeyNotPrivatePem);
  if (const PemBlock* sec1 = OnlyBlock(blocks, "EC PRIVATE KEY")) {
    return ReadEcPrivateKey(sec1->der.data(), sec1->der.size(), false, key, reason);
  }
  if (const PemBlock* pkcs8 = OnlyBlock(blocks, "PRIVATE KEY")) return ReadPkcs8(pkcs8->der, key, reason);
  return Refuse(reason, MsgKeyNotPrivatePem);
}

bool ReadKeyFile(const std::string& path, bool followLink, std::string* text,
                 std::string* reason) {
  std::error_code error;
  const std::filesystem::file_status status = followLink
                                                  ? std::filesystem::status(path, error)
                                                  : std::filesystem::symlink_status(path, error);
  if (error) {
    *reason = FormatMessageText(MsgKeyUnreadable, error.message().c_str());
    return false;
  }
  if (status.type() != std::filesystem::file_type::regular) {
    return Refuse(reason, MsgKeyNotRegularFile);
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *reason = FormatMessageText(MsgKeyUnreadable, std::strerror(errno));
    return false;
  }
  std::vector<char> bytes(kMaxKeyFileSize + 1);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const size_t count = static_cast<size_t>(file.gcount());
  if (file.bad()) {
    *reason = FormatMessageText(MsgKeyUnreadable, std::strerror(errno));
    return false;
  }
  if (count > kMaxKeyFileSize) {
    *reason = FormatMessageText(MsgKeyTooLarge, static_cast<unsigned>(kMaxKeyFileSize));
    return false;
  }
  text->assign(bytes.data(), count);
  return true;
}

std::string KeyIdOf(const EcPoint& point) {
  Sha256 hash;
  hash.Update(point.data(), point.size());
  Sha256Digest digest{};
  if (!hash.Finish(&digest)) return "";
  return Sha256Hex(digest).substr(0, kKeyIdDigits);
}
