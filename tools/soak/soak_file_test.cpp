#include "tools/soak/soak_file.h"
#include "xsvf/file_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/update_writer.h"
#include "tools/soak/soak_run.h"

namespace {

UpdateTarget Target(uint8_t id, uint16_t kind, std::vector<uint8_t> data, bool coded = false) {
  UpdateTarget target;
  target.id = id;
  target.name = " target";
  target.kind = kind;
  target.data = std::move(data);
  target.runLengthCoded = coded;
  return target;
}

std::string SaveUpdateFile(const std::string& name, const std::string& format,
                           const std::vector<UpdateTarget>& targets) {
  std::vector<uint8_t> bytes;
  std::string reason;
  EXPECT_TRUE(BuildUpdateFile(format, targets, &bytes, &reason)) << reason;
  EXPECT_TRUE(WriteFileBytes(name, bytes));
  return name;
}

TEST(SoakFileTest, ListsTheDevicesTargetsAndCountsEachFirmwareTargetsBlocks) {
  const std::vector<uint8_t> xcomplete = {0x00};
  const std::string path = SaveUpdateFile(
      "soak_three.upd", "V1.01",
      {Target(0x01, KindFirmware, FirmwareBlocks(std::vector<uint8_t>(25, 7), 10)),
       Target(0x0A, KindXsvf, xcomplete),
       Target(0x03, KindFirmware, FirmwareBlocks(std::vector<uint8_t>(600, 0), 300), true)});
  SoakFile file;
  std::string error;
  ASSERT_TRUE(ReadSoakFile(path, &file, &error)) << error;
  EXPECT_EQ(file.deviceTargets,
            (std::vector<std::string>{"01:firmware", "0A:jtag:demo", "03:firmware"}));
  EXPECT_EQ(file.shape.targets, 3u);
  EXPECT_EQ(file.shape.firmwareBlocks, (std::vector<uint32_t>{3, 2}));
  EXPECT_TRUE(file.shape.hasJtag);
}

TEST(SoakFileTest, RefusesTargetsItCannotSimulate) {
  SoakFile file;
  std::string error;
  const std::string unknownKind =
      SaveUpdateFile("soak_other.upd", "V1.01", {Target(0x01, 0x1234, {1, 2, 3})});
  EXPECT_FALSE(ReadSoakFile(unknownKind, &file, &error));
  EXPECT_NE(error.find("target 01"), std::string::npos) << error;
  // Firmware whose last block runs past the record's data.
  const std::string cutBlock =
      SaveUpdateFile("soak_cut.upd", "V1.00", {Target(0x02, KindFirmware, {0x00, 0x05, 1, 2})});
  EXPECT_FALSE(ReadSoakFile(cutBlock, &file, &error));
  EXPECT_FALSE(ReadSoakFile("no_such_file.upd", &file, &error));
  const std::string empty = SaveUpdateFile("soak_empty.upd", "V1.01", {});
  EXPECT_FALSE(ReadSoakFile(empty, &file, &error));
}

TEST(SoakFileTest, TakesFramesAndComparedShiftsOfEveryJtagTargetFromTheReport) {
  UpdateShape shape;
  TakeJtagFigures("connections=1\nframes=120\ncommand_S=30\njtag_03_compared_shifts=7\n"
                  "jtag_04_compared_shifts=5\njtag_04_shifts=9\n",
                  &shape);
  EXPECT_EQ(shape.frames, 120u);
  EXPECT_EQ(shape.comparedShifts, 12u);
}

TEST(SoakFileTest, ReadsTheStatusOfUpdateClisResultLine) {
  std::string status;
  EXPECT_FALSE(ResultStatus("{\"event\":\"progress\",\"status\":\"running update\"}\n", &status));
  ASSERT_TRUE(ResultStatus(
      "{\"event\":\"progress\",\"status\":\"running update\",\"rows\":[]}\n"
      "{\"event\":\"result\",\"successes\":null,\"total\":null,"
      "\"status\":\"Update cancelled - wrong fileformat in C:\\\\a \\\"b\\\".\\n\",\"exit\":2}\n",
      &status));
  EXPECT_EQ(status, "Update cancelled - wrong fileformat in C:\\a \"b\".\n");
}

}  // namespace
