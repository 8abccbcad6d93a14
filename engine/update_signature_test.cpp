// Signed update files: the signature block read strictly, the trusted keys and
// the rule that refuses what they did not sign, all before the device is touched.

#include "engine/update_signature.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/messages.h"
#include "engine/update_file_check.h"
#include "testsupport/engine_test_fixture.h"
#include "testsupport/test_keys.h"
#include "testsupport/update_cases.h"

namespace {

class SignedFiles : public EngineTest {
 protected:
  UpdateFileCheck Check(const Bytes& bytes, const TrustedKeys& trusted) {
    LoadFile(bytes);
    std::string message;
    EXPECT_TRUE(ReadHeader(&message)) << message;
    const UpdateFileCheck check = ReadThroughUpdateFile(state.updateFile, "test.upd", trusted);
    EXPECT_EQ(check.good, check.statusLine.empty());
    return check;
  }

  // A status line of the table, for test.upd.
  static std::string Line(int message) { return FormatMessageText(message, "test.upd"); }

  // What the read-through says of a fault after the records: where it is too.
  std::string AfterRecords(const std::string& fault, size_t offset) const {
    return FormatMessageText(MsgFaultPlace, fault.c_str(), 3u, static_cast<long>(offset));
  }

  const Bytes unsignedFile =
      BuildFile("V1.01", {FirmwareTarget(1, " Main", 2), XsvfTarget(3, " Logic", DemoChipProgram())},
                Trailer::Checksum);
  const Bytes signedByA = SignedWith(unsignedFile, kSignerAPrivate);
  const Bytes signedByB = SignedWith(unsignedFile, kSignerBPrivate);
  const std::string idA = KeyIdOfPem(kSignerAPublic);
  const std::string idB = KeyIdOfPem(kSignerBPublic);
};

// Both keys trusted at once: files signed by either update, as when a key is
// rotated; the block names its key and covers everything before it.
TEST_F(SignedFiles, UpdateWhenSignedByAnyTrustedKey) {
  const TrustedKeys both = TrustedOf({kSignerAPublic, kSignerBPublic});
  for (const Bytes* file : {&signedByA, &signedByB}) {
    const UpdateFileCheck check = Check(*file, both);
    ASSERT_TRUE(check.good) << check.detail;
    EXPECT_EQ(check.checksum, ChecksumState::Verified);
    EXPECT_EQ(check.signature.state, SignatureState::Trusted);
    EXPECT_EQ(check.records.size(), 2u);
  }
  EXPECT_EQ(Check(signedByA, both).signature.keyId, idA);
  EXPECT_EQ(Check(signedByB, both).signature.keyPath, "key2.pem");
  EXPECT_EQ(SignatureStateText(Check(signedByA, both).signature),
            "signed by trusted key " + idA);

  ASSERT_EQ(signedByA.size(), unsignedFile.size() + kSignatureBlockSize);
  EXPECT_TRUE(std::equal(unsignedFile.begin(), unsignedFile.end(), signedByA.begin()));
  const std::string block(signedByA.end() - kSignatureBlockSize, signedByA.end());
  EXPECT_EQ(block.substr(0, 45), "Firmwareupdate-Signature-01 " + idA + " ");
  EXPECT_EQ(block.substr(173), "\r\n");
}

// The key id is the one the README shows how to compute with openssl:
// openssl pkey -pubin -in a.pub -outform DER | tail -c 65 | sha256sum | cut -c1-16
TEST_F(SignedFiles, NameTheirKeyByItsDocumentedId) {
  EXPECT_EQ(idA, "9196fd4cf5ade1cc");
}

// With keys trusted, whatever they did not sign is refused, each with its reason;
// with none, unsigned files update as ever and a signed one is noted as signed by
// a key that is not trusted.
TEST_F(SignedFiles, AreJudgedByTheRule) {
  const TrustedKeys onlyA = TrustedOf({kSignerAPublic});
  UpdateFileCheck check = Check(unsignedFile, onlyA);
  EXPECT_EQ(check.statusLine,
            "Update cancelled - test.upd is not signed: only files signed by a trusted key are "
            "updated.");
  EXPECT_EQ(check.detail, check.statusLine);

  check = Check(signedByB, onlyA);
  EXPECT_EQ(check.signature.state, SignatureState::UntrustedKey);
  EXPECT_EQ(check.statusLine, "Update cancelled - test.upd is signed by key " + idB +
                                  ", which is not trusted here.");

  check = Check(signedByB, TrustedKeys());
  EXPECT_TRUE(check.good);
  EXPECT_EQ(check.signature.state, SignatureState::UntrustedKey);
  EXPECT_EQ(SignatureStateText(check.signature), "signed by key " + idB + ", not trusted here");

  check = Check(unsignedFile, TrustedKeys());
  EXPECT_TRUE(check.good);
  EXPECT_EQ(SignatureStateText(check.signature), "not signed");
  EXPECT_STREQ(SignatureStateName(check.signature.state), "none");
}

// One byte changed anywhere (header, a record, the checksum trailer, the
// signature) and the file does not reach the device.
TEST_F(SignedFiles, AreRefusedWithAnyByteChanged) {
  const TrustedKeys onlyA = TrustedOf({kSignerAPublic});
  const size_t blockStart = signedByA.size() - kSignatureBlockSize;
  for (size_t at = 0; at < signedByA.size(); ++at) {
    Bytes changed = signedByA;
    changed[at] = changed[at] == '0' ? '1' : '0';
    LoadFile(changed);
    std::string message;
    if (!ReadHeader(&message)) continue;  // the header check refuses it already
    const UpdateFileCheck check = ReadThroughUpdateFile(state.updateFile, "test.upd", onlyA);
    EXPECT_FALSE(check.good) << at;
    if (at >= blockStart + 45 && at < blockStart + 173) {
      EXPECT_EQ(check.statusLine, Line(MsgSignatureMismatch)) << at;
      EXPECT_EQ(check.signature.state, SignatureState::Mismatch) << at;
    }
  }
  // A byte before the trailer, with the trailer made to match it again: only
  // the signature tells.
  Bytes forged(unsignedFile.begin(), unsignedFile.end() - kTrailerSize);
  forged[60] ^= 0x01;
  Sha256 hash;
  hash.Update(forged.data(), forged.size());
  Sha256Digest digest;
  ASSERT_TRUE(hash.Finish(&digest));
  const std::string trailer = ChecksumTrailer(digest);
  forged.insert(forged.end(), trailer.begin(), trailer.end());
  forged.insert(forged.end(), signedByA.end() - kSignatureBlockSize, signedByA.end());
  const UpdateFileCheck check = Check(forged, onlyA);
  EXPECT_EQ(check.checksum, ChecksumState::Verified);
  EXPECT_EQ(check.statusLine, "Update cancelled - the signature of test.upd does not match the file.");
}

// A block that is cut off, repeated, followed by other bytes, without a trailer
// before it, of another format or unreadable: each with its own words.
TEST_F(SignedFiles, RefuseABlockOutOfShape) {
  const TrustedKeys none;
  const size_t trailerStart = unsignedFile.size() - kTrailerSize;
  const size_t blockStart = unsignedFile.size();
  for (size_t kept = sizeof kSignatureMarker - 1; kept < kSignatureBlockSize; ++kept) {
    const UpdateFileCheck check =
        Check(Bytes(signedByA.begin(), signedByA.begin() + blockStart + kept), none);
    EXPECT_EQ(check.statusLine, Line(MsgBadSignatureBlock)) << kept;
    EXPECT_EQ(check.detail,
              AfterRecords("the signature block is cut off: " + std::to_string(kept) +
                               " of its 175 bytes are there",
                           trailerStart))
        << kept;
  }

  Bytes after = signedByA;
  after.insert(after.end(), {'\r', '\n'});
  UpdateFileCheck check = Check(after, none);
  EXPECT_EQ(check.statusLine, Line(MsgBadSignatureBlock));
  EXPECT_EQ(check.detail, AfterRecords("2 bytes follow the signature block", trailerStart));

  Bytes repeated = signedByA;
  repeated.insert(repeated.end(), signedByA.end() - kSignatureBlockSize, signedByA.end());
  check = Check(repeated, none);
  EXPECT_EQ(check.statusLine, Line(MsgBadSignatureBlock));
  EXPECT_EQ(check.detail, "the signature block is repeated: a file has one");

  // Signed again after a second trailer: the first block stands among the records' end.
  Bytes twice = signedByA;
  Sha256 hash;
  hash.Update(twice.data(), twice.size());
  Sha256Digest digest;
  ASSERT_TRUE(hash.Finish(&digest));
  const std::string trailer = ChecksumTrailer(digest);
  twice.insert(twice.end(), trailer.begin(), trailer.end());
  twice = SignedWith(twice, kSignerAPrivate);
  check = Check(twice, none);
  EXPECT_EQ(check.detail,
            AfterRecords("the signature block is repeated: a file has one", trailerStart));

  const Bytes withoutTrailer =
      SignedWith(Bytes(unsignedFile.begin(), unsignedFile.end() - kTrailerSize), kSignerAPrivate);
  check = Check(withoutTrailer, none);
  EXPECT_EQ(check.statusLine, Line(MsgBadSignatureBlock));
  EXPECT_EQ(check.detail, "the signature block has no checksum trailer before it");

  Bytes later = signedByA;
  later[blockStart + 26] = '2';
  EXPECT_EQ(Check(later, none).detail,
            "its signature block is of format 02, which this updater does not know");

  for (size_t at : {blockStart + 27, blockStart + 30, blockStart + 44, blockStart + 100,
                    blockStart + 173}) {
    Bytes unreadable = signedByA;
    unreadable[at] = 'A';
    check = Check(unreadable, none);
    EXPECT_EQ(check.statusLine, Line(MsgBadSignatureBlock)) << at;
    EXPECT_EQ(check.detail, "the signature block cannot be read") << at;
  }
}

// The trusted keys folder: every .pem file in it, in name order, links not
// followed; a key that cannot be used is reported, never passed over.
TEST(TrustedKeysFolder, TakesEveryPemFileAndReportsTheFirstBadOne) {
  namespace fs = std::filesystem;
  const fs::path folder = "trusted_keys_folder";
  fs::remove_all(folder);
  fs::create_directories(folder);
  const auto write = [&folder](const std::string& name, const std::string& text) {
    std::ofstream(folder / name, std::ios::binary) << text;
  };
  write("b.pem", kSignerBPublic);
  write("a.pem", kSignerAPublic);
  write("README.txt", "not a key");
  TrustedKeys trusted;
  std::string message;
  ASSERT_TRUE(AddTrustedKeysFolder(folder.string(), &trusted, &message)) << message;
  ASSERT_EQ(trusted.keys.size(), 2u);
  EXPECT_EQ(trusted.keys[0].id, KeyIdOfPem(kSignerAPublic));
  EXPECT_EQ(trusted.keys[1].path, (folder / "b.pem").string());

  write("c.pem", kRsaPublic);
  trusted = TrustedKeys();
  EXPECT_FALSE(AddTrustedKeysFolder(folder.string(), &trusted, &message));
  EXPECT_EQ(message, "Trusted key " + (folder / "c.pem").string() +
                         " cannot be used: it is an RSA key, not an ECDSA P-256 key.");
  fs::remove(folder / "c.pem");

  std::error_code linked;
  fs::create_symlink("a.pem", folder / "link.pem", linked);
  if (!linked) {
    EXPECT_FALSE(AddTrustedKeysFolder(folder.string(), &trusted, &message));
    EXPECT_EQ(message, "Trusted key " + (folder / "link.pem").string() +
                           " cannot be used: it is not a regular file (links are not followed).");
    // A key the user names is read through a link.
    EXPECT_TRUE(AddTrustedKeyFile((folder / "link.pem").string(), true, &trusted, &message));
  }
  // A key file too large to be one, and one that is not there.
  write("large.pem", std::string(kMaxKeyFileSize + 1, 'x'));
  EXPECT_FALSE(AddTrustedKeyFile((folder / "large.pem").string(), true, &trusted, &message));
  EXPECT_EQ(message, "Trusted key " + (folder / "large.pem").string() +
                         " cannot be used: it is larger than 16384 bytes, too large for a key file.");
  const std::string missing = (folder / "missing.pem").string();
  EXPECT_FALSE(AddTrustedKeyFile(missing, true, &trusted, &message));
  EXPECT_EQ(message.rfind("Trusted key " + missing + " cannot be used: it cannot be read: ", 0), 0u)
      << message;
  trusted = TrustedKeys();
  EXPECT_TRUE(AddTrustedKeysFolder((folder / "missing").string(), &trusted, &message));
  EXPECT_TRUE(trusted.Empty());
  fs::remove_all(folder);
}

}  // namespace
