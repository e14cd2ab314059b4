#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "core_test_folder.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/streams.h"

TEST(CoreStreams, MemoryStreamReadWriteSeek) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Position(), 11);
  EXPECT_EQ(s.Seek(-5, soFromEnd), 6);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 100), 5);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(s.Read(buf, 1), 0);
  EXPECT_EQ(s.Seek(-1, soBeginning), -1);  // refused, position kept
  EXPECT_EQ(s.Position(), 11);
  s.SetPosition(0);
  EXPECT_THROW(s.ReadBuffer(buf, 12), EReadError);
}

// Offsets read from a damaged stream can be anything: the extremes are
// refused like any other move before the start, never wrapped around.
TEST(CoreStreams, ExtremeSeekOffsetsAreRefused) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  s.SetPosition(3);
  constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
  for (TSeekOrigin origin : {soBeginning, soCurrent, soEnd}) {
    EXPECT_EQ(s.Seek(lowest, origin), -1);
    EXPECT_EQ(s.Seek(lowest + 1, origin), -1);
    EXPECT_EQ(s.Position(), 3);
  }
  EXPECT_EQ(s.Seek(highest, soBeginning), highest);
  EXPECT_EQ(s.Seek(1, soCurrent), -1);
  char buf[4] = {};
  EXPECT_EQ(s.Read(buf, 4), 0);
  s.SetPosition(6);
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "worl");
}

TEST(CoreStreams, WritingPastTheEndFillsTheGapWithZeros) {
  TMemoryStream s;
  s.WriteBuffer("ab", 2);
  s.SetSize(1);
  EXPECT_EQ(s.Position(), 1);
  s.Seek(4, soFromBeginning);
  EXPECT_EQ(s.Size(), 1);
  char dummy;
  EXPECT_EQ(s.Read(&dummy, 1), 0);  // reading past the end reads nothing
  s.WriteBuffer("z", 1);
  ASSERT_EQ(s.Size(), 5);
  EXPECT_EQ(std::memcmp(s.Memory(), "a\0\0\0z", 5), 0);  // the old "b" is gone too
}

TEST(CoreStreams, MemoryStreamGrowsGeometrically) {
  TMemoryStream s;
  int reallocations = 0;
  std::int64_t capacity = s.Capacity();
  for (int i = 0; i < 100000; ++i) {
    s.WriteBuffer(&i, sizeof(i));
    if (s.Capacity() != capacity) {
      ++reallocations;
      capacity = s.Capacity();
    }
  }
  EXPECT_LT(reallocations, 40);
  int v = 0;
  s.Seek(4 * 99999, soBeginning);
  s.ReadBuffer(&v, 4);
  EXPECT_EQ(v, 99999);
}

TEST(CoreStreams, SaveLoadAndCopyRoundTrip) {
  TestFolder dir;
  TMemoryStream a;
  std::string data;
  for (int i = 0; i < 300000; ++i) data.push_back(char(i * 7));
  a.WriteBuffer(data.data(), std::int64_t(data.size()));
  a.SaveToFile(dir / u"blob.bin");
  EXPECT_EQ(FileSize(dir / u"blob.bin"), std::int64_t(data.size()));

  TMemoryStream b;
  b.LoadFromFile(dir / u"blob.bin");
  ASSERT_EQ(b.Size(), std::int64_t(data.size()));
  EXPECT_EQ(b.Position(), 0);
  EXPECT_EQ(std::memcmp(b.Memory(), data.data(), data.size()), 0);

  TFileStream f(dir / u"copy.bin", fmCreate);
  EXPECT_EQ(f.CopyFrom(&b, 0), std::int64_t(data.size()));
  b.SetPosition(10);
  EXPECT_EQ(f.CopyFrom(&b, 5), 5);
  EXPECT_EQ(f.Size(), std::int64_t(data.size()) + 5);
  b.SetPosition(b.Size() - 2);
  EXPECT_THROW(f.CopyFrom(&b, 5), EReadError);
}

TEST(CoreStreams, FileStreamModes) {
  TestFolder dir;
  const String name = dir / u"f.txt";
  {
    TFileStream w(name, fmCreate);
    w.WriteBuffer("0123456789", 10);
  }
  {
    TFileStream rw(name, fmOpenReadWrite | fmShareDenyNone);
    rw.Seek(2, soBeginning);
    rw.WriteBuffer("ab", 2);
    rw.SetSize(6);
    EXPECT_EQ(rw.Size(), 6);
  }
  {
    TFileStream r(name, fmOpenRead);
    char buf[8] = {};
    EXPECT_EQ(r.Read(buf, 8), 6);
    EXPECT_STREQ(buf, "01ab45");
    EXPECT_EQ(r.Write("x", 1), 0);  // opened for reading only
  }
  {
    TFileStream again(name, fmCreate);  // empties an existing file
    EXPECT_EQ(again.Size(), 0);
  }
}

TEST(CoreStreams, FileStreamErrorsNameTheFullPath) {
  TestFolder dir;
  const String old = GetCurrentDir();
  ASSERT_TRUE(SetCurrentDir(dir.Path()));
  const String cwd = IncludeTrailingPathDelimiter(GetCurrentDir());
  try {
    TFileStream s(u"sub/../missing.bin", fmOpenRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), u"Cannot open file \"" + cwd + u"missing.bin\". No such file or directory");
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  try {
    TFileStream s(u"no/such/folder/new.bin", fmCreate);
    ADD_FAILURE() << "created a file in a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), u"Cannot create file \"" + cwd + u"no/such/folder/new.bin\". No such file or directory");
  }
  ASSERT_TRUE(CreateDir(u"folder"));
  EXPECT_THROW(TFileStream(u"folder", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(u"", fmOpenRead), EFOpenError);
  SetCurrentDir(old);
}

namespace {

class BlockStream : public TCustomMemoryStream {
public:
  BlockStream(void* block, std::int64_t size) { SetPointer(block, size); }
};

}  // namespace

TEST(CoreStreams, StreamOverForeignMemoryReadsButNeverWrites) {
  char block[] = "abcdef";
  BlockStream s(block, 6);
  char buf[4] = {};
  s.Seek(2, soBeginning);
  s.ReadBuffer(buf, 3);
  EXPECT_STREQ(buf, "cde");
  EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
  EXPECT_THROW(s.SetSize(2), EStreamError);
  EXPECT_STREQ(block, "abcdef");
  TMemoryStream copy;
  copy.LoadFromStream(&s);
  EXPECT_EQ(copy.Size(), 6);
}

// Growth that the memory cannot give is refused, and the stream keeps the
// bytes it held; a shrink and a regrowth leave zeros between, and a cleared
// stream starts again from nothing.
TEST(CoreStreams, AMemoryStreamThatCannotGrowKeepsWhatItHolds) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  s.SetSize(2);
  s.SetSize(5);
  ASSERT_EQ(s.Size(), 5);
  EXPECT_EQ(std::memcmp(s.Memory(), "ab\0\0\0", 5), 0);
#if !defined(__SANITIZE_ADDRESS__)
  // The sanitizer's allocator stops the program instead of failing.
  const std::int64_t capacity = s.Capacity();
  EXPECT_THROW(s.SetSize(std::int64_t(1) << 62), EOutOfMemory);
  s.SetPosition(std::numeric_limits<std::int64_t>::max() - 8);
  EXPECT_THROW(s.WriteBuffer("xy", 2), EOutOfMemory);
  EXPECT_EQ(s.Capacity(), capacity);
  ASSERT_EQ(s.Size(), 5);
  EXPECT_EQ(std::memcmp(s.Memory(), "ab\0\0\0", 5), 0);
#endif
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Capacity(), 0);
  EXPECT_EQ(s.Position(), 0);
  s.WriteBuffer("z", 1);
  EXPECT_EQ(s.Size(), 1);
  EXPECT_EQ(*static_cast<const char*>(s.Memory()), 'z');
}
