// The private copy an update is made from: the file as it was when copied,
// whatever is done to it on disk afterwards, read at any offset.

#include "engine/update_file_copy.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/messages.h"
#include "xsvf/file_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const UpdateFileCopy& copy) {
  Bytes bytes(static_cast<size_t>(copy.Size()));
  EXPECT_EQ(copy.ReadAt(0, bytes.data(), bytes.size()), bytes.size());
  return bytes;
}

TEST(UpdateFileCopy, KeepsTheFileAsItWasWhateverHappensOnDisk) {
  Bytes original(100000);
  for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(WriteFileBytes("copied.upd", original));
  std::string message;
  const auto copy = UpdateFileCopy::Make("copied.upd", &message);
  ASSERT_TRUE(copy) << message;

  ASSERT_TRUE(WriteFileBytes("copied.upd", Bytes(10, 'x')));  // overwritten in place
  EXPECT_EQ(ReadAll(*copy), original);
  ASSERT_TRUE(WriteFileBytes("other.upd", Bytes(5, 'y')));
  std::remove("copied.upd");  // replaced by another file (Windows renames onto no file)
  ASSERT_EQ(std::rename("other.upd", "copied.upd"), 0);
  std::remove("copied.upd");                             // and gone
  EXPECT_EQ(ReadAll(*copy), original);
}

TEST(UpdateFileCopy, ReadsAtAnyOffsetUpToItsEnd) {
  const Bytes bytes = {1, 2, 3, 4, 5};
  const auto copy = UpdateFileCopy::FromBytes(bytes.data(), bytes.size());
  ASSERT_TRUE(copy);
  uint8_t piece[8] = {};
  EXPECT_EQ(copy->ReadAt(3, piece, sizeof piece), 2u);
  EXPECT_EQ(piece[0], 4);
  EXPECT_EQ(piece[1], 5);
  EXPECT_EQ(copy->ReadAt(5, piece, sizeof piece), 0u);
  EXPECT_EQ(UpdateFileCopy().ReadAt(0, piece, sizeof piece), 0u) << "the copy of no file";
}

TEST(UpdateFileCopy, SaysWhyAFileCannotBeCopied) {
  std::string message;
  EXPECT_FALSE(UpdateFileCopy::Make("no-such-file.upd", &message));
  EXPECT_EQ(message, FormatMessageText(MsgFileNotFound, "no-such-file.upd"));
#ifndef _WIN32
  // A file that cannot be opened for another reason is named with the system's
  // reason, never as missing (a name longer than a folder entry can be here).
  const std::string tooLong(300, 'x');
  EXPECT_FALSE(UpdateFileCopy::Make(tooLong, &message));
  EXPECT_EQ(message, "Error: File '" + tooLong + "' cannot be opened: " +
                         std::strerror(ENAMETOOLONG) + ".\n");
#endif
  // A folder: POSIX systems open it but cannot read it, Windows refuses access.
  EXPECT_FALSE(UpdateFileCopy::Make(".", &message));
  EXPECT_TRUE(message == FormatMessageText(MsgFileNotReadable, ".") ||
              message == FormatMessageText(MsgFileNotOpened, ".", std::strerror(EACCES)))
      << message;
}

// A file, or a pipe that never ends, is copied up to the limit and no further:
// one byte more than the limit is refused, the limit itself is taken.
TEST(UpdateFileCopy, StopsAtTheLimitOfWhatAnUpdateFileHolds) {
  ASSERT_TRUE(WriteFileBytes("long.upd", Bytes(1001, 'z')));
  std::string message;
  EXPECT_FALSE(UpdateFileCopy::Make("long.upd", &message, 1000));
  EXPECT_EQ(message,
            "Error: 'long.upd' goes on beyond 1000 bytes, more than an update file holds.\n");
  const auto copy = UpdateFileCopy::Make("long.upd", &message, 1001);
  ASSERT_TRUE(copy) << message;
  EXPECT_EQ(copy->Size(), 1001u);
}

}  // namespace
