// The publication of a set of files into a folder: every target checked
// before anything moves, a failed move undone as a whole, the folder taken
// by one run at a time, links and permissions kept as the atomic writer
// keeps them, and what runs that died left behind finished and cleared.
#include "exports/Publication.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "formats/AtomicFile.h"
#include "support/Files.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;

using ::sondralis::testing::ReadAll;
using ::sondralis::testing::Names;


std::string Message(const std::function<void()>& work) {
  try {
    work();
  } catch (const EExportError& e) {
    return e.what();
  }
  return "no error";
}

class PublicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sondralis-publication-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
    out = dir / "out";
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir);
  }
  // The folder's files and their contents.
  std::map<std::string, std::string> Contents() const {
    std::map<std::string, std::string> contents;
    for (const std::string& name : Names(out))
      contents[name] = fs::is_directory(fs::symlink_status(out / name)) ? "<folder>" : ReadAll(out / name);
    return contents;
  }
  // A set of new files staged for the folder.
  std::unique_ptr<TStagingFolder> Stage(const std::vector<std::string>& Files) {
    auto staging = std::make_unique<TStagingFolder>(out);
    for (const std::string& name : Files) WriteFileAtomically(staging->File(name), "new " + name);
    return staging;
  }
  fs::path dir, out;
};

TEST_F(PublicationTest, EveryTargetIsCheckedFirstAndAFailedMovePutsEverythingBack) {
  for (const char* name : {"a.txt", "b.txt", "d.txt"}) std::ofstream(out / name) << "old " << name;
  const std::vector<std::string> files = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
  const auto before = Contents();

  // A folder where a file goes: refused before the first move, also when
  // asked before anything was made.
  fs::create_directories(out / "d.txt.d");
  fs::rename(out / "d.txt", dir / "d.txt");
  fs::rename(out / "d.txt.d", out / "d.txt");
  {
    auto staging = Stage(files);
    EXPECT_NE(Message([&] { staging->CheckTargets({"a.txt", "d.txt"}); }).find(
                  (out / "d.txt").string() + ": it is a folder"),
              std::string::npos);
    EXPECT_NE(Message([&] { staging->Publish(); }).find("it is a folder"), std::string::npos);
  }
  fs::remove(out / "d.txt");
  fs::rename(dir / "d.txt", out / "d.txt");
  EXPECT_EQ(Contents(), before) << "nothing replaced, nothing left";

  // A move that fails after every check passed (here the fourth): the three
  // before it are undone, old files back, new names gone.
  for (const std::string failing : {"d.txt", "e.txt", "a.txt"}) {
    auto staging = Stage(files);
    staging->BeforeMove = [&](const std::string& name) {
      if (name == failing) fs::remove(staging->File(name));
    };
    const std::string message = Message([&] { staging->Publish(); });
    EXPECT_NE(message.find("can't move " + failing + " into " + out.string()), std::string::npos) << message;
    EXPECT_NE(message.find("nothing in " + out.string() + " was changed"), std::string::npos) << message;
    staging.reset();
    EXPECT_EQ(Contents(), before) << failing;
  }

  auto staging = Stage(files);
  EXPECT_EQ(staging->Publish(), files);
  staging.reset();
  std::map<std::string, std::string> after;
  for (const std::string& name : files) after[name] = "new " + name;
  EXPECT_EQ(Contents(), after);
}

// The rules of the atomic writer: a link stays a link and its file is
// replaced, wherever it lies; a read-only file is refused; a replaced file
// keeps its permissions.
TEST_F(PublicationTest, LinksStayLinksReadOnlyFilesStayAndModesAreKept) {
  fs::create_directories(dir / "elsewhere");
  std::ofstream(dir / "elsewhere" / "real.gpx") << "old";
  fs::create_symlink(dir / "elsewhere" / "real.gpx", out / "linked.gpx");
  std::ofstream(out / "private.csv") << "old";
  fs::permissions(out / "private.csv", fs::perms(0640));
  {
    auto staging = Stage({"linked.gpx", "private.csv", "fresh.asc"});
    staging->Publish();
  }
  EXPECT_TRUE(fs::is_symlink(out / "linked.gpx"));
  EXPECT_EQ(ReadAll(dir / "elsewhere" / "real.gpx"), "new linked.gpx");
  EXPECT_EQ(Names(dir / "elsewhere"), std::vector<std::string>{"real.gpx"}) << "no temporary left beside it";
  EXPECT_EQ(fs::status(out / "private.csv").permissions(), fs::perms(0640));
  EXPECT_EQ(ReadAll(out / "fresh.asc"), "new fresh.asc");

  std::ofstream(out / "locked.bmp") << "keep";
  fs::permissions(out / "locked.bmp", fs::perms(0444));
  const auto before = Contents();
  {
    auto staging = Stage({"fresh.asc", "locked.bmp"});
    EXPECT_NE(Message([&] { staging->Publish(); }).find((out / "locked.bmp").string() + ": the file is read-only"),
              std::string::npos);
  }
  EXPECT_EQ(Contents(), before);
}

// One run at a time: a second is told the folder is busy and by whom, and
// gets it once the first is done; the lock leaves no file behind, and a new
// folder (with the folders above it) goes again when nothing was published.
TEST_F(PublicationTest, OneRunAtATimeAndNothingLeftBehind) {
  {
    TStagingFolder first(out);
    const std::string message = Message([&] { TStagingFolder second(out); });
    EXPECT_NE(message.find(out.string() + " is busy: another run (process " + std::to_string(::getpid()) + ")"),
              std::string::npos)
        << message;
  }
  EXPECT_TRUE(Names(out).empty());
  { TStagingFolder again(out); }
  EXPECT_TRUE(Names(out).empty());

  // Held by another process, which dies: the folder is free again.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::open((out / ".sondralis-map.lock").c_str(), O_RDWR | O_CREAT, 0666);
    ::flock(fd, LOCK_EX);
    if (::write(ready[1], "x", 1) != 1) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_NE(Message([&] { TStagingFolder blocked(out); }).find("is busy"), std::string::npos);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  { TStagingFolder after(out); }
  EXPECT_TRUE(Names(out).empty()) << "the dead run's lock file goes too";

  const fs::path nested = dir / "new" / "deeper" / "map";
  { auto staging = std::make_unique<TStagingFolder>(nested); }
  EXPECT_FALSE(fs::exists(dir / "new"));
  fs::permissions(dir, fs::perms::owner_write, fs::perm_options::remove);
  if (::access(dir.c_str(), W_OK) != 0) {  // not as root
    EXPECT_NE(Message([&] { TStagingFolder refused(nested); }).find("can't create the output folder"),
              std::string::npos);
  }
}

// A run killed in the middle of its moves: the next run into the folder
// finishes them (every new file was complete before the first move), and
// removes the staging folders of runs that died before publishing.
TEST_F(PublicationTest, RunsThatDiedAreFinishedAndCleared) {
  std::ofstream(out / "b.txt") << "old b.txt";
  std::ofstream(out / "d.txt") << "old d.txt";
  fs::create_directories(out / ".sondralis-map-Ab3dEf");
  std::ofstream(out / ".sondralis-map-Ab3dEf" / "a.txt") << "half";
  std::ofstream(out / "notes.sondralis-map-Ab3dEf") << "a file of the user's";

  const pid_t run = ::fork();
  ASSERT_GE(run, 0);
  if (run == 0) {
    TStagingFolder staging(out);
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) WriteFileAtomically(staging.File(name), name);
    staging.BeforeMove = [](const std::string& name) {
      if (name == "c.txt") ::_exit(0);  // as a kill would end it
    };
    staging.Publish();
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(run, &status, 0), run);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadAll(out / "b.txt"), "b.txt") << "moved before the kill";
  EXPECT_EQ(ReadAll(out / "d.txt"), "old d.txt") << "not yet";

  { TStagingFolder next(out); }
  EXPECT_EQ(Names(out), (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt", "notes.sondralis-map-Ab3dEf"}));
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) EXPECT_EQ(ReadAll(out / name), name);
}

TEST(StaleHTParts, EveryPartBeyondTheNewSetIsNamedGapsOrNot) {
  const fs::path folder = fs::temp_directory_path() / ("sondralis-stale-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  for (const char* name : {"000.ht", "001.ht", "003.HT", "012.ht", "0001.ht", "abc.ht", "004.hta", "notes.txt"})
    std::ofstream(folder / name) << "x";
  EXPECT_EQ(StaleHTParts(folder, 1), (std::vector<std::string>{"001.ht", "003.HT", "012.ht"}));
  EXPECT_EQ(StaleHTParts(folder, 4), std::vector<std::string>{"012.ht"});
  EXPECT_TRUE(StaleHTParts(folder, 13).empty());
  fs::remove_all(folder);
}

}  // namespace
}  // namespace sondralis
