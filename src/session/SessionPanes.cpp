// The map panes of the session: fitting and zooming, the mouse on the two
// interactive maps, the coordinate read-outs and resizing.

#include <algorithm>
#include <charconv>
#include <cmath>

#include "session/Session.h"
#include "session/SessionParts.h"

namespace sondralis {

namespace {

TLabel CoordinateLabel(TPane pane) {
  switch (pane) {
    case TPane::Tracks: return TLabel::TrkCoordinates;
    case TPane::Interpolated: return TLabel::InterpolCoordinates;
    case TPane::IsoMap: return TLabel::IsoCoordinates;
    case TPane::HTTracks: break;
  }
  return TLabel::HTCoordinates;
}

TPaneCursor RestingCursor(TPane pane) { return pane == TPane::HTTracks ? TPaneCursor::Default : TPaneCursor::Move; }

}  // namespace

TGPXDraw* TSession::InteractiveView(TPane pane) {
  if (pane == TPane::Tracks) return &fProject.GPXView();
  if (pane == TPane::HTTracks) return &fProject.IsoView();
  return nullptr;
}

// The grid a pane's picture was drawn in: the two pictures computed from
// the interpolation keep the grid of their run, the maps use their views.
const TGPXDraw& TSession::GridOf(TPane pane) const {
  switch (pane) {
    case TPane::Tracks: return fProject.GPXView();
    case TPane::HTTracks: return fProject.IsoView();
    case TPane::Interpolated: return fProject.DepthPictureGrid();
    case TPane::IsoMap: return fProject.ContourPictureGrid();
  }
  return fProject.GPXView();
}

// Whether the pane shows something its mouse can act on.
bool TSession::PaneActive(TPane pane) const {
  return pane == TPane::HTTracks ? fProject.IsoLoaded() : fProject.FileLoaded();
}

void TSession::RedrawPane(TPane pane) {
  if (pane == TPane::Tracks) {
    fProject.RedrawSource();
    Notify(TChange::SourcePicture);
  } else if (pane == TPane::HTTracks) {
    fProject.RedrawContours();
    Notify(TChange::HTPicture);
  }
}

void TSession::ShowCoordinates(TPane pane, int X, int Y) {
  const TGPXDraw& grid = GridOf(pane);
  TPoint4D2 position;
  position.Longitude = grid.XToLo(X);
  position.Latitude = grid.YToLa(Y);
  SetLabel(CoordinateLabel(pane), position.Coord());
}

void TSession::AfterSourceViewChange() {
  fProject.SourceViewChanged();
  Notify(TChange::ShoreLinePicture);
  Notify(TChange::MapInfo);
}

// ---------------------------------------------------------------- buttons

void TSession::TrkFit() {
  if (!WindowEnabled() || !fProject.FileLoaded()) return;
  fProject.Fit();
  Notify(TChange::SourcePicture);
  Notify(TChange::MapInfo);
}

void TSession::TrkZoomIn() {
  if (!WindowEnabled() || !fProject.FileLoaded()) return;
  fProject.ZoomIn();
  Notify(TChange::SourcePicture);
  Notify(TChange::MapInfo);
}

void TSession::TrkZoomOut() {
  if (!WindowEnabled() || !fProject.FileLoaded()) return;
  fProject.ZoomOut();
  Notify(TChange::SourcePicture);
  Notify(TChange::MapInfo);
}

void TSession::ArmTool(TPane pane, TMouseMode Mode) {
  TGPXDraw* view = InteractiveView(pane);
  if (!WindowEnabled() || !view) return;
  view->MouseMode = Mode;
  SetCursor(pane, TPaneCursor::Cross);
}

void TSession::TrkZoomArea() { ArmTool(TPane::Tracks, mmZoom); }
void TSession::TrkRemoveWaypoints() { ArmTool(TPane::Tracks, mmCutter); }

void TSession::HtFit() {
  if (!WindowEnabled() || !fProject.IsoLoaded()) return;
  fProject.IsoView().ResetBBox(true, true);
  RedrawPane(TPane::HTTracks);
}

void TSession::HtZoomArea() {
  if (!WindowEnabled() || !fProject.IsoLoaded()) return;
  ArmTool(TPane::HTTracks, mmZoom);
  fHtZoomDown = true;
  ButtonsChanged();
}

// ---------------------------------------------------------------- mouse

void TSession::MouseDown(TPane pane, int X, int Y) {
  TGPXDraw* view = InteractiveView(pane);
  if (!WindowEnabled() || !view || !fProject.FileLoaded()) return;
  view->MouseX = X;
  view->MouseY = Y;
}

void TSession::MouseMove(TPane pane, int X, int Y, bool LeftButton) {
  if (!WindowEnabled()) return;
  TGPXDraw* view = InteractiveView(pane);
  if (!PaneActive(pane)) return;
  ShowCoordinates(pane, X, Y);
  if (pane == TPane::Interpolated) SetLabel(TLabel::InterpolDepth, DepthText(X, Y));
  if (!view || !LeftButton) return;
  if (view->MouseMode == mmMove) {
    view->MoveMouseTo(X, Y);
    RedrawPane(pane);
  } else if (view->MouseMode == mmZoom || (pane == TPane::Tracks && view->MouseMode == mmCutter)) {
    // The rubber band from the anchor over the clean picture.
    view->Redraw();
    view->DrawMouseSelectionRectTo(X, Y, view->Options.SelectedColor);
    Notify(pane == TPane::Tracks ? TChange::SourcePicture : TChange::HTPicture);
  }
}

void TSession::MouseUp(TPane pane, int X, int Y, bool Alt) {
  TGPXDraw* view = InteractiveView(pane);
  if (!WindowEnabled() || !view || !fProject.FileLoaded()) return;
  const TMouseMode mode = view->MouseMode;
  if (mode == mmMove) return;
  const bool cutter = pane == TPane::Tracks && mode == mmCutter;
  // Alt keeps an armed tool for another drag; any other mode always ends.
  if (!(Alt && (mode == mmZoom || cutter))) {
    view->MouseMode = mmMove;
    SetCursor(pane, RestingCursor(pane));
    if (pane == TPane::HTTracks && mode == mmZoom) {
      fHtZoomDown = false;
      ButtonsChanged();
    }
  }
  if (mode == mmZoom) {
    view->ZoomMouseTo(X, Y);
    RedrawPane(pane);
    if (pane == TPane::Tracks) AfterSourceViewChange();
  } else if (cutter) {
    view->CutterMouseTo(X, Y, false, false);
    fPointsRemoved = true;
    fProject.GPXdata().Selection.Clear();
    RedrawPane(pane);
    UpdateMask();
  } else {
    RedrawPane(pane);
    if (pane == TPane::Tracks) UpdateMask();
  }
}

void TSession::Pan(TPane pane, int X1, int Y1, int X2, int Y2) {
  MouseDown(pane, X1, Y1);
  MouseMove(pane, X2, Y2, true);
  MouseUp(pane, X2, Y2, false);
}

void TSession::ZoomToRectangle(TPane pane, int X1, int Y1, int X2, int Y2) {
  if (pane == TPane::Tracks) TrkZoomArea();
  else if (pane == TPane::HTTracks) HtZoomArea();
  else return;
  Pan(pane, X1, Y1, X2, Y2);
}

void TSession::CutRectangle(int X1, int Y1, int X2, int Y2) {
  TrkRemoveWaypoints();
  Pan(TPane::Tracks, X1, Y1, X2, Y2);
}

void TSession::ZoomAtPoint(TPane pane, int X, int Y, double Notches) {
  TGPXDraw* view = InteractiveView(pane);
  if (!WindowEnabled() || !view || !PaneActive(pane) || !std::isfinite(Notches) || Notches == 0) return;
  // "Zoom In" shows 85 % of the width and height; a notch out undoes a notch in.
  if (!view->ZoomAbout(X, Y, std::pow(0.85, Notches))) return;
  RedrawPane(pane);
  if (pane == TPane::Tracks) AfterSourceViewChange();
}

std::string TSession::DepthText(int X, int Y) const {
  if (!fProject.InterpLoaded()) return {};
  const double centimetres = fProject.DepthMap().DepthAt(X, Y);
  if (!std::isfinite(centimetres)) return {};
  // Locale-independent, like every number the program shows in a text.
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, centimetres / 100, std::chars_format::fixed, 1);
  if (result.ec != std::errc()) return {};
  return std::string(buffer, result.ptr) + " m";
}

// ---------------------------------------------------------------- resizing

void TSession::ResizePane(TPane pane, int Width, int Height) {
  if (!WindowEnabled()) return;
  // The Interpolated Map and ISO Contour pictures keep their pixels: they
  // belong to the grid of the run that made them.
  if (pane == TPane::Tracks) {
    fProject.SetMapSize(Width, Height);
    if (fProject.FileLoaded()) {
      Notify(TChange::SourcePicture);
      Notify(TChange::MapInfo);
    }
  } else if (pane == TPane::HTTracks) {
    fProject.SetContourMapSize(Width, Height);
    if (fProject.IsoLoaded()) Notify(TChange::HTPicture);
  }
}

void TSession::UpdateMask() {
  fProject.UpdateMask();
  Notify(TChange::ShoreLinePicture);
}

}  // namespace sondralis
