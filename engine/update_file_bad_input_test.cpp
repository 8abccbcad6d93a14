// Malformed update files: each one gives its message or read failure, and none
// makes the reader crash or read out of bounds.

#include <gtest/gtest.h>

#include <random>

#include "testsupport/engine_test_fixture.h"
#include "engine/update_file.h"
#include "engine/update_writer.h"

namespace {

enum class Outcome { Complete, HeaderFailed, RecordFailed, DataFailed };

const char* const kWrongFormat = "Error: wrong Fileformat in test.upd.\n";

std::string WrongVersion(const std::string& token) {
  return "Error: " + token +
         " is wrong version of update file\ntest.upd.\nExpected version V1.00 V1.01  !";
}

class BadUpdateFile : public EngineTest {
 protected:
  // Reads the whole file the way an update does: the header, then every record's
  // header and data up to the terminating id.
  Outcome ReadWholeFile(const std::vector<uint8_t>& bytes) {
    LoadFile(bytes);
    if (!ReadHeader(&message)) return Outcome::HeaderFailed;
    uint32_t id = 0;
    UpdateFileReader& reader = Reader();
    if (!reader.ReadTargetId(&id)) return Outcome::RecordFailed;
    for (uint32_t record = 0; id != 0; ++record) {
      if (record == kMaxTargets || !reader.ReadRecordHeader()) return Outcome::RecordFailed;
      reader.StartRecordData();
      ReadRecordData();
      if (!reader.Ended()) return Outcome::DataFailed;
      if (!reader.SkipRecordRest() || !reader.ReadTargetId(&id)) return Outcome::RecordFailed;
    }
    return Outcome::Complete;
  }

  Outcome ReadWholeFile(const std::string& text) {
    return ReadWholeFile(std::vector<uint8_t>(text.begin(), text.end()));
  }

  std::string message;
};

struct BadFile {
  const char* what;
  std::string bytes;
  Outcome outcome;
  std::string message;  // for a header failure
};

const std::string kV100 = "Firmwareupdate-Fileformat-V1.00\r\n";
const std::string kV101 = "Firmwareupdate-Fileformat-V1.01\r\n";
const std::string kOneName = "01\r\n01 Main\r\n";

TEST_F(BadUpdateFile, EachGivesItsFailure) {
  const std::string name79(79, 'n');
  const std::string name80 = std::string(79, 'n') + "Z";
  const BadFile files[] = {
      {"empty", "", Outcome::HeaderFailed, kWrongFormat},
      {"no marker", "Firmwareupdate-Format-V1.00\r\n00\r\n", Outcome::HeaderFailed, kWrongFormat},
      {"marker past the 79th character", std::string(60, ' ') + kV100, Outcome::HeaderFailed,
       kWrongFormat},
      {"missing version", "Firmwareupdate-Fileformat-\r\n00", Outcome::HeaderFailed,
       WrongVersion("")},
      {"wrong version", "Firmwareupdate-Fileformat-V2.00\r\n00", Outcome::HeaderFailed,
       WrongVersion("V2.00")},
      {"lower-case version", "Firmwareupdate-Fileformat-v1.00\r\n00", Outcome::HeaderFailed,
       WrongVersion("v1.00")},
      {"version with a suffix", "Firmwareupdate-Fileformat-V1.001\r\n00", Outcome::HeaderFailed,
       WrongVersion("V1.001")},
      {"no target count", kV101, Outcome::HeaderFailed, kWrongFormat},
      {"target count not hex", kV101 + "G1\r\n", Outcome::HeaderFailed, kWrongFormat},
      {"more than 10 targets", kV101 + "0B\r\n", Outcome::HeaderFailed, kWrongFormat},
      {"fewer name lines than targets", kV101 + "03\r\n01 A\r\n02 B\r\n", Outcome::HeaderFailed,
       kWrongFormat},
      {"name line without id", kV101 + "01\r\nMain\r\n", Outcome::HeaderFailed, kWrongFormat},
      {"name of 80 characters", kV101 + "02\r\n01" + name80 + "\r\n02 B\r\n00",
       Outcome::HeaderFailed, kWrongFormat},
      {"name of 79 characters", kV101 + "01\r\n01" + name79 + "\r\n00", Outcome::Complete, ""},
      {"no record", kV101 + kOneName, Outcome::RecordFailed, ""},
      {"no terminating id", kV101 + kOneName + "01 0000 FEFF 00000001X\r\n",
       Outcome::RecordFailed, ""},
      {"record without kind", kV101 + kOneName + "01 0000", Outcome::RecordFailed, ""},
      {"length 0", kV101 + kOneName + "01 0000 FEFF 00000000\r\n00", Outcome::RecordFailed, ""},
      {"length above 0x7FFFFFFF", kV101 + kOneName + "01 0000 FEFF 80000001X\r\n00",
       Outcome::RecordFailed, ""},
      {"raw data cut off", kV101 + kOneName + "01 0000 FEFF 00000010abc", Outcome::DataFailed,
       ""},
      {"run crossing the record end",
       kV101 + kOneName + "01 0001 FEFF 00000002\x03" "abc\r\n00", Outcome::DataFailed, ""},
      {"run of length 0", kV101 + kOneName + "01 0001 FEFF 00000002\x80" "a\r\n00",
       Outcome::DataFailed, ""},
      {"literal run of length 0",
       kV101 + kOneName + "01 0001 FEFF 00000001" + std::string(1, '\0') + "\r\n00",
       Outcome::DataFailed, ""},
      {"repeat run without its value", kV101 + kOneName + "01 0001 FEFF 00000002\x85",
       Outcome::DataFailed, ""},
      {"V1.00 digit pair not hex", kV100 + kOneName + "01 000000030002GG\r\n00",
       Outcome::DataFailed, ""},
      {"V1.00 data cut off", kV100 + kOneName + "01 00000004000", Outcome::DataFailed, ""},
  };
  for (const BadFile& file : files) {
    message.clear();
    state.targetCount = 5;
    EXPECT_EQ(ReadWholeFile(file.bytes), file.outcome) << file.what;
    EXPECT_EQ(message, file.message) << file.what;
    if (file.outcome == Outcome::HeaderFailed) {
      EXPECT_EQ(state.targetCount, 0u) << file.what;
    }
  }
}

TEST_F(BadUpdateFile, EveryCutOfAGoodFileFails) {
  // Ids start with a nonzero digit: a cut after the first digit of 01 would read
  // as the terminating id 0.
  UpdateTarget firmware;
  firmware.id = 0x12;
  firmware.name = " Main";
  firmware.data = FirmwareBlocks(std::vector<uint8_t>(30, 0x5A), 20);
  UpdateTarget coded = firmware;
  coded.id = 0x34;
  coded.kind = KindXsvf;
  coded.runLengthCoded = true;

  const std::pair<const char*, std::vector<UpdateTarget>> files[] = {
      {"V1.00", {firmware, firmware}},
      {"V1.01", {firmware, coded}},
  };
  for (const auto& [format, targets] : files) {
    std::vector<uint8_t> bytes;
    std::string reason;
    ASSERT_TRUE(BuildUpdateFile(format, targets, &bytes, &reason, Trailer::None)) << reason;
    ASSERT_EQ(ReadWholeFile(bytes), Outcome::Complete) << format;
    // The file ends with "00", CR, LF: a cut through the final 00 leaves the 0.
    const size_t firstComplete = bytes.size() - 3;
    for (size_t length = 0; length < firstComplete; ++length) {
      const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
      EXPECT_NE(ReadWholeFile(cut), Outcome::Complete) << format << " cut at " << length;
    }
  }
}

TEST_F(BadUpdateFile, BinaryGarbageIsRejected) {
  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> byteValue(0, 255);
  std::uniform_int_distribution<size_t> size(1, 400);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> garbage(size(random));
    for (uint8_t& byte : garbage) byte = static_cast<uint8_t>(byteValue(random));
    EXPECT_EQ(ReadWholeFile(garbage), Outcome::HeaderFailed) << round;

    // Behind a good header line the garbage reaches the record reader; whatever it
    // makes of it, it must stay within the file's bytes.
    std::vector<uint8_t> behindHeader(kV101.begin(), kV101.end());
    behindHeader.insert(behindHeader.end(), garbage.begin(), garbage.end());
    ReadWholeFile(behindHeader);
  }
}

}  // namespace
