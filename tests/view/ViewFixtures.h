#pragma once

#include <initializer_list>

#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis::testing_view {

struct Fix {
  double Latitude;
  double Longitude;
  double Depth = 0;
};

inline TGPXwpt* MakePoint(const Fix& f) {
  auto* p = new TGPXwpt;
  p->Latitude = f.Latitude;
  p->Longitude = f.Longitude;
  p->HBdepth = f.Depth;
  return p;
}

// Appends a new track with one segment holding the given points.
inline TGPXtrkseg* AddTrack(TGPX& doc, std::initializer_list<Fix> fixes) {
  auto* track = new TGPXtrk;
  doc.trk.Add(track);
  auto* segment = new TGPXtrkseg;
  track->Add(segment);
  for (const Fix& f : fixes) segment->Add(MakePoint(f));
  return segment;
}

// A view of `doc` on `canvas`, sized like it, fitted as the window does.
inline void AttachAndFit(TGPXDraw& view, TGPX& doc, TCanvas& canvas) {
  view.GPXd = &doc;
  view.Canvas = &canvas;
  view.Resize(canvas.Width(), canvas.Height());
  view.ResetBBox(true, true);
}

// The box 46.00–46.01 N, 8.00–8.01 E as one track of two corner points.
inline void AddReferenceBox(TGPX& doc) { AddTrack(doc, {{46.00, 8.00}, {46.01, 8.01}}); }

}  // namespace sondralis::testing_view
