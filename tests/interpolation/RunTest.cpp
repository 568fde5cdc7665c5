// The interpolation run end to end, thinning, refusals and "Save Image...".
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <QImage>

#include "formats/AtomicFile.h"
#include "interpolation/ImageExport.h"
#include "interpolation/InterpolationRun.h"
#include "interpolation/SampleGrid.h"
#include "support/DepthMapScene.h"
#include "support/RecordingFeedback.h"
#include "support/Files.h"

namespace sondralis {
namespace {

namespace fs = std::filesystem;
using testing::DepthMapScene;
using testing::RecordingFeedback;

// The example lake in a small view, two workers: every pixel is what the
// plain formula gives over the run's samples, the samples are the mask's
// shoreline followed by the thinned track points, and a second run neither
// thins again nor piles samples up.
TEST(DepthMap, ExampleLakeEndToEnd) {
  DepthMapScene scene(250, 170);
  scene.LoadExampleLake();
  scene.FitAndDraw();
  const int loaded = scene.TrackPoints();
  const TInterpolationSettings settings = scene.Settings();
  const TRunInput input = scene.Input();
  // The mask the run builds first; thinning later also thins the shoreline
  // tracks, so a mask rebuilt after the run may differ.
  const TCoverage coverage = BuildCoverage(scene.View);
  TDepthMap map;
  RecordingFeedback host;
  ASSERT_TRUE(map.Interpolate(scene.View, settings, input, host));
  ASSERT_TRUE(map.InterpLoaded);
  EXPECT_EQ(host.Progress.size(), 250u);

  const int kept = scene.TrackPoints();
  EXPECT_LT(kept, loaded / 2);
  EXPECT_TRUE(host.Logged("Thinning removed " + std::to_string(loaded - kept) + " track points"));
  const int shore = coverage.ShoreCoord.Length();
  ASSERT_GT(shore, 0);
  ASSERT_EQ(map.InCoord.Length(), shore + kept);
  for (int i = 0; i < shore; ++i) ASSERT_EQ(map.InCoord[i], coverage.ShoreCoord[i]) << i;
  const TPoint4D2& first = *scene.Doc.trk[0]->Items(0)->Items(0);
  EXPECT_EQ(map.InCoord[shore][0], static_cast<float>(first.Longitude));
  EXPECT_EQ(map.InDepth[shore], static_cast<float>(first.HBdepth));

  // Before a run the tab shows the band under the tracks.
  TDepthMap fresh;
  fresh.UpdateShadowArray(scene.View);
  const TCanvas preview = fresh.CoveragePreview(scene.Picture);
  for (int x = 0; x < 250; x += 3)
    for (int y = 0; y < 170; y += 3) {
      const TColor track = scene.Picture.Pixel(x, y), band = scene.View.ShadowMap.Pixel(x, y);
      ASSERT_EQ(preview.Pixel(x, y), track != 0xFFFFFF ? track : band) << x << "," << y;
    }

  const TShepardInterp reference(map.InCoord, map.InDepth, 8);
  const TPixelCoordinates nodes = GridNodes(ViewGridExtent(scene.View), 250, 170);
  const int maxDepth = input.MaxDepth;
  int covered = 0;
  for (int x = 0; x < 250; ++x)
    for (int y = 0; y < 170; ++y) {
      const TColor pixel = map.InterpolatedImage.Pixel(x, y);
      if (!map.ShadowArray[x][y]) {
        ASSERT_EQ(pixel, 0u) << x << "," << y;
        ASSERT_TRUE(std::isnan(map.DepthAt(x, y)));
        continue;
      }
      const double depth = map.DepthAt(x, y);
      ASSERT_EQ(pixel, BlendColors(255, 16711680, depth / maxDepth)) << x << "," << y;
      if (covered++ % 13) continue;
      const double plain = reference.interp(nodes.Longitudes[x], nodes.Latitudes[y]);
      ASSERT_NEAR(depth, plain, 1e-12 * std::fabs(plain)) << x << "," << y;
    }
  EXPECT_EQ(covered, map.CoveredPixels);
  EXPECT_GT(covered, 250 * 170 / 10);

  RecordingFeedback again;
  const int shoreAgain = BuildCoverage(scene.View).ShoreCoord.Length();
  ASSERT_TRUE(map.Interpolate(scene.View, settings, input, again));
  EXPECT_TRUE(again.Logged("Thinning removed 0 track points"));
  EXPECT_EQ(scene.TrackPoints(), kept);
  EXPECT_EQ(map.InCoord.Length(), shoreAgain + kept);
}

// The run's one-pass thinning against the rule applied as repeated passes
// that each drop at most the first offending point of a segment.
TEST(Thinning, OnePassEqualsRepeatedPassesOnRandomTracks) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> step(-0.003, 0.003);
  std::uniform_int_distribution<int> kind(0, 5);
  for (int trial = 0; trial < 40; ++trial) {
    DepthMapScene scene(10, 10);
    std::vector<std::vector<std::pair<double, double>>> expected;
    for (int s = 0; s < 3; ++s) {
      std::vector<std::pair<double, double>> pts;
      double lat = 46 + step(random), lon = 8 + step(random);
      for (int i = 0; i < 60; ++i) {
        const int k = kind(random);  // still, north-south, east-west, or both
        if (k == 1 || k >= 3) lat += step(random);
        if (k == 2 || k >= 3) lon += step(random);
        pts.emplace_back(lat, lon);
      }
      auto* track = new TGPXtrk;
      scene.Doc.trk.Add(track);
      auto* segment = new TGPXtrkseg;
      track->Add(segment);
      for (auto [a, b] : pts) {
        auto* p = new TGPXwpt;
        p->Latitude = a;
        p->Longitude = b;
        segment->Add(p);
      }
      // Repeated passes over a copy.
      for (bool removed = true; removed;) {
        removed = false;
        double la = 1.0, lo = 1.0;
        for (std::size_t i = 0; i < pts.size(); ++i) {
          if (std::fabs(la - pts[i].first) < 0.001 || std::fabs(lo - pts[i].second) < 0.0015) {
            pts.erase(pts.begin() + static_cast<std::ptrdiff_t>(i));
            removed = true;
            break;
          }
          la = pts[i].first;
          lo = pts[i].second;
        }
      }
      expected.push_back(pts);
    }
    ThinTracks(scene.Doc, 0.001, 0.0015);
    for (int s = 0; s < 3; ++s) {
      const TGPXtrkseg& segment = *scene.Doc.trk[s]->Items(0);
      ASSERT_EQ(segment.Count(), static_cast<int>(expected[s].size())) << "trial " << trial;
      for (int i = 0; i < segment.Count(); ++i) {
        ASSERT_EQ(segment[i]->Latitude, expected[s][i].first);
        ASSERT_EQ(segment[i]->Longitude, expected[s][i].second);
      }
    }
  }
}

// A point exactly one threshold away from the last one kept, in latitude
// and in longitude, stays: only a difference below a threshold drops it.
// The values are binary fractions, so the differences are exact.
TEST(Thinning, APointExactlyAThresholdAwayStays) {
  DepthMapScene scene(10, 10);
  scene.AddTrack({{1.25, 1.5}, {1.5, 1.75}, {1.5, 2.0}, {1.625, 2.5}, {1.875, 2.5}, {2.125, 3.0}}, 100);
  const TPointList2& segment = *scene.Doc.trk[0]->Items(0);
  EXPECT_EQ(ThinningKeeps(segment, 0.25, 0.5), (std::vector<bool>{true, false, true, false, true, true}));
  EXPECT_EQ(ThinTracks(scene.Doc, 0.25, 0.5), 2);
  ASSERT_EQ(segment.Count(), 4);
  EXPECT_EQ(segment[1]->Longitude, 2.0);
  EXPECT_EQ(segment[2]->Latitude, 1.875);
  EXPECT_EQ(segment[3]->Latitude, 2.125);
}

// What cannot work is refused with a message before anything changes.
TEST(DepthMap, RefusalsChangeNothing) {
  DepthMapScene scene(160, 120);
  scene.AddTrack({{46.001, 8.001}, {46.001, 8.004}, {46.009, 8.004}, {46.009, 8.001}}, 0);
  scene.AddTrack({{46.001, 8.006}, {46.001, 8.009}, {46.009, 8.009}, {46.009, 8.006}}, 0);
  scene.AddTrack({{46.002, 8.002}, {46.0021, 8.0021}, {46.008, 8.008}}, 700);
  scene.FitAndDraw();
  const int points = scene.TrackPoints();
  auto expectUnchanged = [&](const TDepthMap& map) {
    EXPECT_FALSE(map.InterpLoaded);
    EXPECT_FALSE(map.Running());
    EXPECT_EQ(map.InCoord.Length(), 0);
    EXPECT_TRUE(map.ShadowArray.Empty());
    EXPECT_EQ(scene.TrackPoints(), points);
    EXPECT_EQ(scene.View.ShadowMapTrackWidth, 30);
  };
  auto refusal = [](const std::function<void()>& run) {
    try {
      run();
    } catch (const ERunRefused& e) {
      return std::string(e.what());
    }
    return std::string("not refused");
  };

  TDepthMap map;
  TInterpolationSettings settings = scene.Settings();
  for (int radius : {-5, 1000}) {
    RecordingFeedback host;
    settings.Radius = radius;
    settings.Threads = 0;
    EXPECT_NE(refusal([&] { map.StartInterpolation(scene.View, settings, scene.Input(), host); })
                  .find("extrapolation radius"),
              std::string::npos)
        << radius;
    EXPECT_TRUE(host.LogLines.empty());
    expectUnchanged(map);
  }
  settings.Radius = 12;
  {
    RecordingFeedback host;  // two lakes, neither holding the other: no water at all
    EXPECT_NE(refusal([&] { map.StartInterpolation(scene.View, settings, scene.Input(), host); })
                  .find("nothing to interpolate"),
              std::string::npos);
    expectUnchanged(map);
  }
  {
    RecordingFeedback host;  // no document: nothing to run, no message
    TGPXDraw none;
    EXPECT_FALSE(map.StartInterpolation(none, settings, scene.Input(), host));
    expectUnchanged(map);
  }
  DepthMapScene empty(50, 40);
  RecordingFeedback host;
  EXPECT_NE(refusal([&] { map.StartInterpolation(empty.View, empty.Settings(), empty.Input(), host); })
                .find("no depth samples"),
            std::string::npos);
}

// The shoreline's samples (its pixels on the mask and the outline's own
// points) carry the shore depth, or are left out; the outline still bounds
// the map. With a single depth among the soundings and no shoreline
// samples, every covered pixel has that depth.
TEST(DepthMap, ShoreDepthOfTheShorelineSamples) {
  std::vector<double> nearShore;
  for (const TShoreDepth shore : {TShoreDepth{true, 0}, TShoreDepth{true, 150}, TShoreDepth{false, 0}}) {
    // A scene of its own for each run: thinning takes the corners of an
    // outline whose edges run north-south or east-west.
    DepthMapScene scene(160, 120);
    scene.AddTrack({{46.001, 8.001}, {46.001, 8.009}, {46.009, 8.009}, {46.009, 8.001}}, 0);
    scene.AddTrack({{46.002, 8.0015}, {46.005, 8.005}, {46.008, 8.0085}}, 700);
    scene.FitAndDraw();
    const TCoverage coverage = BuildCoverage(scene.View);
    TInterpolationSettings settings = scene.Settings();
    settings.ShoreDepth = shore;
    TDepthMap map;
    RecordingFeedback host;
    ASSERT_TRUE(map.Interpolate(scene.View, settings, scene.Input(), host));
    const int outlinePoints = scene.Doc.trk[0]->trkseg(0)->Count();
    const int trackPoints = scene.TrackPoints() - outlinePoints;
    const int shoreSamples = shore.Samples ? coverage.ShoreCoord.Length() + outlinePoints : 0;
    ASSERT_EQ(map.InCoord.Length(), shoreSamples + trackPoints);
    for (int i = 0; i < map.InDepth.Length(); ++i) {
      const bool track = i >= map.InDepth.Length() - trackPoints;
      ASSERT_EQ(map.InDepth[i], track ? 700.0f : shore.DepthCm) << i;
    }
    EXPECT_EQ(map.CoveredPixels, coverage.Covered) << "the outline bounds the map all the same";
    // Next to the south-west corner of the lake, where the track starts.
    nearShore.push_back(map.DepthAt(scene.View.LoToX(8.0015), scene.View.LaToY(46.0013)));
    if (!shore.Samples) {
      for (int x = 0; x < scene.View.Width(); ++x)
        for (int y = 0; y < scene.View.Height(); ++y) {
          if (map.ShadowArray[x][y]) {
            ASSERT_NEAR(map.DepthAt(x, y), 700, 1e-3) << x << "," << y;
          }
        }
    }
  }
  EXPECT_LT(nearShore[0], nearShore[1]);
  EXPECT_GT(nearShore[0], 0);
  EXPECT_GT(nearShore[1], 150);
  EXPECT_LT(nearShore[1], 700);
}

// A cancelled run leaves the picture, the depths, the mask and the samples
// of the run before as they were; the next run completes as if none had
// been cancelled.
TEST(DepthMap, CancelledRunLeavesThePreviousMap) {
  DepthMapScene scene(300, 200);
  scene.LoadExampleLake();
  scene.FitAndDraw();
  TDepthMap map;
  RecordingFeedback first;
  ASSERT_TRUE(map.Interpolate(scene.View, scene.Settings(), scene.Input(), first));
  const QImage picture = map.InterpolatedImage.Image();
  const TDepthArray depths = map.DepthArray;
  const TBooleanArray mask = map.ShadowArray;
  const std::vector<std::array<float, 2>> samples(map.InCoord.Items().begin(), map.InCoord.Items().end());

  // A wider band and other colours: everything of a completed run would differ.
  TInterpolationSettings wider = scene.Settings();
  wider.Radius = 60;
  TRunInput green = scene.Input();
  green.clShallow = 0x00FF00;
  for (const bool polled : {false, true}) {
    RecordingFeedback cancelling;
    cancelling.CancelAtProgress = 5;
    if (polled) {
      ASSERT_TRUE(map.StartInterpolation(scene.View, wider, green, cancelling));
      bool ended = false;
      while (!ended) {
        try {
          ended = map.Poll();
        } catch (const TCanceled&) {
          ended = true;
        }
      }
    } else {
      EXPECT_THROW(map.Interpolate(scene.View, wider, green, cancelling), TCanceled);
    }
    EXPECT_FALSE(map.Running());
    EXPECT_TRUE(map.InterpLoaded);
    EXPECT_TRUE(map.InterpolatedImage.Image() == picture);
    EXPECT_TRUE(map.DepthArray.SharesWith(depths));
    EXPECT_TRUE(map.ShadowArray.SharesWith(mask));
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), map.InCoord.Items().begin(), map.InCoord.Items().end()));
  }
  RecordingFeedback again;
  ASSERT_TRUE(map.Interpolate(scene.View, wider, green, again));
  EXPECT_FALSE(map.DepthArray.SharesWith(depths));
  EXPECT_FALSE(map.InterpolatedImage.Image() == picture);
}

// The quantisation tables of a quality-90 JPEG: the standard tables of the
// JPEG standard (Annex K) scaled to 20 %.
std::vector<int> Scaled(const int (&table)[64]) {
  std::vector<int> out;
  for (int v : table) out.push_back(std::clamp((v * 20 + 50) / 100, 1, 255));
  return out;
}
constexpr int kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr int kChrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                  24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                  99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                  99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct JpegFacts {
  bool Progressive = true;
  int Components = 0, Width = 0, Height = 0;
  J_COLOR_SPACE Space = JCS_UNKNOWN;
  std::vector<int> Tables[2];
};

JpegFacts ReadJpeg(const std::string& bytes) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  JpegFacts f;
  f.Progressive = cinfo.progressive_mode;
  f.Components = cinfo.num_components;
  f.Width = static_cast<int>(cinfo.image_width);
  f.Height = static_cast<int>(cinfo.image_height);
  f.Space = cinfo.jpeg_color_space;
  for (int t = 0; t < 2; ++t)
    if (cinfo.quant_tbl_ptrs[t])
      f.Tables[t].assign(cinfo.quant_tbl_ptrs[t]->quantval, cinfo.quant_tbl_ptrs[t]->quantval + 64);
  jpeg_destroy_decompress(&cinfo);
  return f;
}

using ::sondralis::testing::ReadAll;

// The picture as BMP or JPEG by the extension in any letter case; any
// other name, or an empty picture, writes nothing.
TEST(DepthMap, PictureWrittenAsBmpOrJpegInAnyLetterCase) {
  const fs::path dir = fs::temp_directory_path() / ("sondralis-save-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  DepthMapScene scene(93, 61);
  scene.AddTrack({{46.001, 8.001}, {46.0031, 8.004}, {46.009, 8.009}}, 400);
  scene.FitAndDraw();
  TDepthMap map;
  RecordingFeedback host;
  EXPECT_THROW(WritePicture(map.InterpolatedImage, (dir / "none.bmp").string()), EFileError);  // no run yet
  ASSERT_TRUE(map.Interpolate(scene.View, scene.Settings(), scene.Input(), host));

  try {
    WritePicture(map.InterpolatedImage, (dir / "a.png").string());
    ADD_FAILURE() << "a .png written";
  } catch (const EFileError& e) {
    EXPECT_NE(std::string(e.what()).find(".bmp, .jpg or .jpeg"), std::string::npos) << e.what();
  }

  WritePicture(map.InterpolatedImage, (dir / "a.BMP").string());
  const std::string bmp = ReadAll(dir / "a.BMP");
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp[28], 24);  // bits per pixel
  const QImage read = QImage::fromData(reinterpret_cast<const uchar*>(bmp.data()), static_cast<int>(bmp.size()));
  ASSERT_EQ(read.width(), 93);
  ASSERT_EQ(read.height(), 61);
  for (int x = 0; x < 93; ++x)
    for (int y = 0; y < 61; ++y)
      ASSERT_EQ(TCanvas::FromRGB32(read.pixel(x, y)), map.InterpolatedImage.Pixel(x, y)) << x << "," << y;

  WritePicture(map.InterpolatedImage, (dir / "b.Jpg").string());
  const JpegFacts jpeg = ReadJpeg(ReadAll(dir / "b.Jpg"));
  EXPECT_FALSE(jpeg.Progressive);
  EXPECT_EQ(jpeg.Components, 3);
  EXPECT_EQ(jpeg.Space, JCS_YCbCr);
  EXPECT_EQ(jpeg.Width, 93);
  EXPECT_EQ(jpeg.Height, 61);
  EXPECT_EQ(jpeg.Tables[0], Scaled(kLuminance));
  EXPECT_EQ(jpeg.Tables[1], Scaled(kChrominance));

  // Nothing but the pictures: no temporary file left behind, no a.png.
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 2);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace sondralis
