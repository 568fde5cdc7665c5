// The contour tracer end to end: pictures built pixel by pixel in a view
// whose projection is known, traced, and the stored points read back as the
// pixel corners they stand for.
#include "contours/MovingSquares.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/RecordingFeedback.h"

namespace sondralis {
namespace {

using Corner = std::pair<int, int>;
using Segment = std::vector<Corner>;
using Track = std::vector<Segment>;

constexpr TColor kShallow = 0x0000FF;
constexpr TColor kDeep = 0xFF0000;

// A picture of shallow pixels covered by the mask everywhere but on the
// border, as the window's mask always is; uncovered pixels are black.
class Scene {
 public:
  Scene(int w, int h) : Picture(w, h), Mask(w, h) {
    View.Resize(w, h);
    View.BBox.O = 8.25;
    View.BBox.S = 47.1;
    View.BBox.Rm = 3000;
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) SetCovered(x, y, x > 0 && y > 0 && x < w - 1 && y < h - 1, kShallow);
  }
  void SetCovered(int x, int y, bool covered, TColor color) {
    Mask[x][y] = covered;
    Picture.SetPixel(x, y, covered ? color : 0);
  }
  void SetDeep(int x0, int y0, int x1, int y1) {
    for (int x = x0; x <= x1; ++x)
      for (int y = y0; y <= y1; ++y) Picture.SetPixel(x, y, kDeep);
  }
  // One level, 500 of 1000 cm: its colour lies between the two colours.
  std::vector<Track> Trace() {
    TMovingSquares tracer(Doc, View, IsoMap, Picture, Mask);
    EXPECT_TRUE(tracer.GenerateISO(500, 1000, 1000));
    return Read(Doc);
  }
  // The tracks as pixel corners; every point must sit exactly on a corner.
  std::vector<Track> Read(const TGPX& doc, std::vector<int>* depths = nullptr) const {
    std::map<double, int> xs, ys;
    for (int x = 0; x <= View.Width(); ++x) xs[View.XToLo(x)] = x;
    for (int y = 0; y <= View.Height(); ++y) ys[View.YToLa(y)] = y;
    std::vector<Track> tracks;
    for (const TGPXtrk* trk : doc.trk) {
      tracks.emplace_back();
      for (const TGPXtrkseg* seg : *trk) {
        tracks.back().emplace_back();
        for (int i = 0; i < seg->Count(); ++i) {
          const TPoint4D2& p = *seg->Points(i);
          EXPECT_TRUE(xs.count(p.Longitude) && ys.count(p.Latitude)) << "not on a pixel corner";
          tracks.back().back().emplace_back(xs[p.Longitude], ys[p.Latitude]);
          if (depths) depths->push_back(static_cast<int>(p.HBdepth));
          else EXPECT_EQ(p.HBdepth, 500);
        }
      }
    }
    return tracks;
  }

  TCanvas Picture;
  TBooleanArray Mask;
  TGPXDraw View;
  TGPX Doc;
  TCanvas IsoMap;
};

// Depth CentreDepth at the centre of pixel (cx, cy), falling linearly to 0
// at Radius pixels, coloured by depth / MaxDepth; covered within Radius + 3.
double ConeDepth(int x, int y, int cx, int cy, double Radius, double CentreDepth) {
  return std::max(0.0, CentreDepth * (1 - std::hypot(x - cx, y - cy) / Radius));
}
void PaintCone(Scene& s, int cx, int cy, double Radius, double CentreDepth, int MaxDepth) {
  for (int x = 0; x < s.Picture.Width(); ++x)
    for (int y = 0; y < s.Picture.Height(); ++y)
      s.SetCovered(x, y, std::hypot(x - cx, y - cy) < Radius + 3,
                   BlendColors(kShallow, kDeep, ConeDepth(x, y, cx, cy, Radius, CentreDepth) / MaxDepth));
}

TEST(MovingSquares, RectangleIsStoredAsOnePointPerSideAndDrawnInTheLevelColour) {
  Scene s(12, 10);
  s.SetDeep(3, 3, 7, 6);
  EXPECT_EQ(s.Trace(), (std::vector<Track>{{{{3, 4}, {4, 7}, {8, 6}, {7, 3}, {3, 3}}}}));
  // Every step paints the corner it leaves: the whole outline but the start corner.
  ASSERT_EQ(s.IsoMap.Width(), 12);
  ASSERT_EQ(s.IsoMap.Height(), 10);
  const TColor level = BlendColors(kShallow, kDeep, 0.5);
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 10; ++y) {
      const bool outline = ((x == 3 || x == 8) && y >= 3 && y <= 7) || ((y == 3 || y == 7) && x >= 3 && x <= 8);
      EXPECT_EQ(s.IsoMap.Pixel(x, y), outline && Corner(x, y) != Corner(3, 3) ? level : 0xFFFFFFu) << x << "," << y;
    }
}

// A map whose margin reaches past the antimeridian and the pole: the
// corners there are stored at their places on the globe, longitudes
// wrapped by 360 degrees and latitudes held at 90.
TEST(MovingSquares, CornersPastTheAntimeridianOrAPoleLieOnTheGlobe) {
  Scene s(12, 10);
  s.SetDeep(3, 3, 7, 6);
  const double dx = s.View.XToLo(1) - s.View.XToLo(0), dy = s.View.YToLa(0) - s.View.YToLa(1);
  s.View.BBox.O = 180 - 5.5 * dx;  // corners from column 6 on lie past 180°
  s.View.BBox.S = 90 - 5.5 * dy;   // corners above row 5 lie past 90°
  TMovingSquares tracer(s.Doc, s.View, s.IsoMap, s.Picture, s.Mask);
  ASSERT_TRUE(tracer.GenerateISO(500, 1000, 1000));
  ASSERT_EQ(s.Doc.trk.Count(), 1);
  const TGPXtrkseg& ring = *s.Doc.trk.First()->First();
  const Corner corners[] = {{3, 4}, {4, 7}, {8, 6}, {7, 3}, {3, 3}};
  ASSERT_EQ(ring.Count(), 5);
  for (int i = 0; i < 5; ++i) {
    const auto [x, y] = corners[i];
    const double lon = s.View.XToLo(x), lat = s.View.YToLa(y);
    EXPECT_EQ(ring.Points(i)->Longitude, lon > 180 ? lon - 360 : lon) << x;
    EXPECT_EQ(ring.Points(i)->Latitude, std::min(lat, 90.0)) << y;
  }
  EXPECT_LT(ring.Points(2)->Longitude, -179) << "column 8 lies past the antimeridian";
  EXPECT_EQ(ring.Points(3)->Latitude, 90) << "row 3 lies past the pole";
}

TEST(MovingSquares, BoundaryLeavingTheMaskGivesOneSegmentPerLongEnoughStretch) {
  // Uncovered pixels cut the left and the right side; a third cut leaves two
  // stretches of 2 points at the bottom, which vanish.
  const std::vector<Track> expected[] = {{{{{3, 6}, {4, 7}, {8, 7}}, {{8, 4}, {7, 3}, {3, 3}}}},
                                         {{{{8, 4}, {7, 3}, {3, 3}}}}};
  for (int variant = 0; variant < 2; ++variant) {
    Scene s(12, 10);
    s.SetDeep(3, 3, 7, 6);
    s.SetCovered(2, 4, false, 0);
    s.SetCovered(8, 5, false, 0);
    if (variant == 1) s.SetCovered(5, 7, false, 0);
    EXPECT_EQ(s.Trace(), expected[variant]) << variant;
  }
}

TEST(MovingSquares, OutermostRowsAndColumnsAreNeverDeeperNorCovered) {
  Scene s(12, 10);
  s.Mask.Fill(true);
  s.SetDeep(0, 0, 4, 5);   // in the top left corner
  s.SetDeep(9, 7, 11, 9);  // in the bottom right corner
  EXPECT_EQ(s.Trace(), (std::vector<Track>{{{{2, 6}, {5, 5}, {5, 2}}}}));
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 10; ++y)
      if (x < 2 || y < 2 || x > 10 || y > 8) {
        EXPECT_EQ(s.IsoMap.Pixel(x, y), 0xFFFFFFu) << x << "," << y;
      }
}

TEST(MovingSquares, SaddlesKeepDiagonalNeighboursApart) {
  // Cell 9 at corner (4, 4): reached moving right around (3, 3) it turns up;
  // reached moving left along the top of (4, 4) it turns down.
  Scene nine(12, 10);
  nine.SetDeep(3, 3, 3, 3);
  nine.SetDeep(4, 4, 5, 4);
  EXPECT_EQ(nine.Trace(), (std::vector<Track>{{{{3, 4}, {4, 3}, {3, 3}}}, {{{4, 4}, {5, 5}, {6, 4}, {5, 4}}}}));
  // Cell 6 at corner (4, 4): reached moving up it turns left, moving down right.
  Scene six(12, 10);
  six.SetDeep(4, 3, 4, 3);
  six.SetDeep(3, 4, 3, 4);
  EXPECT_EQ(six.Trace(), (std::vector<Track>{{{{3, 5}, {4, 4}, {3, 4}}}, {{{4, 4}, {5, 3}, {4, 3}}}}));
}

// Records the tracer's progress, its event points and the levels it has
// done; cancels itself when it reaches CancelAt.
class RecordingHost : public TFeedback {
 public:
  void SetProgress(int Position, int Max) override {
    Log += "at " + std::to_string(Position) + " of " + std::to_string(Max) + ";";
    fLevel = Position;
  }
  void ProcessEvents() override {
    Log += "events;";
    if (fLevel == CancelAt) Cancel();
  }
  std::function<void(int)> LevelDone() {
    return [this](int Level) { Log += "done " + std::to_string(Level) + ";"; };
  }
  std::string Log;
  int CancelAt = -1;

 private:
  int fLevel = -1;
};

TEST(MovingSquares, LevelsRunFromMinDepthToOneBeyondMaxDepth) {
  const auto expected = [](int max, int last) {
    const std::string of = " of " + std::to_string(max) + ";";
    std::string log = "at 0" + of;
    for (int level = 0; level <= last; level += 100)
      log += "at " + std::to_string(level) + of + "events;done " + std::to_string(level) + ";";
    return log;
  };
  // With 1299 the levels run to 1300, whose colour is the deep colour
  // itself: it deepens no pixel and is passed over without a report.
  for (const auto& [maxDepth, progressMax, last] : {std::tuple{1234, 1200, 1200}, {1299, 1300, 1200}, {1250, 1300, 1200}}) {
    // 1500 cm at the centre, coloured as the interpolation colours it for
    // this maximum: the middle is the deep colour itself.
    Scene s(64, 64);
    PaintCone(s, 32, 32, 28, 1500, maxDepth);
    RecordingHost host;
    TMovingSquares tracer(s.Doc, s.View, s.IsoMap, s.Picture, s.Mask);
    ASSERT_TRUE(tracer.GenerateISO(0, maxDepth, 100, host, host.LevelDone()));
    EXPECT_EQ(host.Log, expected(progressMax, last)) << maxDepth;
    std::vector<int> depths;
    s.Read(s.Doc, &depths);
    // Level 1300 has the deep colour as threshold: nothing is deeper.
    std::set<int> traced;
    for (int level = 0; level <= 1200; level += 100) traced.insert(level);
    EXPECT_EQ(std::set<int>(depths.begin(), depths.end()), traced) << maxDepth;
  }
}

// Cancelled when the events of level 300 have run: level 300 is not traced,
// the levels before it are, and the tracer can run again.
TEST(MovingSquares, CancellingStopsBeforeTheNextLevel) {
  Scene s(64, 64);
  PaintCone(s, 32, 32, 28, 1000, 1000);
  RecordingHost host;
  host.CancelAt = 300;
  TMovingSquares tracer(s.Doc, s.View, s.IsoMap, s.Picture, s.Mask);
  EXPECT_THROW(tracer.GenerateISO(0, 1000, 100, host, host.LevelDone()), TCanceled);
  EXPECT_TRUE(host.Log.ends_with("done 200;at 300 of 1000;events;")) << host.Log;
  std::vector<int> depths;
  s.Read(s.Doc, &depths);
  EXPECT_EQ(std::set<int>(depths.begin(), depths.end()), (std::set<int>{0, 100, 200}));

  RecordingHost again;
  TGPX all;
  TCanvas map;
  TMovingSquares fresh(all, s.View, map, s.Picture, s.Mask);
  ASSERT_TRUE(fresh.GenerateISO(0, 1000, 100, again, again.LevelDone()));
  std::vector<int> allDepths;
  s.Read(all, &allDepths);
  EXPECT_GT(std::set<int>(allDepths.begin(), allDepths.end()).size(), 3u);
}

// Thirty thousand levels at a step of 1 cm over a picture of at most 256
// colours: one trace per set of deeper pixels, and still every line any
// level has. The ramp from red to magenta changes only its blue channel, so
// a deeper set is always a disc of the cone, and a tracer asked for one
// level alone finds exactly the lines the whole run holds for that level or
// for the first level with the same set.
TEST(MovingSquares, ManyLevelsCostOneTraceForEachColourOfThePicture) {
  constexpr TColor kFrom = 0x0000FF, kTo = 0xFF00FF;
  constexpr int kMax = 30000;
  Scene s(64, 64);
  std::set<TColor> colours;
  for (int x = 0; x < 64; ++x)
    for (int y = 0; y < 64; ++y) {
      const TColor c = BlendColors(kFrom, kTo, ConeDepth(x, y, 32, 32, 28, kMax) / kMax);
      s.SetCovered(x, y, x > 0 && y > 0 && x < 63 && y < 63, c);
      colours.insert(s.Picture.Pixel(x, y));
    }
  const auto traceAlone = [&](int level) {
    TGPX doc;
    TCanvas map;
    TMovingSquares one(doc, s.View, map, s.Picture, s.Mask);
    one.clShallow = kFrom;
    one.clDeep = kTo;
    EXPECT_TRUE(one.GenerateISO(level, kMax, 2 * kMax + 2));
    std::vector<int> ignored;
    return s.Read(doc, &ignored);
  };

  RecordingHost host;
  TMovingSquares tracer(s.Doc, s.View, s.IsoMap, s.Picture, s.Mask);
  tracer.clShallow = kFrom;
  tracer.clDeep = kTo;
  ASSERT_TRUE(tracer.GenerateISO(0, kMax, 1, host, host.LevelDone()));
  std::vector<int> depths;
  const std::vector<Track> tracks = s.Read(s.Doc, &depths);
  std::map<int, std::vector<Track>> byLevel;
  std::size_t next = 0;
  for (const Track& track : tracks) {
    byLevel[depths[next]].push_back(track);
    for (const Segment& segment : track) next += segment.size();
  }
  int reported = 0;
  for (std::size_t at = host.Log.find("events;"); at != std::string::npos; at = host.Log.find("events;", at + 1))
    ++reported;
  EXPECT_LE(reported, static_cast<int>(colours.size())) << "levels traced";
  ASSERT_GT(byLevel.size(), 100u);

  for (const auto& [level, own] : byLevel) EXPECT_EQ(traceAlone(level), own) << level;
  std::mt19937 random(5);
  for (int i = 0; i < 60; ++i) {
    const int level = static_cast<int>(random() % (kMax + 2));
    const std::vector<Track> alone = traceAlone(level);
    if (alone.empty()) continue;
    auto first = byLevel.upper_bound(level);
    ASSERT_NE(first, byLevel.begin()) << level;
    EXPECT_EQ(alone, std::prev(first)->second) << level;
  }
}

TEST(MovingSquares, RefusesAStepBelowOneAndInputsOfOtherSizes) {
  Scene s(12, 10);
  s.SetDeep(3, 3, 7, 6);
  RecordingHost host;
  TMovingSquares tracer(s.Doc, s.View, s.IsoMap, s.Picture, s.Mask);
  EXPECT_FALSE(tracer.GenerateISO(0, 1000, 0, host));
  EXPECT_FALSE(tracer.GenerateISO(0, 1000, -100, host));
  EXPECT_EQ(host.Log, "");
  EXPECT_EQ(s.IsoMap.Width(), 0);

  // No maximum depth, no level colours: nothing is traced.
  EXPECT_TRUE(tracer.GenerateISO(0, 0, 100, host));
  EXPECT_EQ(host.Log, "at 0 of 0;");
  EXPECT_EQ(s.Doc.trk.Count(), 0);

  TBooleanArray smallMask(11, 10);
  TCanvas isoMap(5, 5);
  TMovingSquares mismatched(s.Doc, s.View, isoMap, s.Picture, smallMask);
  EXPECT_THROW(mismatched.GenerateISO(0, 1000, 100), std::invalid_argument);
  EXPECT_EQ(isoMap.Width(), 5);
  s.View.Resize(12, 11);
  TMovingSquares otherView(s.Doc, s.View, isoMap, s.Picture, s.Mask);
  EXPECT_THROW(otherView.GenerateISO(0, 1000, 100), std::invalid_argument);
  EXPECT_EQ(s.Doc.trk.Count(), 0);
}

TEST(MovingSquares, ConeGivesOneClosedRingPerLevelAtItsRadius) {
  constexpr double kRadius = 45;
  Scene s(121, 101);
  PaintCone(s, 60, 50, kRadius, 1000, 1000);
  const auto depth = [&](int x, int y) { return ConeDepth(x, y, 60, 50, kRadius, 1000); };
  TMovingSquares tracer(s.Doc, s.View, s.IsoMap, s.Picture, s.Mask);
  ASSERT_TRUE(tracer.GenerateISO(100, 1000, 100));
  std::vector<int> depths;
  const std::vector<Track> tracks = s.Read(s.Doc, &depths);
  ASSERT_EQ(tracks.size(), 9u);  // 100 .. 900; at 1000 nothing is deeper than the deep colour
  std::size_t next = 0;
  for (std::size_t t = 0; t < tracks.size(); ++t) {
    const int level = 100 * static_cast<int>(t + 1);
    ASSERT_EQ(tracks[t].size(), 1u) << level;
    const Segment& ring = tracks[t][0];
    double winding = 0;
    for (std::size_t i = 0; i < ring.size(); ++i, ++next) {
      EXPECT_EQ(depths[next], level);
      const auto [x, y] = ring[i];
      // The corner lies between a pixel at least as deep as the level and
      // one not deeper (colours are 4 cm apart), and on the level's circle.
      const double around[] = {depth(x - 1, y - 1), depth(x, y - 1), depth(x - 1, y), depth(x, y)};
      EXPECT_GT(*std::max_element(std::begin(around), std::end(around)), level - 4) << x << "," << y;
      EXPECT_LT(*std::min_element(std::begin(around), std::end(around)), level + 4) << x << "," << y;
      EXPECT_NEAR(std::hypot(x - 60.5, y - 50.5), kRadius * (1 - level / 1000.0), 1.0) << x << "," << y;
      const auto [px, py] = ring[(i + 1) % ring.size()];
      const double turn = std::remainder(std::atan2(py - 50.5, px - 60.5) - std::atan2(y - 50.5, x - 60.5),
                                         2 * std::numbers::pi);
      winding += turn;
    }
    EXPECT_NEAR(std::fabs(winding), 2 * std::numbers::pi, 1e-9) << "ring " << level << " does not go round";
  }
}

// A tracer run from inside another's event processing, on the same inputs
// and into its own document.
class NestedRun : public TFeedback {
 public:
  NestedRun(TMovingSquares& Other, int AtLevel) : fOther(Other), fAtLevel(AtLevel) {}
  void SetProgress(int Position, int /*Max*/) override { fLevel = Position; }
  void ProcessEvents() override {
    if (fLevel == fAtLevel) {
      EXPECT_TRUE(fOther.GenerateISO(0, 1000, 150));
    }
  }

 private:
  TMovingSquares& fOther;
  int fAtLevel;
  int fLevel = -1;
};

TEST(MovingSquares, RandomPicturesGiveCoveredBoundaryCornersAndTracersShareNothing) {
  std::mt19937 random(12);
  for (int round = 0; round < 40; ++round) {
    const int w = 8 + static_cast<int>(random() % 60), h = 8 + static_cast<int>(random() % 60);
    Scene s(w, h);
    for (int x = 1; x < w - 1; ++x)
      for (int y = 1; y < h - 1; ++y)
        s.SetCovered(x, y, random() % 8 != 0, BlendColors(kShallow, kDeep, (random() % 1000) / 999.0));
    TGPX first, second, alone;
    TCanvas firstMap, secondMap, aloneMap;
    TMovingSquares inner(second, s.View, secondMap, s.Picture, s.Mask);
    NestedRun nested(inner, 450);
    TMovingSquares outer(first, s.View, firstMap, s.Picture, s.Mask);
    TMovingSquares reference(alone, s.View, aloneMap, s.Picture, s.Mask);
    ASSERT_TRUE(outer.GenerateISO(0, 1000, 150, nested));
    ASSERT_TRUE(reference.GenerateISO(0, 1000, 150));
    std::vector<int> depths;
    const std::vector<Track> tracks = s.Read(first, &depths);
    ASSERT_FALSE(tracks.empty());
    std::vector<int> ignored;
    EXPECT_EQ(s.Read(second, &ignored), tracks);
    EXPECT_EQ(s.Read(alone, &ignored), tracks);
    EXPECT_EQ(firstMap.Image(), aloneMap.Image());
    EXPECT_EQ(secondMap.Image(), aloneMap.Image());

    // Every stored point is a corner whose four pixels are covered, some
    // deeper than its level and some not.
    std::size_t next = 0;
    for (const Track& track : tracks)
      for (const Segment& segment : track) {
        EXPECT_GT(segment.size(), 2u);
        for (const auto& [x, y] : segment) {
          const TColor level = BlendColors(kShallow, kDeep, depths[next++] / 1000.0);
          int covered = 0, deeper = 0;
          for (const auto& [px, py] : {Corner{x - 1, y - 1}, Corner{x, y - 1}, Corner{x - 1, y}, Corner{x, y}}) {
            covered += s.Mask[px][py];
            deeper += s.Picture.Pixel(px, py) > level;
          }
          EXPECT_EQ(covered, 4) << x << "," << y;
          EXPECT_TRUE(deeper > 0 && deeper < 4) << x << "," << y;
        }
      }
  }
}

// A ring limit: deeper squares of 1 to 5 pixels and a shallow 2 x 2 pit in
// a deeper block, each ring 4 pixels of perimeter per pixel of side. A limit
// of 13 px drops the rings of sides 1 to 3 and the pit's (8 px), from the
// document and from the picture, and leaves everything else exactly as the
// tracer without a limit makes it.
TEST(MovingSquares, RingLimitDropsShortRingsFromDocumentAndPictureAndNothingElse) {
  struct Square {
    int x0, y0, side;
  };
  const std::vector<Square> squares = {{4, 4, 1}, {10, 4, 2}, {18, 4, 3}, {27, 4, 4}, {37, 4, 5}};
  const auto paint = [&](Scene& s) {
    for (const Square& q : squares) s.SetDeep(q.x0, q.y0, q.x0 + q.side - 1, q.y0 + q.side - 1);
    s.SetDeep(4, 14, 15, 25);
    for (int x = 9; x <= 10; ++x)
      for (int y = 19; y <= 20; ++y) s.Picture.SetPixel(x, y, kShallow);
  };
  Scene all(50, 30), limited(50, 30);
  paint(all);
  paint(limited);
  ASSERT_TRUE(TMovingSquares(all.Doc, all.View, all.IsoMap, all.Picture, all.Mask).GenerateISO(500, 1000, 1000));
  testing::RecordingFeedback feedback;
  TMovingSquares tracer(limited.Doc, limited.View, limited.IsoMap, limited.Picture, limited.Mask);
  tracer.MinRing = 13;
  ASSERT_TRUE(tracer.GenerateISO(500, 1000, 1000, feedback));
  EXPECT_EQ(tracer.RingsDropped, 4);
  EXPECT_TRUE(feedback.Logged("Rings shorter than 13 px dropped: 4"));

  // The boxes of the dropped rings' corners.
  std::vector<std::array<int, 4>> dropped = {{9, 19, 11, 21}};
  for (const Square& q : squares)
    if (4 * q.side < 13) dropped.push_back({q.x0, q.y0, q.x0 + q.side, q.y0 + q.side});
  const auto inDropped = [&](int x, int y) {
    return std::any_of(dropped.begin(), dropped.end(),
                       [&](const auto& b) { return x >= b[0] && x <= b[2] && y >= b[1] && y <= b[3]; });
  };
  std::vector<Track> kept;
  for (const Track& track : all.Read(all.Doc)) {
    const bool small = std::all_of(track.begin(), track.end(), [&](const Segment& segment) {
      return std::all_of(segment.begin(), segment.end(), [&](const Corner& c) { return inDropped(c.first, c.second); });
    });
    if (!small) kept.push_back(track);
  }
  EXPECT_LT(kept.size(), all.Doc.trk.Count()) << "the short rings were there without a limit";
  EXPECT_EQ(limited.Read(limited.Doc), kept);
  for (int x = 0; x < 50; ++x)
    for (int y = 0; y < 30; ++y)
      EXPECT_EQ(limited.IsoMap.Pixel(x, y), inDropped(x, y) ? 0xFFFFFFu : all.IsoMap.Pixel(x, y)) << x << "," << y;
}

}  // namespace
}  // namespace sondralis
