#pragma once

// The example lake (survey and shoreline KML) loaded, fitted and drawn in a
// map view of the given size as "Add Files..." leaves it, ready for a mask
// or an interpolation run.

#include <cmath>
#include <string>

#include "formats/SourceTracks.h"
#include "interpolation/InterpolationRun.h"
#include "model/Feedback.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis::bench {

struct TExampleLakeView {
  TGPX Doc;
  TCanvas Picture;
  TGPXDraw View;
  int MaxDepth = 0;

  // Dir holds lake_survey.gpx and lake_shore.kml: the example lake's folder
  // unless another lake is asked for (BenchLakeDir).
  explicit TExampleLakeView(int Width = 1004, int Height = 677,
                            const std::string& Dir = SONDRALIS_SOURCE_DIR "/examples")
      : Picture(Width, Height) {
    TSilentFeedback feedback;
    for (const char* name : {"lake_survey.gpx", "lake_shore.kml"}) LoadSourceFile(Doc, Dir + "/" + name, {}, feedback);
    View.TrackWidth = 3;
    View.Options.BackGroundColor = clWhite;
    View.ShadowMapEnabled = true;
    View.ShadowMapTrackColor = clSilver;
    View.GPXd = &Doc;
    View.Canvas = &Picture;
    View.Resize(Width, Height);
    View.ResetBBox(true, true);
    MaxDepth = GetMaxDepth(Doc);
    View.MaxDepth = MaxDepth;
    View.Redraw();
  }
  TExampleLakeView(const TExampleLakeView&) = delete;
  TExampleLakeView& operator=(const TExampleLakeView&) = delete;

  // What "Interpolate" reads, with the window's defaults and `Threads` workers.
  TInterpolationSettings RunSettings(int Threads) const {
    TInterpolationSettings settings;
    settings.Threads = Threads;
    return settings;
  }
  TRunInput RunInput() const {
    TRunInput input;
    input.MaxDepth = MaxDepth;
    input.DecimateLongitude = std::fabs(View.BBox.E - View.BBox.O) / View.Width();
    input.DecimateLatitude = std::fabs(View.BBox.N - View.BBox.S) / View.Height();
    return input;
  }
};

// The example lake in a 1004 x 677 view, interpolated once with 2 workers
// as "Interpolate" does; Error says why there is no map.
struct TInterpolatedExampleLake {
  TExampleLakeView Lake;
  TDepthMap Map;
  std::string Error;

  TInterpolatedExampleLake() {
    TSilentFeedback feedback;
    try {
      if (!Map.Interpolate(Lake.View, Lake.RunSettings(2), Lake.RunInput(), feedback)) Error = "nothing to interpolate";
    } catch (const ERunRefused& e) {
      Error = e.what();
    }
  }
};

// One per benchmark program, made when first asked for.
inline const TInterpolatedExampleLake& InterpolatedExampleLake() {
  static const TInterpolatedExampleLake lake;
  return lake;
}

}  // namespace sondralis::bench
