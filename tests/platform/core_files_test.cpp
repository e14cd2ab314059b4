#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <vector>

#include "core_test_folder.h"
#include "platform/core/exception.h"
#include "platform/core/files.h"
#include "platform/core/files_temporary.h"
#include "platform/core/streams.h"
#include "tests/other_file_system.h"

namespace {

void touch(const String& name, int bytes = 0) {
  TFileStream f(name, fmCreate);
  for (int i = 0; i < bytes; ++i) f.WriteBuffer("x", 1);
}

std::vector<String> find(const String& path, int attr) {
  std::vector<String> names;
  TSearchRec rec;
  for (int r = FindFirst(path, attr, rec); r == 0; r = FindNext(rec)) names.push_back(rec.Name);
  FindClose(rec);
  return names;
}

using Names = std::vector<String>;

}  // namespace

TEST(CoreFiles, FindByMask) {
  TestFolder dir;
  touch(dir / u"b.tamrix", 3);
  touch(dir / u"a.tamrix");
  touch(dir / u"c.TAMRIX");
  touch(dir / u"readme");
  touch(dir / u"x.tamrix.bak");
  touch(dir / u".hidden.tamrix");
  ASSERT_TRUE(CreateDir(dir / u"d.tamrix"));

  EXPECT_EQ(find(dir / u"*.tamrix", 0), (Names{u"a.tamrix", u"b.tamrix"}));
  EXPECT_EQ(find(dir / u"*.tamrix", faAnyFile), (Names{u".hidden.tamrix", u"a.tamrix", u"b.tamrix", u"d.tamrix"}));
  EXPECT_EQ(find(dir / u"*.*", 0), (Names{u"a.tamrix", u"b.tamrix", u"c.TAMRIX", u"readme", u"x.tamrix.bak"}));
  EXPECT_EQ(find(dir / u"?.tamrix", 0), (Names{u"a.tamrix", u"b.tamrix"}));
  EXPECT_EQ(find(dir / u"read*.*", 0), (Names{u"readme"}));
  EXPECT_EQ(find(dir / u"*.zip", faAnyFile), Names{});
  EXPECT_EQ(find(dir / u"nofolder/*.*", faAnyFile), Names{});

  TSearchRec rec;
  ASSERT_EQ(FindFirst(dir / u"b.*", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Size, 3);
  EXPECT_EQ(rec.Attr & faDirectory, 0);
  EXPECT_NE(FindNext(rec), 0);
  FindClose(rec);
  ASSERT_EQ(FindFirst(dir / u"d.*", faDirectory, rec), 0);
  EXPECT_NE(rec.Attr & faDirectory, 0);
  FindClose(rec);
}

TEST(CoreFiles, MaskMatchingHasNoPathologicalCases) {
  EXPECT_TRUE(MatchesMask(u"abc", u"a*c"));
  EXPECT_TRUE(MatchesMask(u"ac", u"a*c"));
  EXPECT_FALSE(MatchesMask(u"abcd", u"a*c"));
  EXPECT_TRUE(MatchesMask(u"a.b.c", u"*.c"));
  EXPECT_FALSE(MatchesMask(u"abc", u"a?"));
  EXPECT_TRUE(MatchesMask(u"", u"*"));
  const String longName(5000, u'a');
  EXPECT_FALSE(MatchesMask(longName, u"*a*a*a*a*a*a*a*a*b"));
}

TEST(CoreFiles, FileAndFolderChanges) {
  TestFolder dir;
  const String deep = dir / u"x/y/z";
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep + u"/"));
  EXPECT_FALSE(FileExists(deep));
  touch(deep + u"/f", 4);
  EXPECT_TRUE(FileExists(deep + u"/f"));
  EXPECT_EQ(FileSize(deep + u"/f"), 4);
  EXPECT_EQ(FileSize(deep), -1);
  EXPECT_GT(FileAge(deep + u"/f"), 1600000000);
  EXPECT_FALSE(DeleteFile(deep));  // never a folder
  EXPECT_FALSE(RemoveDir(deep));   // not empty

  touch(dir / u"g");
  EXPECT_FALSE(RenameFile(deep + u"/f", dir / u"g"));  // no silent replace
  EXPECT_TRUE(FileExists(deep + u"/f"));
  EXPECT_TRUE(RenameFile(deep + u"/f", dir / u"h"));
  EXPECT_FALSE(FileExists(deep + u"/f"));
  EXPECT_TRUE(DeleteFile(dir / u"h"));
  EXPECT_FALSE(DeleteFile(dir / u"h"));
  EXPECT_TRUE(RemoveDir(deep));
  EXPECT_FALSE(FileExists(u""));
  EXPECT_FALSE(DirectoryExists(u""));
}

TEST(CoreFiles, PipesAndDevicesAreNotFilesButLinksToFilesAre) {
  TestFolder dir;
  const String fifo = dir / u"pipe";
  ASSERT_EQ(::mkfifo(UTF16ToUTF8(fifo).c_str(), 0600), 0);
  EXPECT_FALSE(FileExists(fifo));
  EXPECT_FALSE(FileExists(u"/dev/null"));
  EXPECT_FALSE(FileExists(u"/dev/zero"));
  touch(dir / u"real", 1);
  ASSERT_EQ(::symlink("real", UTF16ToUTF8(dir / u"link").c_str()), 0);
  EXPECT_TRUE(FileExists(dir / u"link"));
  ASSERT_EQ(::symlink("pipe", UTF16ToUTF8(dir / u"pipe-link").c_str()), 0);
  EXPECT_FALSE(FileExists(dir / u"pipe-link"));
}

TEST(CoreFiles, NameRoutines) {
  EXPECT_EQ(ExtractFilePath(u"/a/b.c/d.txt"), u"/a/b.c/");
  EXPECT_EQ(ExtractFileDir(u"/a/b.c/d.txt"), u"/a/b.c");
  EXPECT_EQ(ExtractFileDir(u"/d.txt"), u"/");
  EXPECT_EQ(ExtractFileName(u"/a/b.c/d.txt"), u"d.txt");
  EXPECT_EQ(ExtractFileName(u"plain"), u"plain");
  EXPECT_EQ(ExtractFileExt(u"/a/b.c/d.tar.gz"), u".gz");
  EXPECT_EQ(ExtractFileExt(u"/a/b.c/d"), u"");
  EXPECT_EQ(ChangeFileExt(u"/a/b.c/d", u".zip"), u"/a/b.c/d.zip");
  EXPECT_EQ(ChangeFileExt(u"d.tamrix", u""), u"d");
  EXPECT_EQ(IncludeTrailingPathDelimiter(u"a"), u"a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(u"a/"), u"a/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(u"a/"), u"a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(u"/"), u"/");

  EXPECT_EQ(ExpandFileName(u"/a//b/./c/../d"), u"/a/b/d");
  EXPECT_EQ(ExpandFileName(u"/../../x"), u"/x");
  EXPECT_EQ(ExpandFileName(u"/a/b/"), u"/a/b/");
  EXPECT_EQ(ExpandFileName(u"data/x.tamrix"), IncludeTrailingPathDelimiter(GetCurrentDir()) + u"data/x.tamrix");
  EXPECT_EQ(ExpandFileName(u""), u"");
}

TEST(CoreFiles, ProcessFolders) {
  const String exe = ApplicationExeFolder();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.back(), u'/');
  EXPECT_TRUE(DirectoryExists(exe));
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
  EXPECT_EQ(exe + ExtractFileName(UTF8ToUTF16(self)), UTF8ToUTF16(self));

  TestFolder dir;
  const String old = GetCurrentDir();
  EXPECT_TRUE(SetCurrentDir(dir.Path()));
  EXPECT_EQ(IncludeTrailingPathDelimiter(GetCurrentDir()), dir.Path());
  EXPECT_FALSE(SetCurrentDir(dir / u"missing"));
  EXPECT_TRUE(SetCurrentDir(old));
  EXPECT_EQ(GetTempDirectory().back(), u'/');
}

TEST(CoreFiles, SafeWriteReplacesWholeOrKeepsTheOldFile) {
  TestFolder dir;
  const String file = dir / u"f.txt";
  WriteFileSafely(file, "one", 3);
  WriteFileSafely(file, "second", 6);
  EXPECT_EQ(FileSize(file), 6);
  struct stat st {};
  ASSERT_EQ(stat(UTF16ToUTF8(file).c_str(), &st), 0);
  // Made as new files usually are, not private like a temporary file.
  EXPECT_NE(st.st_mode & 0044, 0u);
  try {
    WriteFileSafely(dir / u"no/f.txt", "x", 1);
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find(dir / u"no/f.txt"), String::npos);
  }
  // A folder in the way: the target is not replaced and no temporary file stays.
  ASSERT_TRUE(CreateDir(dir / u"d"));
  EXPECT_THROW(WriteFileSafely(dir / u"d", "x", 1), EFCreateError);
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"d", u"f.txt"}));
}

TEST(CoreFiles, ASetOfFilesTakesItsPlaceOnlyWhenEveryFileIsWritten) {
  TestFolder dir;
  WriteFileSafely(dir / u"page.html", "old", 3);
  {
    TSafeFileSet set;
    set.Add(dir / u"a.png", "pic", 3);
    EXPECT_THROW(set.Add(dir / u"missing/b.png", "pic", 3), EFCreateError);
    // Nothing was renamed, and the set is empty after the failure.
    set.Add(dir / u"page.html", "new", 3);
    EXPECT_EQ(find(dir / u"*", faArchive), (Names{u"page.html"}));
    EXPECT_EQ(FileSize(dir / u"page.html"), 3);
  }
  // Dropped without Commit: its temporary file goes too.
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"page.html"}));
  TSafeFileSet set;
  set.Add(dir / u"a.png", "picture", 7);
  set.Add(dir / u"page.html", "newer", 5);
  set.Commit();
  EXPECT_EQ(FileSize(dir / u"a.png"), 7);
  EXPECT_EQ(FileSize(dir / u"page.html"), 5);
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"a.png", u"page.html"}));
}

// A file another writer fills by name (a print job): it is written under a
// hidden name beside its target, flushed and renamed by Commit, or removed
// when the set is dropped.
TEST(CoreFiles, AFileWrittenByNameTakesItsPlaceOnCommit) {
  TestFolder dir;
  WriteFileSafely(dir / u"doc.pdf", "old", 3);
  {
    TSafeFileSet set;
    const String temp = set.AddByName(dir / u"doc.pdf");
    EXPECT_EQ(ExtractFilePath(temp), dir.Path());
    EXPECT_TRUE(IsOwnTemporaryName(UTF16ToUTF8(ExtractFileName(temp)).c_str())) << UTF16ToUTF8(temp);
    std::ofstream(UTF16ToUTF8(temp)) << "half";
  }
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"doc.pdf"}));
  EXPECT_EQ(FileSize(dir / u"doc.pdf"), 3);
  TSafeFileSet set;
  std::ofstream(UTF16ToUTF8(set.AddByName(dir / u"doc.pdf"))) << "whole document";
  set.Commit();
  EXPECT_EQ(FileSize(dir / u"doc.pdf"), 14);
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"doc.pdf"}));
  EXPECT_THROW(set.AddByName(dir / u"missing/doc.pdf"), EFCreateError);
}

namespace {

// The temporaries in a folder, whoever wrote them.
Names temporariesIn(const String& folder) {
  Names found;
  for (const String& name : find(folder + u"*", faAnyFile | faHidden))
    if (IsOwnTemporaryName(UTF16ToUTF8(name).c_str())) found.push_back(name);
  return found;
}

}  // namespace

TEST(CoreFiles, AWriteSweepsWhatAKilledWriterLeftAndNothingElse) {
  TestFolder dir;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    // Another run of the program, half way through a file that it writes
    // by name (a print job).
    TSafeFileSet set;
    std::FILE* f = std::fopen(UTF16ToUTF8(set.AddByName(dir / u"doc.pdf")).c_str(), "wb");
    if (!f || std::fputs("half a document", f) < 0 || std::fflush(f) != 0) _exit(1);
    if (write(ready[1], "x", 1) != 1) _exit(1);
    for (;;) pause();
  }
  // Whatever happens to the test, the writer does not outlive it.
  struct Reaper {
    pid_t Pid;
    void Kill() {
      if (Pid <= 0) return;
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
      Pid = 0;
    }
    ~Reaper() { Kill(); }
  } reaper{writer};
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  close(ready[1]);
  // Files that only look like temporaries are the user's.
  WriteFileSafely(dir / u".tamrix-0123", "mine", 4);
  WriteFileSafely(dir / u".tamrix-0123456789ABCDEF", "mine", 4);
  ASSERT_EQ(temporariesIn(dir.Path()).size(), 1u);
  // The writer lives: its file stays, whatever is written beside it.
  WriteFileSafely(dir / u"page.html", "page", 4);
  EXPECT_EQ(temporariesIn(dir.Path()).size(), 1u);
  reaper.Kill();
  // Killed, it is gone by the next write into the folder.
  EXPECT_EQ(temporariesIn(dir.Path()).size(), 1u);
  WriteFileSafely(dir / u"page.html", "page again", 10);
  EXPECT_EQ(temporariesIn(dir.Path()), Names{});
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden),
            (Names{u".tamrix-0123", u".tamrix-0123456789ABCDEF", u"page.html"}));
  // The sweep alone, as a starting program does it.
  WriteFileSafely(dir / u".tamrix-00000000000000ff", "left", 4);
  SweepLeftoverTemporaries(dir.Path());
  EXPECT_EQ(temporariesIn(dir.Path()), Names{});
}

TEST(CoreFiles, ASetWaitsForAllItsFilesAtOnceAndNamesTheOneThatFails) {
  TestFolder dir;
  // Many files, more than there are waiting threads.
  TSafeFileSet set;
  for (int i = 0; i < 40; ++i) {
    const std::string text = "file " + std::to_string(i);
    set.Add(dir / (u"f" + IntToStr(i)), text.data(), text.size());
  }
  set.Commit();
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden).size(), 40u);
  EXPECT_EQ(FileSize(dir / u"f39"), 7);
  // A rename that fails (a folder in the target's place) after others
  // succeeded: named, and no temporary stays.
  ASSERT_TRUE(CreateDir(dir / u"g2"));
  TSafeFileSet second;
  second.Add(dir / u"g1", "1", 1);
  second.Add(dir / u"g2", "2", 1);
  second.Add(dir / u"g3", "3", 1);
  try {
    second.Commit();
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find(dir / u"g2"), String::npos);
    EXPECT_EQ(e.ErrorCode(), EISDIR);
  }
  EXPECT_EQ(temporariesIn(dir.Path()), Names{});
  EXPECT_FALSE(FileExists(dir / u"g3"));
}

// A move within a folder renames; across file systems the file is copied
// beside its target, flushed and renamed over it, and the original goes.
TEST(CoreFiles, AMoveReplacesItsTargetWholeOnTheSameOrAnotherFileSystem) {
  TestFolder dir;
  WriteFileSafely(dir / u"a", "first", 5);
  WriteFileSafely(dir / u"b", "old", 3);
  EXPECT_EQ(MoveFileReplacing(dir / u"a", dir / u"b"), 0);
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"b"}));
  EXPECT_EQ(FileSize(dir / u"b"), 5);
  EXPECT_EQ(MoveFileReplacing(dir / u"missing", dir / u"c"), ENOENT);

  const std::filesystem::path otherPath = testfs::FolderOnAnotherFileSystem(UTF16ToUTF8(dir.Path()));
  if (otherPath.empty()) GTEST_SKIP() << testfs::kNoOtherFileSystem;
  const testfs::RemovedAtEnd cleanup{otherPath};
  const String other = UTF8ToUTF16(otherPath.string()) + u"/";
  const std::string big(3 << 20, 'x');
  WriteFileSafely(dir / u"big", big.data(), big.size());
  ASSERT_EQ(chmod(UTF16ToUTF8(dir / u"big").c_str(), 0640), 0);
  const timespec times[2] = {{1000000000, 5}, {1200000000, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, UTF16ToUTF8(dir / u"big").c_str(), times, 0), 0);
  WriteFileSafely(other + u"big", "old", 3);
  EXPECT_EQ(MoveFileReplacing(dir / u"big", other + u"big"), 0);
  EXPECT_EQ(FileSize(other + u"big"), std::int64_t(big.size()));
  EXPECT_FALSE(FileExists(dir / u"big"));
  EXPECT_EQ(find(other + u"*", faAnyFile | faHidden), (Names{u"big"}));
  struct stat st {};
  ASSERT_EQ(stat(UTF16ToUTF8(other + u"big").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), std::pair(times[1].tv_sec, times[1].tv_nsec));

  // And back, into a folder that is not there: nothing changes, and no
  // temporary file stays.
  EXPECT_EQ(MoveFileReplacing(other + u"big", dir / u"no/big"), ENOENT);
  EXPECT_EQ(FileSize(other + u"big"), std::int64_t(big.size()));
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"b"}));
  // A link is never followed across: what it points to is not copied.
  ASSERT_EQ(symlink(UTF16ToUTF8(dir / u"b").c_str(), UTF16ToUTF8(other + u"link").c_str()), 0);
  EXPECT_NE(MoveFileReplacing(other + u"link", dir / u"c"), 0);
  EXPECT_FALSE(FileExists(dir / u"c"));
  EXPECT_EQ(find(dir / u"*", faAnyFile | faHidden), (Names{u"b"}));
  // Nor is a named pipe, here or across, and at once: opened, it would
  // wait for a writer for ever.
  const UTF8String pipe = UTF16ToUTF8(other + u"pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const String& to : {dir / u"piped", other + u"piped"}) {
    auto moved = std::async(std::launch::async, [&] { return MoveFileReplacing(other + u"pipe", to); });
    const bool waits = moved.wait_for(std::chrono::seconds(60)) != std::future_status::ready;
    if (waits) ::close(::open(pipe.c_str(), O_WRONLY));
    EXPECT_FALSE(waits) << "the move waits for a writer of the pipe";
    EXPECT_NE(moved.get(), 0);
    EXPECT_EQ(find(other + u"*pipe*", faAnyFile | faHidden), (Names{u"pipe"}));
  }
}
