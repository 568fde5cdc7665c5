#pragma once

// A map view set up as the window sets up its Source Tracks view, with a
// document built by the test or loaded from the example lake, ready for the
// coverage mask and the interpolation run.

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>

#include "formats/SourceTracks.h"
#include "interpolation/InterpolationRun.h"
#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis::testing {

struct LatLon {
  double Latitude;
  double Longitude;
};

class DepthMapScene {
 public:
  explicit DepthMapScene(int Width, int Height) : Picture(Width, Height) {
    View.TrackWidth = 3;
    View.Options.BackGroundColor = clWhite;
    View.ShadowMapEnabled = true;
    View.ShadowMapTrackColor = clSilver;
    View.GPXd = &Doc;
    View.Canvas = &Picture;
    View.Resize(Width, Height);
  }

  // One track with one segment through the points, all at Depth.
  void AddTrack(std::initializer_list<LatLon> points, double Depth) {
    auto* track = new TGPXtrk;
    Doc.trk.Add(track);
    auto* segment = new TGPXtrkseg;
    track->Add(segment);
    for (const LatLon& p : points) {
      auto* point = new TGPXwpt;
      point->Latitude = p.Latitude;
      point->Longitude = p.Longitude;
      point->HBdepth = Depth;
      segment->Add(point);
    }
  }

  // The example lake: survey and shoreline, loaded as "Add Files..." does.
  void LoadExampleLake() {
    for (const char* name : {"lake_survey.gpx", "lake_shore.kml"}) {
      TSilentFeedback feedback;
      const SourceLoadResult r =
          LoadSourceFile(Doc, std::string(SONDRALIS_SOURCE_DIR) + "/examples/" + name, {}, feedback);
      ASSERT_TRUE(r.Loaded) << name;
    }
  }

  // Fits and draws, as loading does.
  void FitAndDraw() {
    View.ResetBBox(true, true);
    View.MaxDepth = GetMaxDepth(Doc);
    View.Redraw();
  }

  // The run's settings as the window gives them by default.
  TInterpolationSettings Settings(int Threads = 2) const {
    TInterpolationSettings s;
    s.Threads = Threads;
    return s;
  }
  // What the run takes from the map: the window's colours, the loaded
  // maximum depth and the view's thinning thresholds.
  TRunInput Input() const {
    TRunInput input;
    input.MaxDepth = GetMaxDepth(Doc);
    input.DecimateLongitude = std::fabs(View.BBox.E - View.BBox.O) / View.Width();
    input.DecimateLatitude = std::fabs(View.BBox.N - View.BBox.S) / View.Height();
    return input;
  }

  int TrackPoints() const {
    int n = 0;
    for (TGPXtrk* t : Doc.trk)
      for (TGPXtrkseg* s : *t) n += s->Count();
    return n;
  }

  TGPX Doc;
  TCanvas Picture;
  TGPXDraw View;
};

}  // namespace sondralis::testing
