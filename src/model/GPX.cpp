#include "model/GPX.h"

#include <algorithm>
#include <memory>

namespace sondralis {

const TGPXwptDetails& TGPXwptDetails::Defaults() {
  static const TGPXwptDetails defaults;
  return defaults;
}

const TGPXrouteDetails& TGPXrouteDetails::Defaults() {
  static const TGPXrouteDetails defaults;
  return defaults;
}

void TGPXwpt::CopyFrom(const TGPXwpt& WayPoint) {
  if (&WayPoint == this) return;
  TPoint4D2::CopyFrom(WayPoint);
  CopyDetails(WayPoint);
}

void TGPXwptList::AppendCopies(const TGPXwptList& source) {
  const int n = source.Count();  // fixed first: source may be this list
  Reserve(Count() + n);
  for (int i = 0; i < n; ++i) NewPoint()->CopyFrom(*source.WayPoints(i));
}

void TGPXwptList::CopyFrom(const TGPXwptList& wptlist) {
  if (&wptlist == this) return;
  filled = wptlist.filled;
  if (DepthNamespace.empty()) DepthNamespace = wptlist.DepthNamespace;
  AppendCopies(wptlist);
}

void TGPXrte::CopyFrom(const TGPXrte& Route) {
  if (&Route == this) return;
  CopyDetails(Route);
  DepthNamespace = Route.DepthNamespace;
  ClearPointList();
  AppendCopies(Route);
}

void TGPXtrkseg::CopyFrom(const TGPXtrkseg& TrackSeg) {
  if (&TrackSeg == this) return;
  extensions = TrackSeg.extensions;
  DepthNamespace = TrackSeg.DepthNamespace;
  ClearPointList();
  AppendCopies(TrackSeg);
}

void TGPXtrk::CopyFrom(const TGPXtrk& trk) {
  CopyDetails(trk);
  // Copying a track into itself appends its own segments once.
  const int n = trk.Count();
  for (int i = 0; i < n; ++i) {
    auto seg = std::make_unique<TGPXtrkseg>();
    seg->CopyFrom(*trk.trkseg(i));
    Add(seg.release());
  }
}

void TGPXrteList::CopyFrom(const TGPXrteList& rtelist) {
  filled = rtelist.filled;
  const int n = rtelist.Count();
  for (int i = 0; i < n; ++i) {
    auto route = std::make_unique<TGPXrte>();
    route->CopyFrom(*rtelist.Routes(i));
    Add(route.release());
  }
}

void TGPXtrkList::CopyFrom(const TGPXtrkList& trkList) {
  filled = trkList.filled;
  const int n = trkList.Count();
  for (int i = 0; i < n; ++i) {
    auto track = std::make_unique<TGPXtrk>();
    track->CopyFrom(*trkList.Tracks(i));
    Add(track.release());
  }
}

void TGPXrteList::MoveFrom(TGPXrteList& rtelist) {
  if (&rtelist == this) return;
  filled = rtelist.filled;
  Reserve(Count() + rtelist.Count());
  for (TGPXrte* route : rtelist) Add(route);
  rtelist.Clear();
}

void TGPXtrkList::MoveFrom(TGPXtrkList& trkList) {
  if (&trkList == this) return;
  filled = trkList.filled;
  Reserve(Count() + trkList.Count());
  for (TGPXtrk* track : trkList) Add(track);
  trkList.Clear();
}

void TGPX::CopyFrom(const TGPX& GPXd) {
  Selection.Clear();
  if (&GPXd == this) return;
  fversion = GPXd.fversion;
  creator = GPXd.creator;
  metadata.CopyFrom(GPXd.metadata);
  extension.CopyFrom(GPXd.extension);
  wpt.CopyFrom(GPXd.wpt);
  rte.CopyFrom(GPXd.rte);
  trk.CopyFrom(GPXd.trk);
}

void TGPX::Clear() {
  Selection.Clear();
  wpt.ClearPointList();
  wpt.filled = false;
  rte.FreeAll();
  rte.filled = false;
  trk.FreeAll();
  trk.filled = false;
}

std::optional<TGPXbounds> BoundsOf(const TGPXwptList& wpt, const TGPXrteList& rte,
                                   const std::vector<const TGPXtrkseg*>& segments) {
  TBBox box;
  box.Add(wpt.BoxFromTo(0, wpt.Count() - 1, true));
  for (const TGPXrte* route : rte) {
    const TBBox b = route->BoxFromTo(0, route->Count() - 1, true);
    if (b.Complete) box.Add(b);
  }
  for (const TGPXtrkseg* seg : segments) {
    const TBBox b = seg->BoxFromTo(0, seg->Count() - 1, true);
    if (b.Complete) box.Add(b);
  }
  if (box.E == box.O || box.N == box.S) return std::nullopt;
  TGPXbounds bounds;
  bounds.minlat = std::min(box.S, box.N);
  bounds.maxlat = std::max(box.S, box.N);
  bounds.minlon = std::min(box.O, box.E);
  bounds.maxlon = std::max(box.O, box.E);
  bounds.filled = true;
  return bounds;
}

void TGPX::ComputeMetaBounds() {
  std::vector<const TGPXtrkseg*> segments;
  for (const TGPXtrk* track : trk)
    for (const TGPXtrkseg* seg : *track) segments.push_back(seg);
  const std::optional<TGPXbounds> bounds = BoundsOf(wpt, rte, segments);
  if (!bounds) return;
  metadata.bounds = *bounds;
  metadata.filled = true;
}

}  // namespace sondralis
