#pragma once

// The iso-contour tracer: iso-depth lines through the interpolated depth
// picture, level by level, as tracks of a GPX document and as lines on the
// ISO map picture.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "interpolation/CommonTypes.h"
#include "model/ColorInterpolate.h"
#include "model/Feedback.h"
#include "model/GPX.h"
#include "view/Canvas.h"
#include "view/GPXDraw.h"

namespace sondralis {

// Traces iso-depth lines through the interpolated picture. For each level
// from MinDepth while level <= MaxDepth + 1, in DepthStep steps, a pixel
// counts as deeper when its packed colour 0x00BBGGRR is greater than the
// level's colour on the depth ramp (uncovered pixels are black, so never
// deeper). The tracer finds the pixels where a deeper region begins below a
// shallower pixel and walks around the region along pixel corners with the
// deeper pixels on its left (as seen on screen), diagonal neighbours being
// separate regions. The stretches of the walk whose corners have all four
// pixels covered by the mask become segments of one track per walk, their
// points at the level's depth; straight runs keep their end points only and
// at a right-angle turn the point one step after the corner is kept instead
// of the corner. Stretches of 2 points or fewer are dropped. A corner
// beyond the antimeridian or a pole (in a view's margin) is stored at its
// place on the globe (WrapLongitude, ClampLatitude). Every step of a
// stretch is drawn on the ISO map picture in the level's colour.
//
// Pixels of the outermost rows and columns never count as deeper or
// covered, so no walk leaves the picture.
//
// Which pixels are deeper depends only on which of the picture's colours lie
// above the level's colour. A level that deepens no pixel, or exactly the
// pixels an earlier level deepened, has no line of its own (it would repeat
// the earlier one under another depth) and is passed over. So the work
// follows the picture: at most one level per colour in it is traced, however
// many levels a great depth or a small step asks for.
//
// A tracer holds references to its inputs and is meant for one GenerateISO
// call; tracers share nothing, so several can run side by side.
class TMovingSquares {
 public:
  enum TStep : std::uint8_t { stNone = 0, stUp = 1, stLeft = 2, stDown = 3, stRight = 4 };
  struct TVector {
    std::int32_t X = 0;
    std::int32_t Y = 0;
  };
  struct TArea {
    std::int32_t xmin = 0;
    std::int32_t xmax = 0;
    std::int32_t ymin = 0;
    std::int32_t ymax = 0;
  };

  // GPX receives the contour tracks; TrackSource turns pixel corners into
  // coordinates (XToLo, YToLa); the lines are drawn on IsoMap;
  // InterpolatedImage is the depth picture and ShadowArray the coverage mask
  // of the same pixel grid (shared, never written). All of them must outlive
  // the tracer.
  TMovingSquares(TGPX& GPX, const TGPXDraw& TrackSource, TCanvas& IsoMap, const TCanvas& InterpolatedImage,
                 const TBooleanArray& ShadowArray);
  TMovingSquares(const TMovingSquares&) = delete;
  TMovingSquares& operator=(const TMovingSquares&) = delete;

  TColor clShallow = clRed;  // shallow end of the ramp; the caller sets the window's colours
  TColor clDeep = clBlue;    // deep end of the ramp
  // Closed rings (walks whose every corner is covered) of fewer steps than
  // this, i.e. shorter than this many pixels of perimeter, are neither kept
  // nor drawn; 0 keeps every ring, as the tracer always did. RingsDropped
  // counts them, and GenerateISO logs how many there were.
  double MinRing = 0;
  int RingsDropped = 0;

  // Sizes the ISO map to the picture and traces every level; depths in
  // centimetres. The picture is read once, at the start. A DepthStep below 1
  // is refused: false, nothing touched. A MaxDepth of 0 or less leaves no
  // level to trace (the level colours are relative to it). Throws
  // std::invalid_argument, before anything changes, when the mask or the
  // view does not have the picture's size.
  //
  // The progress goes to the feedback: first (0, MaxDepth rounded to the
  // nearest hundred), then, for every level traced, the level as the
  // position, then ProcessEvents, then a check for cancellation (TCanceled:
  // the levels traced so far stay in GPX and on the ISO map; the caller puts
  // back what it wants kept), then the level is traced and LevelDone called
  // with it. Levels passed over report nothing.
  bool GenerateISO(int MinDepth, int MaxDepth, int DepthStep, TFeedback& Feedback,
                   const std::function<void(int Level)>& LevelDone = {});
  // The same without feedback.
  bool GenerateISO(int MinDepth, int MaxDepth, int DepthStep);

 private:
  void ReadPicture();
  // The distinct colours of the pixels that can count as deeper, ascending.
  std::vector<TColor> WalkRangeColours() const;
  void Release();
  void ClassifyPixels();
  bool FindStartPoint();
  void WalkPerimeter(int level, int sx, int sy);
  void StepCell(int x, int y);
  void StorePiece(TGPXtrk& Track, int level) const;
  void FlushDrawing();
  bool IsoAt(int x, int y) const;
  bool ShadowAt(int x, int y) const;
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(x) * static_cast<std::size_t>(fHeight) + static_cast<std::size_t>(y);
  }

  TVector startP;      // start pixel of the walk just found
  TVector laststartP;  // where the search for the next start resumes
  TStep nextStep = stNone;      // direction chosen by the last cell
  TStep previousStep = stNone;  // direction chosen by the cell before; both survive walks and levels
  // Per pixel: not covered, or passed by a walk or the start search. The
  // search never looks back, so it marks only the starts it returns.
  TBooleanArray IsoShadow;
  TColor IsoThreshold = 0;  // colour of the current level
  TBooleanArray IsoArray;   // per pixel: deeper than the current level; false outside IsoWalkRange
  TArea IsoWalkRange;       // columns 1 .. W − 2, rows 1 .. H − 2
  TCanvas* FIsoMap;
  const TCanvas* FInterpolatedImage;
  TBooleanArray FShadowArray;
  TGPX* FGPX;                       // receives the contour tracks
  const TGPXDraw* FTrackSource;     // pixel corners to coordinates

  int fWidth = 0;
  int fHeight = 0;
  std::vector<TColor> fColors;  // the picture, packed 0x00BBGGRR, column after column
  std::vector<TVector> fPiece;  // corners kept so far of the stretch being walked
  // With a ring limit, the walk's drawing waits until the walk is known not
  // to be a short ring: the corners to draw, each with whether a stretch
  // begins there.
  std::vector<std::pair<TVector, bool>> fDrawing;
};

}  // namespace sondralis
