#include "xsvf/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

// Each test works in a folder of its own in the working directory.
class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  static void Save(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  // The names in the folder: a temporary file left behind would show here.
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
  }
  // A symbolic link, where the platform lets the test make one (Wine may not).
  bool Link(const std::string& target, const std::string& link) {
    std::error_code error;
    fs::create_symlink(target, link, error);
    return !error;
  }

  const std::string folder = "output_file_test/";
};

TEST_F(OutputFileTest, AtomicFileReplacesTheTargetOnlyOnCommit) {
  const std::string target = folder + "out.bin";
  Save(target, "old");
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write("new bytes", 9));
    EXPECT_EQ(Load(target), "old");  // nothing reaches the target before the commit
    EXPECT_EQ(Entries(), 2u);
    ASSERT_TRUE(file.Commit());
  }
  EXPECT_EQ(Load(target), "new bytes");
  EXPECT_EQ(Entries(), 1u);

  {
    AtomicFile abandoned(target);  // a run that fails before its end
    ASSERT_TRUE(abandoned.Open());
    abandoned.Write("partial", 7);
  }
  EXPECT_EQ(Load(target), "new bytes");
  EXPECT_EQ(Entries(), 1u);

  EXPECT_TRUE(WriteFileAtomically(folder + "fresh.bin", "", 0));
  EXPECT_EQ(Load(folder + "fresh.bin"), "");
  EXPECT_FALSE(WriteFileAtomically(folder + "no/such/folder.bin", "x", 1));
  AtomicFile unopened(target);
  EXPECT_FALSE(unopened.Write("x", 1));
  EXPECT_FALSE(unopened.Commit());
  EXPECT_EQ(Load(target), "new bytes");
}

TEST_F(OutputFileTest, ALinkAtTheNameIsNeitherFollowedNorReplaced) {
  Save(folder + "precious.txt", "keep me");
  if (!Link("precious.txt", folder + "log.txt")) GTEST_SKIP() << "no symbolic links here";
  EXPECT_EQ(CreateNoFollow(folder + "log.txt"), nullptr);
  EXPECT_EQ(Load(folder + "precious.txt"), "keep me");

  std::FILE* plain = CreateNoFollow(folder + "plain.txt");
  ASSERT_NE(plain, nullptr);
  std::fputs("x", plain);
  std::fclose(plain);
  EXPECT_EQ(Load(folder + "plain.txt"), "x");
}

TEST_F(OutputFileTest, SameFileSeesThroughSpellingsAndLinks) {
  Save(folder + "a.svf", "a");
  Save(folder + "b.svf", "b");
  EXPECT_TRUE(SameFile(folder + "a.svf", folder + "a.svf"));
  EXPECT_TRUE(SameFile(folder + "a.svf", "./" + folder + "../" + folder + "a.svf"));
  EXPECT_FALSE(SameFile(folder + "a.svf", folder + "b.svf"));
  EXPECT_FALSE(SameFile(folder + "a.svf", folder + "missing.svf"));
  if (Link("a.svf", folder + "link.svf")) {
    EXPECT_TRUE(SameFile(folder + "a.svf", folder + "link.svf"));
  }
}

}  // namespace
