// "Export...": the session's questions around the export step, and the
// files it writes, which are sondralis-cli map's for the same map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "session/SessionFixture.h"
#include "support/Files.h"

namespace sondralis::testing {
namespace {

using ::sondralis::testing::Names;

TEST_F(SessionTest, ExportMapAsksForAFolderAndReplacesFilesOnlyAfterAYes) {
  TSession s(host, host, 2);
  s.ResizePane(TPane::Tracks, 200, 150);
  s.AddFiles({kSurvey, kShoreKml});
  TExportChoice choice;
  choice.GeoTIFF = choice.PDF = choice.Report = true;
  choice.SafetyDepth = 300;

  // Refusals come before any question.
  EXPECT_EQ(s.ExportMap(choice), "");
  ASSERT_TRUE(s.Interpolate());
  TExportChoice lines;
  lines.Shapefile = true;
  EXPECT_EQ(s.ExportMap(lines), "");
  EXPECT_EQ(s.ExportMap(TExportChoice{}), "");
  ASSERT_EQ(host.Errors.size(), 3u);
  EXPECT_NE(host.Errors[0].find("run \"Interpolate\" first"), std::string::npos) << host.Errors[0];
  EXPECT_NE(host.Errors[1].find("run \"ISO Map\" first"), std::string::npos) << host.Errors[1];
  EXPECT_EQ(host.FolderRequests, 0);

  // A cancelled dialog writes nothing; a folder that is a file is reported.
  const std::string notAFolder = Write("notes.txt", "hello");
  host.FolderReplies = {std::nullopt, notAFolder + "/inside", Path("out")};
  EXPECT_EQ(s.ExportMap(choice), "");
  EXPECT_EQ(s.ExportMap(choice), "");
  ASSERT_EQ(host.Errors.size(), 4u);
  EXPECT_NE(host.Errors[3].find("notes.txt"), std::string::npos) << host.Errors[3];
  EXPECT_EQ(Names(dir), std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(s.ExportMap(choice), Path("out"));
  EXPECT_EQ(Names(dir / "out"), (std::vector<std::string>{"chart.pdf", "depth.tif", "report.csv", "report.json"}));
  ASSERT_FALSE(host.Informations.empty());
  const std::string& done = host.Informations.back();
  for (const char* line : {"Exported into ", "\nSafety depth: 3.00 m", "\nGeoTIFF: depth.tif", "\nChart: chart.pdf: A4",
                           "\nReport: report.csv"})
    EXPECT_NE(done.find(line), std::string::npos) << line << "\n" << done;
  EXPECT_TRUE(host.ReplaceQuestions.empty());
  ExpectIdle(s);

  // The report is the one sondralis-cli map writes for the same map.
  const std::string cli = std::string(SONDRALIS_CLI) + " map '" + kSurvey + "' '" + kShoreKml + "' --size 200x150 -d '" +
                          Path("cli") + "' --report >/dev/null";
  ASSERT_EQ(std::system(cli.c_str()), 0);
  const std::string report = ReadFile(dir / "out" / "report.csv");
  EXPECT_EQ(report, ReadFile(dir / "cli" / "report.csv"));

  // Into the same folder again: one question naming the files; No keeps
  // them all, Yes replaces them all.
  std::ofstream(dir / "out" / "report.csv", std::ios::trunc) << "earlier";
  host.FolderReplies = {Path("out"), Path("out")};
  host.ReplaceReplies = {false, true};
  EXPECT_EQ(s.ExportMap(choice), "");
  ASSERT_EQ(host.ReplaceQuestions.size(), 1u);
  EXPECT_EQ(host.ReplaceQuestions[0],
            ReplaceFilesQuestion(Path("out"), {"depth.tif", "chart.pdf", "report.csv", "report.json"}));
  EXPECT_EQ(ReadFile(dir / "out" / "report.csv"), "earlier");
  EXPECT_EQ(s.ExportMap(choice), Path("out"));
  EXPECT_EQ(ReadFile(dir / "out" / "report.csv"), report);

  // After an ISO map run the contour files go too, the shapefile as its set.
  s.Settings.IsoStep = "200";
  ASSERT_TRUE(s.RunIsoMap());
  host.FolderReplies = {Path("lines")};
  EXPECT_EQ(s.ExportMap(lines), Path("lines"));
  EXPECT_EQ(Names(dir / "lines"),
            (std::vector<std::string>{"contours.cpg", "contours.dbf", "contours.prj", "contours.shp", "contours.shx"}));
  EXPECT_EQ(host.Errors.size(), 4u);
  ExpectIdle(s);
}

}  // namespace
}  // namespace sondralis::testing
