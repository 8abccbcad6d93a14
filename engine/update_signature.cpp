#include "engine/update_signature.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "xsvf/hex_digit.h"

namespace {

using upd::HexDigitValue;

constexpr size_t kMarkerSize = sizeof kSignatureMarker - 1;
constexpr size_t kFormatAt = kMarkerSize;
constexpr size_t kKeyIdAt = kFormatAt + 3;
constexpr size_t kSignatureAt = kKeyIdAt + kKeyIdDigits + 1;

static_assert(kSignatureAt + 2 * sizeof(EcdsaSignature) + 2 == kSignatureBlockSize,
              "marker, format and blank, key id and blank, signature, CR LF");

int LowerHexValue(uint8_t c) {
  return c >= 'A' && c <= 'F' ? -1 : HexDigitValue(c);
}

bool StartsWith(const uint8_t* bytes, size_t count, const char* prefix, size_t prefixSize) {
  return count >= prefixSize && std::memcmp(bytes, prefix, prefixSize) == 0;
}

// Reads the bytes of a block whose marker is in place. "" or the fault.
std::string ReadBlock(const uint8_t* bytes, SignatureBlock* block) {
  const int high = HexDigitValue(bytes[kFormatAt]);
  const int low = HexDigitValue(bytes[kFormatAt + 1]);
  if (high < 0 || low < 0) return MessageText(MsgUnreadableSignature);
  const unsigned format = static_cast<unsigned>(high * 16 + low);
  if (format != kSignatureFormat) return FormatMessageText(MsgUnknownSignatureFormat, format);
  if (bytes[kKeyIdAt - 1] != ' ' || bytes[kSignatureAt - 1] != ' ' ||
      bytes[kSignatureBlockSize - 2] != '\r' || bytes[kSignatureBlockSize - 1] != '\n') {
    return MessageText(MsgUnreadableSignature);
  }
  for (size_t i = 0; i < kKeyIdDigits; ++i) {
    if (LowerHexValue(bytes[kKeyIdAt + i]) < 0) return MessageText(MsgUnreadableSignature);
  }
  block->keyId.assign(reinterpret_cast<const char*>(bytes + kKeyIdAt), kKeyIdDigits);
  for (size_t i = 0; i < block->signature.size(); ++i) {
    const int digitHigh = LowerHexValue(bytes[kSignatureAt + 2 * i]);
    const int digitLow = LowerHexValue(bytes[kSignatureAt + 2 * i + 1]);
    if (digitHigh < 0 || digitLow < 0) return MessageText(MsgUnreadableSignature);
    block->signature[i] = static_cast<uint8_t>(digitHigh * 16 + digitLow);
  }
  return "";
}

// Whether the copy holds these marker bytes at `offset`.
bool MarkerAt(const UpdateFileCopy& file, uint64_t offset, const char* marker, size_t size) {
  uint8_t bytes[32];
  return offset + size <= file.Size() && file.ReadAt(offset, bytes, size) == size &&
         std::memcmp(bytes, marker, size) == 0;
}

}  // namespace

std::string SignatureBlockText(const SignatureBlock& block) {
  char format[8];
  std::snprintf(format, sizeof format, "%02X ", kSignatureFormat);
  static const char kDigits[] = "0123456789abcdef";
  std::string signature;
  for (uint8_t byte : block.signature) {
    signature += kDigits[byte >> 4];
    signature += kDigits[byte & 0x0F];
  }
  return kSignatureMarker + std::string(format) + block.keyId + " " + signature + "\r\n";
}

SignaturePlace FindSignatureBlock(const UpdateFileCopy& file) {
  SignaturePlace place;
  place.start = file.Size();
  if (file.Size() < kSignatureBlockSize) return place;
  const uint64_t start = file.Size() - kSignatureBlockSize;
  uint8_t bytes[kSignatureBlockSize];
  if (file.ReadAt(start, bytes, kSignatureBlockSize) != kSignatureBlockSize ||
      !StartsWith(bytes, kSignatureBlockSize, kSignatureMarker, kMarkerSize)) {
    return place;
  }
  place.present = true;
  place.start = start;
  place.fault = ReadBlock(bytes, &place.block);
  if (!place.fault.empty()) return place;
  if (start >= kSignatureBlockSize &&
      MarkerAt(file, start - kSignatureBlockSize, kSignatureMarker, kMarkerSize)) {
    place.fault = MessageText(MsgSignatureRepeated);
  } else if (start < kTrailerSize ||
             !MarkerAt(file, start - kTrailerSize, kTrailerMarker, sizeof kTrailerMarker - 1)) {
    place.fault = MessageText(MsgSignatureWithoutTrailer);
  }
  return place;
}

std::string SignatureFaultAmong(const UpdateFileCopy& file, uint64_t from, uint64_t to,
                                const SignaturePlace& place) {
  // The last marker among the bytes, found through a window of the marker's size.
  FileCursor bytes(file, from);
  std::string window;
  uint64_t last = to;
  for (uint64_t at = from; at < to; ++at) {
    const int c = bytes.Get();
    if (c == EOF) break;
    window += static_cast<char>(c);
    if (window.size() > kMarkerSize) window.erase(0, 1);
    if (window == kSignatureMarker) last = at + 1 - kMarkerSize;
  }
  if (last == to) return "";
  if (place.present) return MessageText(MsgSignatureRepeated);
  const uint64_t remaining = file.Size() - last;
  if (remaining < kSignatureBlockSize) {
    return FormatMessageText(MsgSignatureCutOff, static_cast<unsigned long>(remaining),
                             static_cast<unsigned long>(kSignatureBlockSize));
  }
  return FormatMessageText(MsgBytesAfterSignature,
                           static_cast<unsigned long>(remaining - kSignatureBlockSize));
}

const TrustedKey* TrustedKeys::Find(const std::string& id) const {
  for (const TrustedKey& key : keys) {
    if (key.id == id) return &key;
  }
  return nullptr;
}

bool AddTrustedKeyFile(const std::string& path, bool followLink, TrustedKeys* trusted,
                       std::string* message) {
  std::string text;
  std::string reason;
  TrustedKey key;
  key.path = path;
  if (ReadKeyFile(path, followLink, &text, &reason) &&
      ParsePublicKeyPem(text, &key.point, &reason)) {
    if (!IsUsableP256Key(key.point)) {
      reason = MessageText(MsgKeyNotOnCurve);
    } else {
      key.id = KeyIdOf(key.point);
      if (key.id.empty()) reason = MessageText(MsgNoSha256);
    }
  }
  if (key.id.empty()) {
    *message = FormatMessageText(MsgTrustedKeyUnusable, path.c_str(), reason.c_str());
    return false;
  }
  trusted->keys.push_back(key);
  return true;
}

bool AddTrustedKeysFolder(const std::string& folder, TrustedKeys* trusted, std::string* message) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::symlink_status(folder, error).type() == fs::file_type::not_found) return true;
  std::vector<fs::path> files;
  fs::directory_iterator entries(folder, error);
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    const fs::path& name = entries->path();
    if (name.extension() != ".pem") continue;
    if (files.size() == kMaxTrustedKeys) {
      *message = FormatMessageText(MsgTooManyKeys, folder.c_str(), kMaxTrustedKeys);
      return false;
    }
    files.push_back(name);
  }
  if (error) {
    *message = FormatMessageText(MsgKeysFolderUnreadable, folder.c_str(), error.message().c_str());
    return false;
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    if (!AddTrustedKeyFile(file.string(), false, trusted, message)) return false;
  }
  return true;
}

SignatureCheck CheckSignature(const UpdateFileCopy& file, const SignaturePlace& place,
                              const TrustedKeys& trusted) {
  SignatureCheck check;
  if (!place.present) return check;
  check.keyId = place.block.keyId;
  const TrustedKey* key = trusted.Find(place.block.keyId);
  if (key == nullptr) {
    check.state = SignatureState::UntrustedKey;
    return check;
  }
  check.keyPath = key->path;
  Sha256Digest digest{};
  if (!Sha256OfCopy(file, place.start, &digest)) {
    check.state = SignatureState::Unchecked;
    return check;
  }
  switch (VerifyEcdsaP256(key->point, digest, place.block.signature)) {
    case EcdsaResult::Valid: check.state = SignatureState::Trusted; break;
    case EcdsaResult::Invalid: check.state = SignatureState::Mismatch; break;
    case EcdsaResult::BadKey:
    case EcdsaResult::Failed: check.state = SignatureState::Unchecked; break;
  }
  return check;
}

std::string SignatureStateText(const SignatureCheck& signature) {
  const char* id = signature.keyId.c_str();
  switch (signature.state) {
    case SignatureState::Unsigned: return MessageText(MsgStateUnsigned);
    case SignatureState::Trusted: return FormatMessageText(MsgStateTrusted, id);
    case SignatureState::UntrustedKey: return FormatMessageText(MsgStateUntrusted, id);
    case SignatureState::Mismatch: return FormatMessageText(MsgStateMismatch, id);
    case SignatureState::Unchecked: return FormatMessageText(MsgStateUnchecked, id);
  }
  return "";
}

const char* SignatureStateName(SignatureState state) {
  switch (state) {
    case SignatureState::Unsigned: return "none";
    case SignatureState::Trusted: return "trusted";
    case SignatureState::UntrustedKey: return "untrusted";
    case SignatureState::Mismatch: return "mismatch";
    case SignatureState::Unchecked: return "unchecked";
  }
  return "";
}

std::string SignatureRefusal(const SignatureCheck& signature, const TrustedKeys& trusted,
                             const std::string& path, std::string* detail) {
  detail->clear();
  switch (signature.state) {
    case SignatureState::Trusted:
      return "";
    case SignatureState::Mismatch:
      return FormatMessageText(MsgSignatureMismatch, path.c_str());
    case SignatureState::Unchecked:
      *detail = MessageText(MsgNoEcdsa);
      return FormatMessageText(MsgSignatureNotCheckable, path.c_str());
    case SignatureState::Unsigned:
      return trusted.Empty() ? "" : FormatMessageText(MsgNotSigned, path.c_str());
    case SignatureState::UntrustedKey:
      return trusted.Empty() ? ""
                             : FormatMessageText(MsgSignedByUnknownKey, path.c_str(),
                                                 signature.keyId.c_str());
  }
  return "";
}

bool SignCopy(const UpdateFileCopy& file, uint64_t signedLength, const EcPrivateKey& key,
              SignatureBlock* block, std::string* reason) {
  Sha256Digest digest{};
  if (!Sha256OfCopy(file, signedLength, &digest)) {
    *reason = MessageText(MsgNoSha256);
    return false;
  }
  block->keyId = KeyIdOf(key.point);
  if (SignEcdsaP256(key, digest, &block->signature) != EcdsaResult::Valid) {
    *reason = MessageText(MsgKeyCannotSign);
    return false;
  }
  return true;
}
