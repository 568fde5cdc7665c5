#include "model/GPX.h"

#include <algorithm>
#include <memory>

namespace sondralis {

void TGPXwpt::CopyFrom(const TGPXwpt& WayPoint) {
  TPoint4D2::CopyFrom(WayPoint);
  magvar = WayPoint.magvar;
  geoidheight = WayPoint.geoidheight;
  name = WayPoint.name;
  cmt = WayPoint.cmt;
  desc = WayPoint.desc;
  src = WayPoint.src;
  link = WayPoint.link;
  sym = WayPoint.sym;
  wtype = WayPoint.wtype;
  fix = WayPoint.fix;
  sat = WayPoint.sat;
  hdop = WayPoint.hdop;
  vdop = WayPoint.vdop;
  pdop = WayPoint.pdop;
  ageofdgpsdata = WayPoint.ageofdgpsdata;
  dgpsid = WayPoint.dgpsid;
  extensions = WayPoint.extensions;
}

void TGPXwptList::AppendCopies(const TGPXwptList& source) {
  const int n = source.Count();  // fixed first: source may be this list
  Reserve(Count() + n);
  for (int i = 0; i < n; ++i) {
    auto copy = std::make_unique<TGPXwpt>();
    copy->CopyFrom(*source.WayPoints(i));
    Add(copy.release());
  }
}

void TGPXwptList::CopyFrom(const TGPXwptList& wptlist) {
  if (&wptlist == this) return;
  filled = wptlist.filled;
  if (DepthNamespace.empty()) DepthNamespace = wptlist.DepthNamespace;
  AppendCopies(wptlist);
}

void TGPXrte::CopyFrom(const TGPXrte& Route) {
  if (&Route == this) return;
  name = Route.name;
  cmt = Route.cmt;
  desc = Route.desc;
  src = Route.src;
  link = Route.link;
  number = Route.number;
  rtype = Route.rtype;
  extensions = Route.extensions;
  LineStyle.CopyFrom(Route.LineStyle);
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
  name = trk.name;
  cmt = trk.cmt;
  desc = trk.desc;
  src = trk.src;
  link = trk.link;
  number = trk.number;
  ttype = trk.ttype;
  extensions = trk.extensions;
  LineStyle.CopyFrom(trk.LineStyle);
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
