#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <random>

#include <algorithm>
#include <functional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "formats/AtomicFile.h"
#include "support/Files.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;

using ::sondralis::testing::ReadAll;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sondralis-atomic-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  int FilesInDir() const { return static_cast<int>(std::distance(fs::directory_iterator(dir), fs::directory_iterator())); }
  fs::path dir;
};

TEST_F(AtomicFileTest, ReplacesOnlyOnCommit) {
  const fs::path target = dir / "lake.gpx";
  WriteFileAtomically(target, "good");
  EXPECT_EQ(ReadAll(target), "good");
  {
    AtomicFileWriter w(target);
    w.Write("half");
    EXPECT_EQ(ReadAll(target), "good") << "the old file stays until commit";
    // Destroyed without commit: as if the write had failed halfway.
  }
  EXPECT_EQ(ReadAll(target), "good");
  EXPECT_EQ(FilesInDir(), 1) << "no temporary file left behind";

  WriteFileAtomically(target, "better");
  EXPECT_EQ(ReadAll(target), "better");
  EXPECT_EQ(FilesInDir(), 1);
  // A new file gets the usual permissions, not those of a private temporary.
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IRGRP, 0u);
}

TEST_F(AtomicFileTest, ErrorsNameTheFileAndLeaveNothing) {
  const fs::path missing = dir / "no-such-folder" / "000.ht";
  try {
    WriteFileAtomically(missing, "x");
    FAIL() << "expected an error";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(missing.string()), std::string::npos) << e.what();
  }
  // A directory in the way of the rename: the error reaches the caller and
  // the temporary file is removed.
  fs::create_directories(dir / "taken");
  EXPECT_THROW(WriteFileAtomically(dir / "taken", "x"), EFileError);
  EXPECT_EQ(FilesInDir(), 1);
  EXPECT_THROW(WriteFileAtomically("", "x"), EFileError);
}

mode_t Mode(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

std::string Message(const std::function<void()>& write) {
  try {
    write();
  } catch (const EFileError& e) {
    return e.what();
  }
  return "no error";
}

// Links are followed, the permission bits of the file replaced are kept,
// and a new file gets those of the umask.
TEST_F(AtomicFileTest, ReplacesTheFileALinkPointsToAndKeepsItsMode) {
  fs::create_directories(dir / "real");
  const fs::path file = dir / "real" / "000.ht";
  WriteFileAtomically(file, "old");
  fs::permissions(file, fs::perms(0640));
  fs::create_symlink("real/000.ht", dir / "first");
  fs::create_symlink(dir / "first", dir / "second");  // a chain, absolute then relative
  WriteFileAtomically(dir / "second", "new");
  EXPECT_TRUE(fs::is_symlink(dir / "second"));
  EXPECT_TRUE(fs::is_symlink(dir / "first"));
  EXPECT_EQ(ReadAll(file), "new");
  EXPECT_EQ(Mode(file), 0640u);

  // A link to a file not made yet: the file appears where the link points.
  fs::create_symlink("real/001.ht", dir / "dangling");
  WriteFileAtomically(dir / "dangling", "made");
  EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
  EXPECT_EQ(ReadAll(dir / "real" / "001.ht"), "made");

  const mode_t before = ::umask(027);
  WriteFileAtomically(dir / "masked", "x");
  ::umask(before);
  EXPECT_EQ(Mode(dir / "masked"), 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 2) << "no temporary left";

  fs::create_symlink("loop-b", dir / "loop-a");
  fs::create_symlink("loop-a", dir / "loop-b");
  EXPECT_NE(Message([&] { WriteFileAtomically(dir / "loop-a", "x"); }).find("loop-a"), std::string::npos);
}

// A folder, a pipe and a read-only file are refused with a message naming
// them, and stay exactly what they were.
TEST_F(AtomicFileTest, RefusesAnythingButAMissingOrWritableRegularFile) {
  fs::create_directories(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  WriteFileAtomically(dir / "locked.gpx", "keep me");
  fs::permissions(dir / "locked.gpx", fs::perms(0444));
  fs::create_symlink("pipe", dir / "to-pipe");

  const std::string folder = Message([&] { WriteFileAtomically(dir / "folder", "x"); });
  EXPECT_NE(folder.find((dir / "folder").string() + ": it is a folder"), std::string::npos) << folder;
  for (const char* name : {"pipe", "to-pipe"}) {
    const std::string pipe = Message([&] { WriteFileAtomically(dir / name, "x"); });
    EXPECT_NE(pipe.find((dir / name).string() + ": it is not a regular file"), std::string::npos) << pipe;
  }
  // Also when running as root, to whom every file is writable.
  const std::string locked = Message([&] { WriteFileAtomically(dir / "locked.gpx", "x"); });
  EXPECT_NE(locked.find((dir / "locked.gpx").string() + ": the file is read-only"), std::string::npos) << locked;

  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  EXPECT_TRUE(fs::is_symlink(dir / "to-pipe"));
  EXPECT_EQ(ReadAll(dir / "locked.gpx"), "keep me");
  EXPECT_EQ(Mode(dir / "locked.gpx"), 0444u);
  EXPECT_EQ(FilesInDir(), 4) << "no temporary left";
}

// The temporary file's name adds to the target's; a target whose name is
// as long as the file system allows (255 bytes here, the last characters
// taking two bytes each) still gets a temporary beside it.
TEST_F(AtomicFileTest, NamesAtTheFileSystemsLimitCanBeWritten) {
  const long nameMax = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  ASSERT_GE(nameMax, 64);
  for (const std::size_t length : {static_cast<std::size_t>(nameMax) - 8, static_cast<std::size_t>(nameMax)}) {
    std::string name(length - 8, 'a');
    name += "\xC3\xA9\xC3\xA9.gpx";  // two é and the extension
    ASSERT_EQ(name.size(), length);
    const fs::path target = dir / name;
    WriteFileAtomically(target, "first");
    WriteFileAtomically(target, "second");
    EXPECT_EQ(ReadAll(target), "second") << length;
    fs::remove(target);
    const std::string temporary = TemporaryNameBeside(target.string(), "tmp");
    EXPECT_LE(fs::path(temporary).filename().string().size(), static_cast<std::size_t>(nameMax));
    EXPECT_EQ(fs::path(temporary).parent_path(), dir);
  }
  EXPECT_EQ(FilesInDir(), 0);
}

// Every temporary file is known to the process while it exists, so an
// interrupted run can remove it; eight writers racing for one target leave
// one complete version and nothing else.
TEST_F(AtomicFileTest, TemporariesAreTrackedUntilSettled) {
  TTemporaryPaths& temporaries = TTemporaryPaths::Process();
  const fs::path target = dir / "contours.gpx";
  {
    AtomicFileWriter unfinished(target);
    unfinished.Write("half");
    ASSERT_EQ(temporaries.Tracked(), std::vector<std::string>{unfinished.TemporaryPath()});
    EXPECT_TRUE(fs::exists(unfinished.TemporaryPath()));
    { const auto hold = temporaries.RemoveAll(); }
    EXPECT_FALSE(fs::exists(unfinished.TemporaryPath()));
    EXPECT_TRUE(temporaries.Tracked().empty());
    EXPECT_THROW(unfinished.Commit(), EFileError) << "the interrupted write must not reach the target";
  }
  EXPECT_FALSE(fs::exists(target));

  std::vector<std::string> versions;
  for (int w = 0; w < 8; ++w) versions.push_back(std::string(200000 + w * 1000, static_cast<char>('a' + w)));
  std::vector<std::thread> writers;
  for (int w = 0; w < 8; ++w)
    writers.emplace_back([&, w] {
      for (int round = 0; round < 10; ++round) WriteFileAtomically(target, versions[static_cast<std::size_t>(w)]);
    });
  for (std::thread& t : writers) t.join();
  EXPECT_NE(std::find(versions.begin(), versions.end(), ReadAll(target)), versions.end());
  EXPECT_TRUE(temporaries.Tracked().empty());
  EXPECT_EQ(FilesInDir(), 1);
}

// A large file goes out through the writing thread: every byte arrives in
// order whatever the sizes of the writes, and an error met there (here the
// limit on file sizes) fails the write and leaves the old file as it was.
TEST_F(AtomicFileTest, LargeFilesArriveWholeAndTheirErrorsAreReported) {
  const fs::path target = dir / "season.gpx";
  std::string expected;
  {
    AtomicFileWriter w(target);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    while (expected.size() < 24u << 20) {
      // From a few bytes to blocks written without gathering.
      const std::size_t n = std::size_t{1} << std::uniform_int_distribution<int>(0, 23)(random);
      std::string piece(n, '\0');
      for (std::size_t i = 0; i < n; i += 4096) piece[i] = static_cast<char>(byte(random));
      w.Write(piece);
      expected += piece;
    }
    w.Commit();
  }
  EXPECT_TRUE(ReadAll(target) == expected) << "the file differs from what was written";

  rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 3u << 20;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string message = Message([&] {
    AtomicFileWriter w(target);
    for (int i = 0; i < 10; ++i) w.Write(std::string(1u << 20, 'x'));
    w.Commit();
  });
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(message.find("Can't write " + target.string() + ": File too large"), std::string::npos) << message;
  EXPECT_TRUE(ReadAll(target) == expected) << "the old file must stay";
  EXPECT_EQ(FilesInDir(), 1);
}

}  // namespace
}  // namespace sondralis
