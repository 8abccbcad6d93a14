#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// The tests read and write update.cfg in the test program's working directory.
class SettingsTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& bytes) {
    std::ofstream file(FilePath(), std::ios::binary);
    file << bytes;
  }

  std::string ReadFile() {
    std::ifstream file(FilePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  std::string FilePath() const { return directory + "update.cfg"; }

  void TearDown() override { std::remove(FilePath().c_str()); }

  std::string directory = "";  // the working directory
  std::string path = "unchanged";
  int port = -7;
};

TEST(ExeDirectoryOfTest, KeepsEverythingUpToTheLastBackslash) {
  EXPECT_EQ(ExeDirectoryOf("C:\\Tools\\app.exe"), "C:\\Tools\\");
  EXPECT_EQ(ExeDirectoryOf("C:\\a\\b\\Update.exe"), "C:\\a\\b\\");
  EXPECT_EQ(ExeDirectoryOf("\\\\server\\share\\Update.exe"), "\\\\server\\share\\");
  EXPECT_EQ(ExeDirectoryOf("C:\\Tools\\"), "C:\\Tools\\");
}

TEST(ExeDirectoryOfTest, IsEmptyWithoutABackslashAfterTheFirstCharacter) {
  EXPECT_EQ(ExeDirectoryOf("Update.exe"), "");
  EXPECT_EQ(ExeDirectoryOf("\\Update.exe"), "");
  EXPECT_EQ(ExeDirectoryOf("/usr/bin/Update.exe"), "");
  EXPECT_EQ(ExeDirectoryOf(""), "");
}

TEST_F(SettingsTest, SavedSettingsLoadBackIncludingTheLastPortAndAnEmptyPath) {
  SaveSettings(directory, "C:\\Data\\device.upd", 9);
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(path, "C:\\Data\\device.upd");
  EXPECT_EQ(port, 9);

  SaveSettings(directory, "", 2);
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(path, "");
  EXPECT_EQ(port, 2);
}

TEST_F(SettingsTest, WritesTwoLinesWithThePlatformsLineEnds) {
  SaveSettings(directory, "C:\\x.upd", -1);
#ifdef _WIN32
  EXPECT_EQ(ReadFile(), "C:\\x.upd\r\nPort=-1\r\n");
#else
  EXPECT_EQ(ReadFile(), "C:\\x.upd\nPort=-1\n");
#endif
}

TEST_F(SettingsTest, ReadsBothLineEndConventions) {
  WriteFile("a.upd\r\nPort=4\r\n");
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(path, "a.upd");
  EXPECT_EQ(port, 4);

  WriteFile("b.upd\nPort=5");
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(path, "b.upd");
  EXPECT_EQ(port, 5);
}

TEST_F(SettingsTest, OnlyTheCharacterAfterTheKeyCounts) {
  WriteFile("a.upd\nPort=12\n");
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(port, 1);

  WriteFile("a.upd\nold Port=7 and more\n");
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(port, 7);
}

TEST_F(SettingsTest, RejectsIncompleteFilesWithoutTouchingTheResults) {
  for (const char* content : {"", "a.upd\n", "a.upd", "a.upd\nPort=-1\n", "a.upd\nPort=\n",
                              "a.upd\nport=3\n", "a.upd\nCom=3\nPort=3\n"}) {
    WriteFile(content);
    EXPECT_FALSE(LoadSettings(directory, &path, &port)) << content;
  }
  EXPECT_EQ(path, "unchanged");
  EXPECT_EQ(port, -7);
}

TEST_F(SettingsTest, MissingFileOrUnwritableDirectoryFailQuietly) {
  EXPECT_FALSE(LoadSettings(directory, &path, &port));
  SaveSettings("no-such-directory/", "a.upd", 0);
  EXPECT_FALSE(LoadSettings("no-such-directory/", &path, &port));
}

}  // namespace
