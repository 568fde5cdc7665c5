#pragma once

// The map of the example lake as `sondralis-cli map` makes it (survey and
// shoreline KML, the map's default size, the default step), driven through a
// session, and everything the exports read of it.

#include <stdexcept>
#include <string>
#include <vector>

#include "exports/ExportGrid.h"
#include "interpolation/SampleGrid.h"
#include "model/Host.h"
#include "session/Session.h"

namespace sondralis::bench {

struct TExampleLakeMap {
  TUnattendedHost Host;
  TSession Session{Host};
  TExportGrid Grid;
  TExportSamples Samples;
  std::vector<TGeoLine> Shoreline;

  explicit TExampleLakeMap(int Width = TSession::kDefaultPaneWidth, int Height = TSession::kDefaultPaneHeight) {
    Session.ResizePane(TPane::Tracks, Width, Height);
    Session.ResizePane(TPane::HTTracks, Width, Height);
    for (const char* name : {"lake_survey.gpx", "lake_shore.kml"})
      Session.AddFiles({std::string(SONDRALIS_SOURCE_DIR "/examples/") + name});
    if (!Host.Errors.empty() || !Session.Interpolate() || !Session.RunIsoMap())
      throw std::runtime_error(Host.Errors.empty() ? "the example lake did not go through" : Host.Errors.front());
    const TDepthMap& map = Session.DepthMap();
    Grid.Depth = map.DepthArray;
    Grid.Mask = map.ShadowArray;
    Grid.Extent = ViewGridExtent(Session.GPXView());
    Samples.Coord = map.InCoord;
    Samples.Depth = map.InDepth;
    int trackPoints = 0;
    for (const TGPXtrk* track : Session.GPXdata().trk)
      for (const TGPXtrkseg* segment : *track) trackPoints += segment->Count();
    Samples.ShoreCount = Samples.Count() - trackPoints;
    Shoreline = ShorelineRings(Session.GPXdata());
  }
  TExampleLakeMap(const TExampleLakeMap&) = delete;
  TExampleLakeMap& operator=(const TExampleLakeMap&) = delete;

  int Step() const { return std::stoi(Session.Settings.IsoStep); }
};

}  // namespace sondralis::bench
