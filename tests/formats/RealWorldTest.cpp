#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "FormatsTestSupport.h"
#include "formats/GPXFile.h"
#include "formats/KMLFile.h"

namespace sondralis {
namespace {

using testing::ExpectSameDocument;
using testing::ReadFileBytes;
using testing::TestDataDir;
using testing::TempDir;
namespace fs = std::filesystem;

struct Counts {
  long long wpt = 0, rte = 0, rtept = 0, trk = 0, trkseg = 0, trkpt = 0;
  bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Counts& c) {
  return os << c.wpt << " wpt, " << c.rte << " rte, " << c.rtept << " rtept, " << c.trk << " trk, " << c.trkseg
            << " trkseg, " << c.trkpt << " trkpt";
}

Counts CountOf(const TGPX& doc) {
  Counts c;
  c.wpt = doc.wpt.Count();
  c.rte = doc.rte.Count();
  for (int i = 0; i < doc.rte.Count(); ++i) c.rtept += doc.rte.Routes(i)->Count();
  c.trk = doc.trk.Count();
  for (int i = 0; i < doc.trk.Count(); ++i) {
    c.trkseg += doc.trk.Tracks(i)->Count();
    for (int s = 0; s < doc.trk.Tracks(i)->Count(); ++s) c.trkpt += doc.trk.Tracks(i)->trkseg(s)->Count();
  }
  return c;
}

// The counts made with xmllint by scripts/make-gpx-counts.sh.
std::map<std::string, Counts> CountTable() {
  std::map<std::string, Counts> table;
  std::ifstream in(fs::path(SONDRALIS_FORMATS_TEST_DIR) / "realworld_counts.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    Counts c;
    std::getline(fields, name, '\t');
    fields >> c.wpt >> c.rte >> c.rtept >> c.trk >> c.trkseg >> c.trkpt;
    table[name] = c;
  }
  return table;
}

std::vector<fs::path> FilesWithExtension(const std::string& ext) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(TestDataDir() / "realworld"))
    if (e.path().extension() == ext) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// The files among `files` that xmllint validates against the GPX 1.1 schema.
std::set<std::string> SchemaValid(const std::vector<fs::path>& files, const fs::path& logDir) {
  std::set<std::string> valid;
  const std::string xmllint = SONDRALIS_XMLLINT;
  if (xmllint.empty() || files.empty()) return valid;
  std::string cmd = "'" + xmllint + "' --noout --nonet --schema '" +
                    (TestDataDir() / "schema/gpx-1.1.xsd").string() + "'";
  for (const auto& f : files) cmd += " '" + f.string() + "'";
  const fs::path log = logDir / "xmllint.log";
  cmd += " >/dev/null 2>'" + log.string() + "'";
  (void)std::system(cmd.c_str());
  std::istringstream in(ReadFileBytes(log));
  std::string line;
  while (std::getline(in, line)) {
    const std::string suffix = " validates";
    if (line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
      valid.insert(fs::path(line.substr(0, line.size() - suffix.size())).filename().string());
  }
  return valid;
}

TEST(RealWorldFiles, GpxCountsMatchAnIndependentCount) {
  const auto table = CountTable();
  ASSERT_GT(table.size(), 200u);
  int compared = 0;
  for (const auto& path : FilesWithExtension(".gpx")) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    TGPX doc;
    TGPXFile file;
    file.GPXd = &doc;
    try {
      file.ImportGPXFile(path.string());
    } catch (const EConvertError& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    const auto it = table.find(name);
    if (it == table.end()) {
      // Not well-formed for xmllint either: must fail calmly.
      EXPECT_FALSE(file.Loaded);
      EXPECT_FALSE(file.mLog.empty());
      continue;
    }
    EXPECT_TRUE(file.Loaded) << (file.mLog.empty() ? "" : file.mLog.front());
    EXPECT_EQ(CountOf(doc), it->second);
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(table.size()));
}

TEST(RealWorldFiles, KmlFilesLoad) {
  int withContent = 0;
  for (const auto& path : FilesWithExtension(".kml")) {
    SCOPED_TRACE(path.filename().string());
    TGPX doc;
    TKMLFile file;
    file.GPXd = &doc;
    EXPECT_NO_THROW(file.ImportKML(path.string()));
    EXPECT_TRUE(file.Loaded) << (file.mLog.empty() ? "" : file.mLog.front());
    if (doc.wpt.Count() + doc.trk.Count() > 0) ++withContent;
  }
  EXPECT_GT(withContent, 10);
}

// Every file read, written, and read again gives the same document, and
// writing that again gives the same bytes.
TEST(RealWorldFiles, RoundTripKeepsEverythingAndStaysValid) {
  TempDir dir("realworld");
  std::vector<fs::path> sources, written;
  for (const auto& path : FilesWithExtension(".gpx")) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    TGPX doc;
    TGPXFile file;
    file.GPXd = &doc;
    try {
      file.ImportGPXFile(path.string());
    } catch (const EConvertError&) {
      continue;
    }
    if (!file.Loaded) continue;
    file.GPXOptions.GPX_Style = true;
    const fs::path out = dir / name;
    file.ExportGPX(out.string());
    TGPX again;
    TGPXFile reader;
    reader.GPXd = &again;
    reader.ImportGPXFile(out.string());
    ASSERT_TRUE(reader.Loaded);
    ExpectSameDocument(again, doc);
    // What we write is what we read: a second write gives the same bytes.
    TGPXFile rewriter;
    rewriter.GPXd = &again;
    rewriter.GPXOptions.GPX_Style = true;
    EXPECT_EQ(rewriter.ExportGPXText(), testing::ReadFileBytes(out));
    sources.push_back(path);
    written.push_back(out);
  }
  EXPECT_GT(sources.size(), 200u);
  // Whatever validated before must validate after our write.
  const auto validBefore = SchemaValid(sources, dir.path());
  const auto validAfter = SchemaValid(written, dir.path());
  EXPECT_GT(validBefore.size(), 50u);
  for (const auto& name : validBefore) EXPECT_TRUE(validAfter.count(name)) << name << " no longer validates";
  std::cout << validBefore.size() << " of " << sources.size() << " source files validate, " << validAfter.size()
            << " written files validate\n";
}

}  // namespace
}  // namespace sondralis
