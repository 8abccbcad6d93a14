// The platform's SHA-256 behind our interface, against the standard's known
// answers, fed whole and in pieces of every size.

#include "engine/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>

namespace {

std::string HashOf(const std::string& text, size_t piece) {
  Sha256 hash;
  for (size_t at = 0; at < text.size(); at += piece) {
    hash.Update(text.data() + at, std::min(piece, text.size() - at));
  }
  Sha256Digest digest;
  EXPECT_TRUE(hash.Finish(&digest));
  return Sha256Hex(digest);
}

TEST(Sha256, GivesTheKnownAnswers) {
  const std::pair<std::string, std::string> answers[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [text, digest] : answers) {
    SCOPED_TRACE(text.substr(0, 16));
    EXPECT_EQ(HashOf(text, text.size() + 1), digest);
    EXPECT_EQ(HashOf(text, 1), digest);
    EXPECT_EQ(HashOf(text, 63), digest);
    EXPECT_EQ(HashOf(text, 65536), digest);
  }
}

TEST(Sha256, TakesNothingAfterItsFinish) {
  Sha256 hash;
  hash.Update("abc", 3);
  Sha256Digest digest;
  ASSERT_TRUE(hash.Finish(&digest));
  EXPECT_FALSE(hash.Finish(&digest));
}

// A file larger than the pieces it is read in, and one that is not there.
TEST(Sha256, HashesAWholeFile) {
  const std::string text(200000, 'a');
  std::FILE* file = std::fopen("sha256_file.bin", "wb");
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  Sha256Digest digest{};
  ASSERT_TRUE(Sha256OfFile("sha256_file.bin", &digest));
  EXPECT_EQ(Sha256Hex(digest), HashOf(text, text.size()));
  EXPECT_FALSE(Sha256OfFile("no_such_file.bin", &digest));
}

}  // namespace
