#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "formats/AtomicFile.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

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

}  // namespace
}  // namespace sondralis
