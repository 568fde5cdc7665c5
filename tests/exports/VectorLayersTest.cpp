// The contour lines and soundings as GIS layers, read back through OGR, and
// the safety contour's own folder in the KML.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogr_feature.h>
#include <ogr_geometry.h>
#include <ogrsf_frmts.h>

#include "contours/ContourKML.h"
#include "exports/ContourLayers.h"
#include "formats/FormatsTestSupport.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Contour tracks as the tracer leaves them: every point at the level, some
// tracks of several segments, a one-point segment that is no line, and a
// track with no line at all.
void BuildContours(TGPX& doc, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> lon(8.63, 8.65), lat(47.21, 47.22);
  for (int t = 0; t < 23; ++t) {
    auto* track = new TGPXtrk;
    const int level = 100 * (t % 7);
    const int segments = t % 4 == 0 ? 3 : 1;
    for (int s = 0; s < segments; ++s) {
      auto* segment = new TGPXtrkseg;
      const int points = t == 5 ? 1 : 3 + static_cast<int>(rng() % 40);
      for (int i = 0; i < points; ++i) {
        TGPXwpt* p = segment->NewPoint();
        p->Longitude = lon(rng);
        p->Latitude = lat(rng);
        p->HBdepth = level;
      }
      track->Add(segment);
    }
    doc.trk.Add(track);
  }
}

// The lines of the layer's features, as (level, segments of points).
struct Line {
  long long Level;
  std::vector<std::vector<std::pair<double, double>>> Parts;
  bool operator==(const Line&) const = default;
};

std::vector<Line> ExpectedLines(const TGPX& doc) {
  std::vector<Line> lines;
  for (const TGPXtrk* track : doc.trk) {
    Line line{ContourLevel(*track), {}};
    for (const TGPXtrkseg* segment : *track) {
      if (segment->Count() < 2) continue;
      line.Parts.emplace_back();
      for (const TPoint4D2* p : *segment) line.Parts.back().emplace_back(p->Longitude, p->Latitude);
    }
    if (!line.Parts.empty()) lines.push_back(line);
  }
  return lines;
}

std::vector<Line> ReadLines(OGRLayer& layer) {
  std::vector<Line> lines;
  layer.ResetReading();
  for (const auto& feature : layer) {
    Line line{feature->GetFieldAsInteger64("depth_cm"), {}};
    EXPECT_DOUBLE_EQ(feature->GetFieldAsDouble("depth_m"), line.Level / 100.0);
    const OGRGeometry* g = feature->GetGeometryRef();
    auto add = [&](const OGRLineString& part) {
      line.Parts.emplace_back();
      for (const OGRPoint& p : part) line.Parts.back().emplace_back(p.getX(), p.getY());
    };
    // A shapefile gives a line of one part as a plain line.
    if (wkbFlatten(g->getGeometryType()) == wkbLineString) {
      add(*g->toLineString());
    } else {
      EXPECT_EQ(wkbFlatten(g->getGeometryType()), wkbMultiLineString);
      for (const OGRLineString* part : *g->toMultiLineString()) add(*part);
    }
    lines.push_back(line);
  }
  return lines;
}

TEST(VectorLayers, GeoPackageHoldsContoursSoundingsAndSafety) {
  std::mt19937_64 rng(5);
  TGPX contours, safety;
  BuildContours(contours, rng);
  BuildContours(safety, rng);
  TExportSamples samples;
  std::uniform_real_distribution<float> lon(8.63f, 8.65f), lat(47.21f, 47.22f), depth(0, 2000);
  for (int i = 0; i < 3000; ++i) {
    samples.Coord.Add({lon(rng), lat(rng)});
    samples.Depth.Add(i < 500 ? 0.0f : depth(rng));
  }
  samples.ShoreCount = 500;
  TempDir dir("gpkg");
  TSilentFeedback feedback;
  const std::string path = (dir / "contours.gpkg").string();
  WriteContoursGeoPackage(path, contours, samples, TSafetyContour{&safety, 250}, feedback);

  GDALAllRegister();
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(ds);
  EXPECT_STREQ(ds->GetDriver()->GetDescription(), "GPKG");
  ASSERT_EQ(ds->GetLayerCount(), 3);
  OGRLayer* lines = ds->GetLayerByName("contours");
  OGRLayer* points = ds->GetLayerByName("soundings");
  OGRLayer* bold = ds->GetLayerByName("safety");
  ASSERT_TRUE(lines && points && bold);
  for (OGRLayer* layer : {lines, points, bold}) {
    ASSERT_TRUE(layer->GetSpatialRef());
    EXPECT_STREQ(layer->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");
  }
  EXPECT_EQ(lines->GetGeomType(), wkbMultiLineString);
  EXPECT_EQ(points->GetGeomType(), wkbPoint);
  const OGRFeatureDefn* defn = lines->GetLayerDefn();
  EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("depth_cm"))->GetType(), OFTInteger);
  EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex("depth_m"))->GetType(), OFTReal);
  // One feature per track with a line, its points to the last bit.
  EXPECT_EQ(ReadLines(*lines), ExpectedLines(contours));
  EXPECT_EQ(ExpectedLines(contours).size(), 22u);
  EXPECT_EQ(ReadLines(*bold), ExpectedLines(safety));

  // Every sample, in order, with the depth the run used.
  ASSERT_EQ(points->GetFeatureCount(), 3000);
  int i = 0;
  for (const auto& feature : *points) {
    const OGRPoint* p = feature->GetGeometryRef()->toPoint();
    ASSERT_EQ(p->getX(), samples.Coord[i][0]);
    ASSERT_EQ(p->getY(), samples.Coord[i][1]);
    ASSERT_EQ(feature->GetFieldAsDouble("depth_cm"), samples.Depth[i]);
    ++i;
  }

  // Without a safety depth there is no such layer.
  WriteContoursGeoPackage(path, contours, samples, std::nullopt, feedback);
  GDALDatasetUniquePtr again(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->GetLayerCount(), 2);
  EXPECT_EQ(again->GetLayerByName("safety"), nullptr);
}

TEST(VectorLayers, ShapefileSetHoldsTheSameLines) {
  std::mt19937_64 rng(9);
  TGPX contours;
  BuildContours(contours, rng);
  TempDir dir("shp");
  TSilentFeedback feedback;
  WriteContoursShapefile((dir / "lake.shp").string(), contours, feedback);
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(dir.path())) files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"lake.cpg", "lake.dbf", "lake.prj", "lake.shp", "lake.shx"}));

  GDALAllRegister();
  GDALDatasetUniquePtr ds(GDALDataset::Open((dir / "lake.shp").string().c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(ds);
  ASSERT_EQ(ds->GetLayerCount(), 1);
  EXPECT_EQ(ReadLines(*ds->GetLayer(0)), ExpectedLines(contours));
  EXPECT_STREQ(ds->GetLayer(0)->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");

  EXPECT_THROW(WriteContoursShapefile((dir / "lake.txt").string(), contours, feedback), std::invalid_argument);
  EXPECT_FALSE(fs::exists(dir / "lake.txt"));
}

TEST(VectorLayers, KmlSafetyFolderComesLastAndChangesNothingElse) {
  std::mt19937_64 rng(3);
  TGPX contours, safety;
  BuildContours(contours, rng);
  BuildContours(safety, rng);
  const std::string plain = EncodeContoursKML(contours, 600, 255, 16711680);
  const TKMLSafety bold{&safety, 250, 0xFF00FF};
  const std::string marked = EncodeContoursKML(contours, 600, 255, 16711680, "Depth contours", {.Safety = &bold});
  const std::string style =
      "<Style id=\"safety\"><LineStyle><color>ffff00ff</color><width>4</width></LineStyle></Style>\n";
  const std::size_t at = marked.find(style), folder = marked.find("<Folder>\n<name>safety</name>");
  ASSERT_NE(at, std::string::npos);
  ASSERT_NE(folder, std::string::npos);
  // Taking out the style and the last folder gives the plain file.
  std::string rest = marked;
  rest.erase(folder, rest.rfind("</Folder>\n") + 10 - folder);
  rest.erase(at, style.size());
  EXPECT_EQ(rest, plain);
  // One placemark per segment with a line, all in the bold style.
  std::size_t placemarks = 0;
  for (std::size_t p = marked.find("#safety", folder); p != std::string::npos; p = marked.find("#safety", p + 1))
    ++placemarks;
  std::size_t expected = 0;
  for (const Line& line : ExpectedLines(safety)) expected += line.Parts.size();
  EXPECT_EQ(placemarks, expected);
  EXPECT_NE(marked.find("<description>Safety 2.5 m</description>"), std::string::npos);
}

}  // namespace
}  // namespace sondralis
