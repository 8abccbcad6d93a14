// The read-through before an update: the checksum trailer, every record and its
// contents, what may follow the records.

#include "engine/update_file_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/sha256.h"
#include "xsvf/xsvf_interpreter.h"
#include "testsupport/engine_test_fixture.h"
#include "testsupport/update_cases.h"

namespace {

class ReadThrough : public EngineTest {
 protected:
  // Loads the file, reads its header and reads it through.
  UpdateFileCheck Check(const Bytes& bytes) {
    LoadFile(bytes);
    std::string message;
    EXPECT_TRUE(ReadHeader(&message)) << message;
    const UpdateFileCheck check = ReadThroughUpdateFile(state.updateFile, "test.upd", TrustedKeys());
    EXPECT_EQ(check.good, check.statusLine.empty());
    EXPECT_EQ(check.good, check.detail.empty());
    return check;
  }

  std::string BadRecordLine() const { return FormatMessageText(MsgBadRecord, "test.upd"); }
  std::string DamagedLine() const { return FormatMessageText(MsgFileDamaged, "test.upd"); }

  const UpdateTarget main = FirmwareTarget(1, " Main", 2);
  const UpdateTarget logic = XsvfTarget(3, " Logic", DemoChipProgram());
};

TEST_F(ReadThrough, VerifiesTheTrailerAndSummarisesEveryRecord) {
  const UpdateFileCheck check = Check(BuildFile(
      "V1.01", {main, RunLengthFirmwareTarget(2, " Display"), logic, OtherKindTarget(4, " X", 7)},
      Trailer::Checksum));
  ASSERT_TRUE(check.good) << check.detail;
  EXPECT_EQ(check.checksum, ChecksumState::Verified);
  ASSERT_EQ(check.records.size(), 4u);
  EXPECT_EQ(check.records[0].header.id, 1u);
  EXPECT_EQ(check.records[0].header.name, " Main");
  EXPECT_EQ(check.records[0].blocks, 2u);
  EXPECT_EQ(check.records[0].payloadBytes, 80u);
  EXPECT_TRUE(check.records[1].header.RunLengthCoded());
  EXPECT_GT(check.records[2].commands, 10u);
  EXPECT_EQ(check.records[2].bytesAfterComplete, 0u);
  EXPECT_TRUE(check.records[3].skipped);
  EXPECT_FALSE(check.records[2].skipped);

  // The worker reads the same snapshot from the header's end.
  uint32_t id = 0;
  ASSERT_TRUE(Reader().ReadTargetId(&id));
  EXPECT_EQ(id, 1u);
}

// Files written before the trailer existed, in both formats, still pass.
TEST_F(ReadThrough, TakesFilesWithoutATrailerAsBefore) {
  for (const char* format : {"V1.00", "V1.01"}) {
    const UpdateFileCheck check = Check(BuildFile(format, {main}, Trailer::None));
    EXPECT_TRUE(check.good) << format << check.detail;
    EXPECT_EQ(check.checksum, ChecksumState::None) << format;
  }
}

// A file whose first id is 00 updates nothing: it is refused before a device
// could be touched, with a trailer that matches or without one.
TEST_F(ReadThrough, RefusesAFileWithoutTargets) {
  for (const Trailer trailer : {Trailer::Checksum, Trailer::None}) {
    const UpdateFileCheck check = Check(BuildFile("V1.01", {}, trailer));
    EXPECT_FALSE(check.good);
    EXPECT_EQ(check.detail,
              "the file holds no target record: it updates nothing (target 1, file offset 39)");
    EXPECT_EQ(check.statusLine, BadRecordLine());
  }
}

// A flipped bit anywhere before the trailer, or in its digest, is damage; in the
// marker it hides the trailer, whose bytes are then refused as stray bytes.
TEST_F(ReadThrough, FindsEveryFlippedBit) {
  const Bytes good = BuildFile("V1.00", {FirmwareTarget(1, " M", 1, 4)}, Trailer::Checksum);
  const size_t trailerStart = good.size() - kTrailerSize;
  const size_t markerEnd = trailerStart + sizeof kTrailerMarker - 1;
  for (size_t at = 0; at < good.size(); ++at) {
    if (at >= markerEnd && at < markerEnd + 3) continue;  // the format, below
    // The header must still read for the read-through to be reached.
    if (at < 40) continue;
    Bytes damaged = good;
    damaged[at] ^= 0x04;
    const UpdateFileCheck check = Check(damaged);
    if (at >= trailerStart && at < markerEnd) {
      EXPECT_EQ(check.checksum, ChecksumState::None) << at;
      EXPECT_EQ(check.detail.rfind("93 bytes after the closing 00 are not a checksum trailer "
                                   "this updater knows (target 2, file offset ",
                                   0),
                0u)
          << at << check.detail;
      EXPECT_EQ(check.statusLine, BadRecordLine()) << at;
    } else {
      EXPECT_EQ(check.checksum, ChecksumState::Mismatch) << at;
      EXPECT_EQ(check.statusLine, DamagedLine()) << at;
      EXPECT_FALSE(check.good) << at;
    }
  }
  Bytes flipped = good;
  flipped[good.size() - 3] ^= 0x01;
  const UpdateFileCheck check = Check(flipped);
  Sha256 hash;
  hash.Update(good.data(), trailerStart);
  Sha256Digest digest;
  ASSERT_TRUE(hash.Finish(&digest));
  const std::string stated = std::string(flipped.end() - 66, flipped.end() - 2);
  EXPECT_EQ(check.detail, "the file is damaged: its bytes hash to " + Sha256Hex(digest) +
                              ", its checksum trailer says " + stated);
}

// A trailer of a later format cannot be checked here: the file is refused,
// whatever else was changed with it.
TEST_F(ReadThrough, RefusesATrailerItCannotCheck) {
  const Bytes good = BuildFile("V1.01", {main}, Trailer::Checksum);
  const size_t format = good.size() - kTrailerSize + sizeof kTrailerMarker - 1;
  Bytes later = good;
  later[format + 1] = '2';
  later[80] ^= 0x01;  // a data byte of the firmware
  UpdateFileCheck check = Check(later);
  EXPECT_FALSE(check.good);
  EXPECT_EQ(check.checksum, ChecksumState::NotVerified);
  EXPECT_EQ(check.detail, "its checksum trailer is of format 02, which this updater does not know");
  EXPECT_EQ(check.statusLine, "Update cancelled - the checksum of test.upd cannot be verified.");

  Bytes unreadable = good;
  unreadable[format + 2] = '-';
  check = Check(unreadable);
  EXPECT_EQ(check.checksum, ChecksumState::Mismatch);
  EXPECT_EQ(check.detail, "the file is damaged: its checksum trailer cannot be read");
  EXPECT_EQ(check.statusLine, DamagedLine());
}

// Cut anywhere before its terminating id, a file with a trailer has lost it and
// fails as a bad record; cut between the id and the trailer it reads as a file
// without one; cut in the trailer, what is left of it is refused.
TEST_F(ReadThrough, TurnsAwayEveryTruncation) {
  const Bytes good = BuildFile("V1.01", {main, logic}, Trailer::Checksum);
  const size_t trailerStart = good.size() - kTrailerSize;
  const size_t terminator = trailerStart - 4;
  for (size_t length = 60; length < good.size(); ++length) {
    const UpdateFileCheck check = Check(Bytes(good.begin(), good.begin() + length));
    if (length <= terminator) {
      EXPECT_EQ(check.statusLine, BadRecordLine()) << length;
    } else if (length <= trailerStart) {
      EXPECT_TRUE(check.good) << length << check.detail;
      EXPECT_EQ(check.checksum, ChecksumState::None) << length;
    } else {
      EXPECT_EQ(check.detail, std::to_string(length - trailerStart) +
                                  " bytes after the closing 00 are not a checksum trailer this "
                                  "updater knows (target 3, file offset " +
                                  std::to_string(trailerStart) + ")")
          << length;
    }
  }
}

// Whatever stands after the closing 00 but white space and a trailer it knows is
// refused: stray bytes, or bytes between the 00 and a trailer that matches them.
TEST_F(ReadThrough, RefusesWhatFollowsTheRecords) {
  Bytes stray = BuildFile("V1.01", {main}, Trailer::None);
  const size_t end = stray.size();
  stray.push_back('x');
  EXPECT_EQ(Check(stray).detail,
            "1 bytes after the closing 00 are not a checksum trailer this updater knows "
            "(target 2, file offset " + std::to_string(end) + ")");

  Bytes before = BuildFile("V1.01", {main}, Trailer::None);
  before.insert(before.end(), {'0', '1', '\r', '\n'});
  Sha256 hash;
  hash.Update(before.data(), before.size());
  Sha256Digest digest;
  ASSERT_TRUE(hash.Finish(&digest));
  const std::string trailer = ChecksumTrailer(digest);
  before.insert(before.end(), trailer.begin(), trailer.end());
  const UpdateFileCheck check = Check(before);
  EXPECT_EQ(check.checksum, ChecksumState::Verified);
  EXPECT_EQ(check.detail, "4 bytes after the closing 00 are not a checksum trailer this updater "
                          "knows (target 2, file offset " + std::to_string(end) + ")");
}

// Each fault in the records, exactly as --check shows it.
TEST_F(ReadThrough, NamesTheFirstFaultAndWhereItIs) {
  UpdateTarget oversized = FirmwareTarget(2, " Io", 1, 998);
  oversized.data[1] = 0xE7;  // the length field now says 999, and 999 bytes follow
  oversized.data.push_back(0);
  UpdateTarget cut = FirmwareTarget(2, " Io", 1, 8);
  cut.data.pop_back();
  UpdateTarget halfLength = FirmwareTarget(2, " Io", 1, 8);
  halfLength.data.push_back(0);
  const UpdateTarget program = XsvfTarget(2, " Logic", {0x02, 0x08});

  Bytes noTerminator = BuildFile("V1.01", {main});
  noTerminator.resize(noTerminator.size() - 4);
  Bytes zeroRun = BuildFile("V1.01", {main});
  const std::string plain = "0000 FEFF";
  std::search(zeroRun.begin(), zeroRun.end(), plain.begin(), plain.end())[3] = '1';
  // Cut after the first digit of the second target's id, which reads as the 00.
  Bytes cutInId = BuildFile("V1.01", {main, FirmwareTarget(2, " Io", 1)});
  const std::string secondId = "\r\n02 0000";
  cutInId.erase(std::search(cutInId.begin(), cutInId.end(), secondId.begin(), secondId.end()) + 3,
                cutInId.end());

  const std::vector<std::pair<Bytes, std::string>> files = {
      {noTerminator, "the next target id (or the closing 00) cannot be read (target 2, "
                     "file offset 153)"},
      {zeroRun, "the record's data are cut off or badly coded (target 1, file offset 68)"},
      {BuildFile("V1.01", {main, oversized}),
       "block 1 has 999 payload bytes, more than 998 (target 2, file offset 1182)"},
      {BuildFile("V1.01", {main, cut}),
       "block 1 is cut off by the record's end (target 2, file offset 190)"},
      {BuildFile("V1.01", {main, halfLength}),
       "block 2 has no complete length field (target 2, file offset 192)"},
      {cutInId, "the header names 2 targets, the file holds only 1 records (target 2, "
                "file offset 161)"},
      {BuildFile("V1.01", {main, program}),
       "XSVF program: command #1 (XSIR) at program offset 0: the data end within its operands "
       "(target 2, file offset 186)"},
  };
  for (const auto& [bytes, detail] : files) {
    const UpdateFileCheck check = Check(bytes);
    EXPECT_EQ(check.detail, detail);
    EXPECT_EQ(check.statusLine, BadRecordLine()) << detail;
  }
}

// A kind the updater does not handle is skipped as an update skips it, whatever
// its data hold; an eleventh record is as wrong as it is to the worker.
TEST_F(ReadThrough, JudgesRecordsAsAnUpdateWould) {
  UpdateTarget other = OtherKindTarget(2, " Other", 0x1234);
  other.data = {0x80, 0x00};
  other.runLengthCoded = false;
  Bytes file = BuildFile("V1.01", {main, other});
  const std::string flags = "0000 1234";
  std::search(file.begin(), file.end(), flags.begin(), flags.end())[3] = '1';  // coded
  EXPECT_TRUE(Check(file).good);

  std::vector<UpdateTarget> eleven;
  for (uint8_t id = 1; id <= 10; ++id) eleven.push_back(FirmwareTarget(id, " U", 1));
  Bytes elevenRecords = BuildFile("V1.01", eleven);
  const Bytes extra = BuildFile("V1.01", {FirmwareTarget(11, " U", 1)});
  const std::string record = "0B 0000 FEFF";
  const auto recordStart = std::search(extra.begin(), extra.end(), record.begin(), record.end());
  elevenRecords.insert(elevenRecords.end() - 4, recordStart, extra.end() - 4);
  const UpdateFileCheck check = Check(elevenRecords);
  EXPECT_EQ(check.detail.rfind("more than 10 target records (target 11, ", 0), 0u) << check.detail;
}

// One-byte commands, run-length coded: a small file, a million commands. The
// read-through reads them as the player would, one after the other, holding
// none of them.
TEST_F(ReadThrough, ReadsARunLengthBombCommandByCommand) {
  Bytes program(127 * 8000, XTDOMASK);  // with no data length set, XTDOMASK is one byte
  program.push_back(XCOMPLETE);
  UpdateTarget bomb = XsvfTarget(1, " Bomb", program);
  bomb.runLengthCoded = true;
  const Bytes file = BuildFile("V1.01", {bomb});
  EXPECT_LT(file.size(), 20000u);
  const UpdateFileCheck check = Check(file);
  ASSERT_TRUE(check.good) << check.detail;
  EXPECT_EQ(check.records[0].commands, 127u * 8000 + 1);
}

}  // namespace
