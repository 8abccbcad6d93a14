#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
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
  ASSERT_TRUE(SaveSettings(directory, "C:\\Data\\device.upd", 9));
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

// A value that cannot be read loses only itself: the path stays, the port falls
// back to Com1 (index 0).
TEST_F(SettingsTest, KeepsThePathWhenThePortCannotBeRead) {
  for (const char* content : {"a.upd\n", "a.upd", "a.upd\nPort=-1\n", "a.upd\nPort=\n",
                              "a.upd\nport=3\n", "a.upd\nCom=3\nPort=3\n"}) {
    WriteFile(content);
    path = "unchanged";
    port = -7;
    ASSERT_TRUE(LoadSettings(directory, &path, &port)) << content;
    EXPECT_EQ(path, "a.upd") << content;
    EXPECT_EQ(port, 0) << content;
  }
}

// Saving with no port selected writes Port=-1; the next start keeps the path.
TEST_F(SettingsTest, ASaveWithNoPortSelectedKeepsThePathForTheNextStart) {
  ASSERT_TRUE(SaveSettings(directory, "C:\\Data\\device.upd", -1));
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(path, "C:\\Data\\device.upd");
  EXPECT_EQ(port, 0);
}

TEST_F(SettingsTest, EmptyOrMissingFileIsNotReadAndLeavesTheResultsAlone) {
  EXPECT_FALSE(LoadSettings(directory, &path, &port));
  WriteFile("");
  EXPECT_FALSE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(path, "unchanged");
  EXPECT_EQ(port, -7);
}

// The settings are never rewritten in place: a new file replaces the old one
// whole, so whoever still holds the old one (here a second name for it) sees it
// unchanged, as a save killed halfway would leave it.
TEST_F(SettingsTest, ASaveReplacesTheFileRatherThanRewritingIt) {
  WriteFile("old.upd\nPort=3\n");
  std::error_code error;
  std::filesystem::remove("update.cfg.old");
  std::filesystem::create_hard_link(FilePath(), "update.cfg.old", error);
  if (error) GTEST_SKIP() << "no hard links here";
  ASSERT_TRUE(SaveSettings(directory, "new.upd", 4));
  std::ifstream old("update.cfg.old", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old.upd\nPort=3\n");
  old.close();
  std::filesystem::remove("update.cfg.old");
  ASSERT_TRUE(LoadSettings(directory, &path, &port));
  EXPECT_EQ(path, "new.upd");
}

TEST_F(SettingsTest, AFolderThatCannotBeWrittenFailsTheSaveAndLeavesNothing) {
  EXPECT_FALSE(SaveSettings("no-such-directory/", "a.upd", 0));
  EXPECT_FALSE(LoadSettings("no-such-directory/", &path, &port));
  EXPECT_FALSE(std::filesystem::exists("no-such-directory"));
}

}  // namespace
