// update-cli's commands on update files without a device, in process: --list and
// --check, as text and as one JSON document, for good, old, bad and damaged files.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <utility>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "engine/update_file.h"
#include "testsupport/captured_text.h"
#include "testsupport/json_lines.h"
#include "testsupport/test_keys.h"
#include "testsupport/update_cases.h"
#include "tools/cli/file_check.h"
#include "xsvf/file_bytes.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

struct Printed {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

using Command = int (*)(const CliOptions&, std::FILE*, std::FILE*);

Printed RunCommand(Command command, const std::string& file, bool json = false,
                   const std::string& keysFolder = "") {
  CliOptions options;
  options.file = file;
  options.json = json;
  options.trustedKeysFolder = keysFolder;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Printed printed;
  printed.exitStatus = command(options, out, err);
  printed.out = ContentsAndClose(out);
  printed.err = ContentsAndClose(err);
  return printed;
}

JsonDocument Document(const Printed& printed) {
  EXPECT_EQ(Lines(printed.out).size(), 1u) << printed.out;
  EXPECT_EQ(printed.err, "");
  return ParsedJson(printed.out);
}

class FileCommands : public ::testing::Test {
 protected:
  FileCommands() {
    std::filesystem::create_directories(folder);
  }

  std::string Save(const std::string& name, const Bytes& bytes) {
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }

  // Ids that are not the targets' positions.
  std::string SaveGoodFile() {
    return Save("good.upd", BuildFile("V1.01",
                                      {FirmwareTarget(0x05, " Main board", 4),
                                       RunLengthFirmwareTarget(0xC7, " Display"),
                                       XsvfTarget(0x31, " Logic", DemoChipProgram())},
                                      Trailer::Checksum));
  }

  std::string SaveDamagedFile() {
    Bytes bytes = BuildFile("V1.01", {FirmwareTarget(0x05, " Main board", 4)}, Trailer::Checksum);
    bytes[80] ^= 0x01;
    return Save("damaged.upd", bytes);
  }

  const std::string folder = "file_commands";
};

// Each target by the id the device knows it by, not its position (ids 05 and C7
// showed as 1 and 2), and the checksum said.
TEST_F(FileCommands, ListShowsEachTargetsIdAndTheChecksum) {
  const std::string file = SaveGoodFile();
  const Printed run = RunCommand(RunListCommand, file);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{file + ": format V1.01, 3 targets, checksum OK, not signed",
                                      "05  Main board", "C7  Display", "31  Logic"}));
}

TEST_F(FileCommands, CheckReadsEveryRecordAndTheChecksum) {
  const std::string file = SaveGoodFile();
  const Printed run = RunCommand(RunCheckCommand, file);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 5u) << run.out;
  EXPECT_EQ(lines[0], file + ": format V1.01, 3 targets, checksum OK, not signed");
  EXPECT_EQ(lines[1], "05  Main board: firmware, 4 blocks, 160 payload bytes; 168 stored bytes");
  EXPECT_EQ(lines[2].rfind("C7  Display: firmware, ", 0), 0u) << lines[2];
  EXPECT_NE(lines[2].find(", run-length coded"), std::string::npos) << lines[2];
  EXPECT_EQ(lines[3].rfind("31  Logic: XSVF, ", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4], "OK");
}

// Files written before the trailer existed are read as before, and say so.
TEST_F(FileCommands, FilesWithoutAChecksumStillPass) {
  const std::string file =
      Save("old.upd", BuildFile("V1.00", {FirmwareTarget(0x05, " Main", 2)}, Trailer::None));
  for (Command command : {RunListCommand, RunCheckCommand}) {
    const Printed run = RunCommand(command, file);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(Lines(run.out)[0], file + ": format V1.00, 1 targets, no checksum, not signed");
    EXPECT_EQ(Document(RunCommand(command, file, true)).at("checksum"), "none");
  }
}

// A trailer of a format this version does not know cannot be checked: the file
// is refused, by --list as well.
TEST_F(FileCommands, ATrailerOfAnUnknownFormatEndsBothCommands) {
  Bytes bytes = BuildFile("V1.01", {FirmwareTarget(0x05, " Main", 2)}, Trailer::Checksum);
  bytes[bytes.size() - kTrailerSize + sizeof kTrailerMarker] = '2';
  const std::string file = Save("later.upd", bytes);
  for (Command command : {RunListCommand, RunCheckCommand}) {
    const Printed run = RunCommand(command, file);
    EXPECT_EQ(run.exitStatus, 4);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              file + ": its checksum trailer is of format 02, which this updater does not know\n");
  }
}

// A damaged file: the last line says so, and nothing claims it is fine.
TEST_F(FileCommands, ADamagedFileEndsBothCommands) {
  const std::string file = SaveDamagedFile();
  for (Command command : {RunListCommand, RunCheckCommand}) {
    const Printed run = RunCommand(command, file);
    EXPECT_EQ(run.exitStatus, 4);
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_EQ(lines[0].rfind(file + ": the file is damaged: its bytes hash to ", 0), 0u)
        << lines[0];
  }
}

TEST_F(FileCommands, JsonIsOneDocumentForEveryOutcome) {
  const std::string good = SaveGoodFile();
  // The names without the blank that follows the id on the name line.
  EXPECT_EQ(RunCommand(RunListCommand, good, true).out,
            "{\"command\":\"list\",\"file\":\"" + good +
                "\",\"format\":\"V1.01\",\"targetCount\":3,\"checksum\":\"ok\","
                "\"signature\":\"none\",\"targets\":["
                "{\"position\":1,\"id\":\"05\",\"name\":\"Main board\"},"
                "{\"position\":2,\"id\":\"C7\",\"name\":\"Display\"},"
                "{\"position\":3,\"id\":\"31\",\"name\":\"Logic\"}],\"exit\":0}\n");

  JsonDocument check = Document(RunCommand(RunCheckCommand, good, true));
  EXPECT_EQ(check.at("command"), "check");
  ASSERT_EQ(check.at("targets").size(), 3u);
  EXPECT_EQ(check.at("targets").at(0).at("kind"), "firmware");
  EXPECT_EQ(check.at("targets").at(0).at("blocks"), 4);
  EXPECT_EQ(check.at("targets").at(0).at("payloadBytes"), 160);
  EXPECT_EQ(check.at("targets").at(2).at("kind"), "XSVF");
  EXPECT_EQ(check.at("exit"), 0);

  // The errors, which printed only text on standard error.
  const std::string damaged = SaveDamagedFile();
  check = Document(RunCommand(RunCheckCommand, damaged, true));
  EXPECT_EQ(check.at("exit"), 4);
  EXPECT_EQ(check.at("checksum"), "mismatch");
  EXPECT_EQ(check.at("status"), FormatMessageText(MsgFileDamaged, damaged.c_str()));
  EXPECT_EQ(check.at("message").get<std::string>().rfind("the file is damaged: ", 0), 0u);

  Bytes cut = BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)});
  cut.resize(cut.size() - 4);
  const std::string bad = Save("cut.upd", cut);
  check = Document(RunCommand(RunCheckCommand, bad, true));
  EXPECT_EQ(check.at("exit"), 4);
  EXPECT_EQ(check.at("status"), FormatMessageText(MsgBadRecord, bad.c_str()));
  EXPECT_EQ(check.at("message").get<std::string>().rfind(
                "the next target id (or the closing 00) cannot be read", 0),
            0u);
  EXPECT_EQ(check.at("targets").size(), 1u);

}

// A missing file, an empty one, a folder and a file without read permission: the
// document says what is wrong and the status line an update would end on, which
// is the same text.
TEST_F(FileCommands, JsonOfAFileThatCannotBeReadCarriesItsStatus) {
  const std::string missing = folder + "/missing.upd";
  const std::string empty = Save("empty.upd", {});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {missing, FormatMessageText(MsgFileNotFound, missing.c_str())},
      {empty, FormatMessageText(MsgWrongFileformat, empty.c_str())},
  };
  for (Command command : {RunListCommand, RunCheckCommand}) {
    const std::string name = command == RunListCommand ? "list" : "check";
    for (const auto& [file, message] : cases) {
      const std::string text = message.substr(0, message.find('\n'));
      EXPECT_EQ(RunCommand(command, file, true).out,
                "{\"command\":\"" + name + "\",\"file\":\"" + file +
                    "\",\"exit\":4,\"message\":\"" + text + "\",\"status\":\"" + text + "\"}\n");
    }
    // The system's reason for a folder differs between systems.
    const JsonDocument aFolder = Document(RunCommand(command, folder, true));
    EXPECT_EQ(aFolder.at("exit"), 4);
    EXPECT_EQ(aFolder.at("status"), aFolder.at("message"));
  }
}

#ifndef _WIN32
TEST_F(FileCommands, JsonOfAFileWithoutReadPermissionCarriesItsStatus) {
  if (geteuid() == 0) GTEST_SKIP() << "an administrator may read any file";
  const std::string locked =
      Save("locked.upd", BuildFile("V1.01", {FirmwareTarget(1, " Main", 2)}));
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  const JsonDocument document = Document(RunCommand(RunCheckCommand, locked, true));
  EXPECT_EQ(document.at("exit"), 4);
  EXPECT_EQ(document.at("status"), document.at("message"));
  EXPECT_EQ(document.at("status").get<std::string>().rfind("Error: File '" + locked + "'", 0), 0u);
}
#endif

// A file whose target name would clear the operator's screen and print a verdict
// of its own, and one whose name is Latin-1: the text shows their bytes, the JSON
// is valid UTF-8 and carries the names.
TEST_F(FileCommands, NamesFromTheFileAreShownNotObeyed) {
  const std::string forged = " \x1b[2J\x1b[HAll 3 targets verified OK";
  const std::string file = Save("forged.upd", BuildFile("V1.01",
                                                        {FirmwareTarget(0x05, forged, 2),
                                                         FirmwareTarget(0xC7, " Z\xe4hler", 2)},
                                                        Trailer::Checksum));
  const Printed list = RunCommand(RunListCommand, file);
  EXPECT_EQ(list.exitStatus, 0) << list.err;
  EXPECT_EQ(Lines(list.out),
            (std::vector<std::string>{file + ": format V1.01, 2 targets, checksum OK, not signed",
                                      "05  \\x1b[2J\\x1b[HAll 3 targets verified OK",
                                      "C7  Z\\xe4hler"}));
  const Printed check = RunCommand(RunCheckCommand, file);
  EXPECT_EQ(check.exitStatus, 0) << check.err;
  ASSERT_EQ(Lines(check.out).size(), 4u) << check.out;
  EXPECT_EQ(Lines(check.out)[1],
            "05  \\x1b[2J\\x1b[HAll 3 targets verified OK: firmware, 2 blocks, 80 payload "
            "bytes; 84 stored bytes");
  EXPECT_EQ(Lines(check.out)[2].rfind("C7  Z\\xe4hler: firmware, ", 0), 0u);

  for (Command command : {RunListCommand, RunCheckCommand}) {
    const Printed json = RunCommand(command, file, true);
    EXPECT_EQ(json.out.find('\x1b'), std::string::npos) << json.out;
    const JsonDocument document = Document(json);  // refuses what is not UTF-8
    ASSERT_EQ(document.at("targets").size(), 2u) << json.out;
    EXPECT_EQ(document.at("targets").at(0).at("name"), forged.substr(1));
    EXPECT_EQ(document.at("targets").at(1).at("name"), "Z\xc3\xa4hler");
  }
  EXPECT_FALSE(JsonDocument::accept("\"Z\xe4hler\""));  // the reader does refuse Latin-1
}

// The version token is shown as well, in the message of several lines on
// standard error that names it.
TEST_F(FileCommands, TheVersionTokenIsShownNotObeyed) {
  const std::string header = "Firmwareupdate-Fileformat-\x1b[2JV9\r\n01\r\n05 Main\r\n";
  const std::string file = Save("version.upd", Bytes(header.begin(), header.end()));
  for (Command command : {RunListCommand, RunCheckCommand}) {
    const Printed run = RunCommand(command, file);
    EXPECT_EQ(run.exitStatus, 4);
    EXPECT_EQ(run.err, "Error: \\x1b[2JV9 is wrong version of update file\n" + file +
                           ".\nExpected version V1.00 V1.01  !\n");
  }
}

// --check's detailed message for a bad record, on standard error after the
// records that were read.
TEST_F(FileCommands, CheckNamesAFaultInTheRecords) {
  UpdateTarget cut = FirmwareTarget(2, " Io", 1, 8);
  cut.data.pop_back();
  const std::string file =
      Save("bad.upd", BuildFile("V1.01", {FirmwareTarget(1, " Main", 2), cut}, Trailer::Checksum));
  const Printed run = RunCommand(RunCheckCommand, file);
  EXPECT_EQ(run.exitStatus, 4);
  EXPECT_EQ(Lines(run.out).size(), 2u) << run.out;
  EXPECT_EQ(run.err, file + ": block 1 is cut off by the record's end (target 2, file offset 190)\n");
}

// The signature state on the first line and in the JSON, for a file signed by a
// key that is trusted, one that is not, and an unsigned one; with a key trusted
// (in the trusted keys folder), what it did not sign is refused by both commands.
TEST_F(FileCommands, SayTheSignatureStateAndRefuseWhatTheKeysDidNotSign) {
  const Bytes plain = BuildFile("V1.01", {FirmwareTarget(0x05, " Main", 2)}, Trailer::Checksum);
  const std::string signedFile = Save("signed.upd", SignedWith(plain, kSignerAPrivate));
  const std::string unsignedFile = Save("unsigned.upd", plain);
  // A folder of this run's keys only: a key left by an earlier run would be trusted.
  const std::string keys = folder + "/trusted-keys";
  std::filesystem::remove_all(keys);
  std::filesystem::create_directories(keys);
  const auto saveKey = [](const std::string& path, const std::string& pem) {
    EXPECT_TRUE(WriteFileBytes(path, Bytes(pem.begin(), pem.end())));
  };
  saveKey(keys + "/b.pem", kSignerBPublic);
  const std::string idA = KeyIdOfPem(kSignerAPublic);

  Printed run = RunCommand(RunListCommand, signedFile);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(Lines(run.out)[0], signedFile + ": format V1.01, 1 targets, checksum OK, signed by key " +
                                   idA + ", not trusted here");
  JsonDocument json = Document(RunCommand(RunCheckCommand, signedFile, true));
  EXPECT_EQ(json.at("signature"), "untrusted");
  EXPECT_EQ(json.at("keyId"), idA);

  const struct {
    std::string file;
    std::string status;
  } refused[] = {
      {signedFile, FormatMessageText(MsgSignedByUnknownKey, signedFile.c_str(), idA.c_str())},
      {unsignedFile, FormatMessageText(MsgNotSigned, unsignedFile.c_str())},
  };
  for (const auto& [file, status] : refused) {
    for (Command command : {RunListCommand, RunCheckCommand}) {
      run = RunCommand(command, file, false, keys);
      EXPECT_EQ(run.exitStatus, 4);
      EXPECT_EQ(run.err, file + ": " + status + "\n");
      json = Document(RunCommand(command, file, true, keys));
      EXPECT_EQ(json.at("exit"), 4);
      EXPECT_EQ(json.at("status"), status);
    }
  }

  saveKey(keys + "/a.pem", kSignerAPublic);
  run = RunCommand(RunCheckCommand, signedFile, false, keys);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(Lines(run.out)[0], signedFile + ": format V1.01, 1 targets, checksum OK, signed by "
                                            "trusted key " + idA);
  EXPECT_EQ(Document(RunCommand(RunListCommand, signedFile, true, keys)).at("signature"),
            "trusted");
}

}  // namespace
