#pragma once
// Signed update files: the signature block, the trusted keys, and the rule that
// decides whether a file may reach the device.
//
// Signature block. A signed file ends in it, right after the checksum trailer
// (update_file.h); it is the last 175 bytes of the file, all ASCII text:
//
//   offset  size  bytes
//        0    25  marker: Firmwareupdate-Signature-
//       25     2  block format, two hex digits: 01
//       27     1  a blank
//       28    16  key id, 16 lower-case hex digits: the first 8 bytes of the
//                 SHA-256 of the signing key's 65-byte uncompressed public point
//                 (04, X, Y)
//       44     1  a blank
//       45   128  the ECDSA P-256 signature over the SHA-256 of every byte of the
//                 file before the block (header, records, closing 00, the checksum
//                 trailer): r then s, 32 bytes each, big-endian, as 128 lower-case
//                 hex digits
//      173     2  CR LF
//
// The checksum trailer stands right before the block, so a signed file is a
// file with a trailer and the block after it; a block without a trailer before
// it, a block cut off, repeated or followed by other bytes is refused.
//
// The rule. With at least one trusted key, a file must carry a valid signature
// by one of them, or it is refused before the device is touched: unsigned,
// signed by a key that is not trusted, or a signature that does not match the
// file. With none, unsigned files update as ever and a signed file is reported
// as signed by a key that is not trusted.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/ec_key.h"
#include "engine/ecdsa_p256.h"
#include "engine/update_file_copy.h"

constexpr char kSignatureMarker[] = "Firmwareupdate-Signature-";
constexpr size_t kSignatureBlockSize = 175;
constexpr unsigned kSignatureFormat = 1;

struct SignatureBlock {
  std::string keyId;  // 16 lower-case hex digits
  EcdsaSignature signature{};
};

// The block's text, kSignatureBlockSize bytes.
std::string SignatureBlockText(const SignatureBlock& block);

// Where a file's signature block stands and what it says, read strictly.
struct SignaturePlace {
  bool present = false;  // the file's last kSignatureBlockSize bytes begin with the marker
  uint64_t start = 0;    // where the block starts: the signed bytes end here (the file's size when none)
  SignatureBlock block;
  std::string fault;  // a block that cannot be taken: why (messages 306 to 309)
};

// Looks at the end of the copy for a signature block: present, readable, of a
// known format, not repeated and with a checksum trailer before it.
SignaturePlace FindSignatureBlock(const UpdateFileCopy& file);

// Among the bytes in [from, to) that the reader found where only white space
// may stand, a signature block that is cut off or followed by other bytes: the
// fault (messages 304 to 306), or "" when they hold no signature marker.
std::string SignatureFaultAmong(const UpdateFileCopy& file, uint64_t from, uint64_t to,
                                const SignaturePlace& place);

// A public key that signed files are checked against.
struct TrustedKey {
  std::string path;  // the file it was read from
  EcPoint point{};
  std::string id;
};

struct TrustedKeys {
  std::vector<TrustedKey> keys;

  bool Empty() const { return keys.empty(); }
  // The key with this id, or nullptr.
  const TrustedKey* Find(const std::string& id) const;
};

// Most keys a trusted keys folder may hold: each is read and kept.
constexpr unsigned kMaxTrustedKeys = 256;

// Adds the PEM public key at `path`. False with the message for the user: 312
// "Trusted key FILE cannot be used: REASON.". followLink: the user named it.
bool AddTrustedKeyFile(const std::string& path, bool followLink, TrustedKeys* trusted,
                       std::string* message);

// Adds every file whose name ends in ".pem" in `folder` (in name order; links
// are not followed, other files are passed over). A folder that does not exist
// adds nothing. False with the message for the user: 323 for a folder that
// cannot be read, 328 for too many keys, 312 for the first key that cannot be used.
bool AddTrustedKeysFolder(const std::string& folder, TrustedKeys* trusted, std::string* message);

enum class SignatureState {
  Unsigned,
  Trusted,       // signed by a trusted key, and the signature matches
  UntrustedKey,  // signed by a key that is not among the trusted ones
  Mismatch,      // signed by a trusted key, but not this file
  Unchecked,     // the system cannot check it
};

// The signature state of one file: what front ends show and the rule decides on.
struct SignatureCheck {
  SignatureState state = SignatureState::Unsigned;
  std::string keyId;    // the signing key's id, when signed
  std::string keyPath;  // Trusted and Mismatch: the trusted key's file
};

// Checks the (readable) signature block against the trusted keys.
SignatureCheck CheckSignature(const UpdateFileCopy& file, const SignaturePlace& place,
                              const TrustedKeys& trusted);

// The state in a few words, for --list, --check and the window: "not signed",
// "signed by trusted key 1a2b...", "signed by key 1a2b..., not trusted here", ...
std::string SignatureStateText(const SignatureCheck& signature);

// The state as one word for JSON: "none", "trusted", "untrusted", "mismatch",
// "unchecked".
const char* SignatureStateName(SignatureState state);

// The rule: "" when the file may be updated, else the status line the update
// ends on (messages 300, 301, 302, 310), FILE named by `path`; *detail then says
// why in other words when there is more to say.
std::string SignatureRefusal(const SignatureCheck& signature, const TrustedKeys& trusted,
                             const std::string& path, std::string* detail);

// The signature block for the first `signedLength` bytes of the copy, signed with
// the key. False with the reason (message 335 or 148).
bool SignCopy(const UpdateFileCopy& file, uint64_t signedLength, const EcPrivateKey& key,
              SignatureBlock* block, std::string* reason);
