// MovingSquares: the iso-contour tracer TMovingSquares.

#include "contours/MovingSquares.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

namespace sondralis {

namespace {

using TStep = TMovingSquares::TStep;

bool Horizontal(TStep s) { return s == TMovingSquares::stLeft || s == TMovingSquares::stRight; }
bool Vertical(TStep s) { return s == TMovingSquares::stUp || s == TMovingSquares::stDown; }

// The progress bar's maximum: MaxDepth to the nearest multiple of 100,
// halves away from zero.
int RoundToHundred(int Value) {
  const long long v = Value;
  const long long rounded = v >= 0 ? (v + 50) / 100 * 100 : -((-v + 50) / 100 * 100);
  return static_cast<int>(std::clamp<long long>(rounded, INT_MIN, INT_MAX));
}

std::string SizeText(int Width, int Height) { return std::to_string(Width) + " x " + std::to_string(Height); }

// Eight flags of a bool array as the bytes of one word (each 0 or 1).
static_assert(sizeof(bool) == 1);
std::uint64_t Load8(const bool* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

}  // namespace

TMovingSquares::TMovingSquares(TGPX& GPX, const TGPXDraw& TrackSource, TCanvas& IsoMap,
                               const TCanvas& InterpolatedImage, const TBooleanArray& ShadowArray)
    : FIsoMap(&IsoMap),
      FInterpolatedImage(&InterpolatedImage),
      FShadowArray(ShadowArray),
      FGPX(&GPX),
      FTrackSource(&TrackSource) {}

bool TMovingSquares::GenerateISO(int MinDepth, int MaxDepth, int DepthStep) {
  TSilentFeedback feedback;
  return GenerateISO(MinDepth, MaxDepth, DepthStep, feedback);
}

bool TMovingSquares::GenerateISO(int MinDepth, int MaxDepth, int DepthStep, TFeedback& Feedback,
                                 const std::function<void(int)>& LevelDone) {
  // A step of 0 would trace the same level for ever.
  if (DepthStep < 1) return false;
  const int W = FInterpolatedImage->Width(), H = FInterpolatedImage->Height();
  if (FShadowArray.Width() != W || FShadowArray.Height() != H)
    throw std::invalid_argument("The coverage mask (" + SizeText(FShadowArray.Width(), FShadowArray.Height()) +
                                ") does not match the interpolated picture (" + SizeText(W, H) + ").");
  if (FTrackSource->Width() != W || FTrackSource->Height() != H)
    throw std::invalid_argument("The map view (" + SizeText(FTrackSource->Width(), FTrackSource->Height()) +
                                ") does not match the interpolated picture (" + SizeText(W, H) + ").");

  fWidth = W;
  fHeight = H;
  RingsDropped = 0;
  FIsoMap->SetSize(W, H);
  IsoWalkRange = {1, W - 2, 1, H - 2};
  const int progressMax = RoundToHundred(MaxDepth);
  Feedback.SetProgress(0, progressMax);
  // The level colours are fractions of MaxDepth: without a positive maximum
  // no level has a colour.
  if (MaxDepth <= 0) return true;

  ReadPicture();
  const std::vector<TColor> colours = WalkRangeColours();
  // Which sets of deeper pixels were traced, by the number of the
  // picture's colours a threshold is not below.
  std::vector<bool> traced(colours.size() + 1, false);
  IsoShadow.SetSize(W, H);
  IsoArray.SetSize(W, H);
  // Levels MinDepth + k·DepthStep for k from 0 to last.
  const long long span = static_cast<long long>(MaxDepth) + 1 - MinDepth;
  const long long last = span < 0 ? -1 : span / DepthStep;
  const auto threshold = [&](long long k) {
    return BlendColors(clShallow, clDeep, static_cast<double>(MinDepth + k * DepthStep) / MaxDepth);
  };
  for (long long k = 0; k <= last;) {
    const long long level = MinDepth + k * DepthStep;
    const TColor colour = threshold(k);
    // The levels up to `same` share this colour: each channel of the ramp
    // is monotonic in the level, so they form one run.
    long long same = k;
    for (long long lo = k + 1, hi = last; lo <= hi;) {
      const long long mid = lo + (hi - lo) / 2;
      if (threshold(mid) == colour) {
        same = mid;
        lo = mid + 1;
      } else {
        hi = mid - 1;
      }
    }
    k = same + 1;
    // A level deepens exactly the pixels whose colours lie above its own,
    // so its lines are those of every level before it with the same set:
    // only the first of them is traced, and a level that no pixel lies
    // deeper than has no line at all.
    const std::size_t notDeeper =
        static_cast<std::size_t>(std::upper_bound(colours.begin(), colours.end(), colour) - colours.begin());
    if (notDeeper == colours.size() || traced[notDeeper]) continue;
    traced[notDeeper] = true;

    const int lvl = static_cast<int>(std::min<long long>(level, INT_MAX));
    Feedback.SetProgress(lvl, progressMax);
    Feedback.ProcessEvents();
    if (Feedback.Canceled()) {
      Release();
      throw TCanceled{};
    }
    IsoThreshold = colour;
    FIsoMap->SetPenColor(IsoThreshold);
    FIsoMap->SetPenWidth(1);
    ClassifyPixels();
    laststartP = {0, 0};
    while (FindStartPoint()) {
      WalkPerimeter(lvl, startP.X, startP.Y);
      laststartP = startP;
    }
    if (LevelDone) LevelDone(lvl);
  }
  Release();
  if (MinRing > 0) {
    char line[96];
    std::snprintf(line, sizeof line, "Rings shorter than %g px dropped: %d", MinRing, RingsDropped);
    Feedback.Log(line);
  }
  return true;
}

std::vector<TColor> TMovingSquares::WalkRangeColours() const {
  std::vector<TColor> colours;
  const TArea& r = IsoWalkRange;
  for (int x = r.xmin; x <= r.xmax; ++x) {
    const TColor* column = fColors.data() + Index(x, 0);
    // Neighbours mostly share their colour: only the changes are kept.
    for (int y = r.ymin; y <= r.ymax; ++y)
      if (colours.empty() || column[y] != colours.back()) colours.push_back(column[y]);
  }
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  return colours;
}

void TMovingSquares::Release() {
  IsoShadow.SetSize(0, 0);
  IsoArray.SetSize(0, 0);
  fColors = {};
}

void TMovingSquares::ReadPicture() {
  fColors.resize(static_cast<std::size_t>(fWidth) * static_cast<std::size_t>(fHeight));
  for (int y = 0; y < fHeight; ++y) {
    const std::uint32_t* row = FInterpolatedImage->ScanLine(y);
    TColor* out = fColors.data() + y;
    for (int x = 0; x < fWidth; ++x, out += fHeight) *out = TCanvas::FromRGB32(row[x]);
  }
}

void TMovingSquares::ClassifyPixels() {
  const std::size_t n = fColors.size();
  const bool* mask = FShadowArray.All().data();
  bool* shadow = IsoShadow.All().data();
  bool* iso = IsoArray.All().data();
  for (std::size_t i = 0; i < n; ++i) shadow[i] = !mask[i];
  std::fill(iso, iso + n, false);
  const TArea& r = IsoWalkRange;
  const TColor threshold = IsoThreshold;
  for (int x = r.xmin; x <= r.xmax; ++x) {
    const std::size_t column = Index(x, 0);
    for (int y = r.ymin; y <= r.ymax; ++y) iso[column + y] = fColors[column + y] > threshold;
  }
}

// The next pixel, in column order from laststartP, that is covered, not yet
// passed, deeper, and below a pixel that is not deeper. Rows 0 and H − 1 and
// columns 0 and W − 1 are never deeper, so they hold no start; that also
// keeps the pixel above a start inside its own column.
bool TMovingSquares::FindStartPoint() {
  const std::size_t n = fColors.size();
  const bool* shadow = IsoShadow.All().data();
  const bool* iso = IsoArray.All().data();
  std::size_t i = std::max<std::size_t>(Index(laststartP.X, laststartP.Y), 1);
  const auto take = [&](std::size_t start) {
    startP = {static_cast<std::int32_t>(start / static_cast<std::size_t>(fHeight)),
              static_cast<std::int32_t>(start % static_cast<std::size_t>(fHeight))};
    IsoShadow.All()[start] = true;
    return true;
  };
  // Eight pixels at a time, then the rest one by one.
  constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
  for (; i + 8 <= n; i += 8) {
    const std::uint64_t starts = ~Load8(shadow + i) & Load8(iso + i) & ~Load8(iso + i - 1) & kLowBits;
    if (starts) {
      const int first = std::endian::native == std::endian::little ? std::countr_zero(starts) : std::countl_zero(starts);
      return take(i + static_cast<std::size_t>(first / 8));
    }
  }
  for (; i < n; ++i)
    if (!shadow[i] && iso[i] && !iso[i - 1]) return take(i);
  return false;
}

bool TMovingSquares::IsoAt(int x, int y) const {
  const TArea& r = IsoWalkRange;
  if (x < r.xmin || x > r.xmax || y < r.ymin || y > r.ymax) return false;
  return IsoArray.All()[Index(x, y)];
}

bool TMovingSquares::ShadowAt(int x, int y) const {
  const TArea& r = IsoWalkRange;
  if (x < r.xmin || x > r.xmax || y < r.ymin || y > r.ymax) return false;
  return FShadowArray.All()[Index(x, y)];
}

// The cell whose four pixels share corner (x, y): the walker leaves the
// corner with the deeper pixels on its left. In the two saddles the way in
// decides which of the two diagonal regions the walker stays around.
void TMovingSquares::StepCell(int x, int y) {
  static constexpr TStep kNext[16] = {
      stNone,  stUp,   stRight, stRight, stLeft, stUp,   stNone, stRight,
      stDown,  stNone, stDown,  stDown,  stLeft, stUp,   stLeft, stNone,
  };
  const int state = IsoAt(x - 1, y - 1) + 2 * IsoAt(x, y - 1) + 4 * IsoAt(x - 1, y) + 8 * IsoAt(x, y);
  previousStep = nextStep;
  if (state == 6)
    nextStep = previousStep == stUp ? stLeft : stRight;
  else if (state == 9)
    nextStep = previousStep == stRight ? stUp : stDown;
  else
    nextStep = kNext[state];
}

void TMovingSquares::WalkPerimeter(int level, int sx, int sy) {
  std::unique_ptr<TGPXtrk> track;
  bool valid = false;
  bool protect = true;
  fPiece.clear();
  int x = sx, y = sy;
  bool* shadow = IsoShadow.All().data();
  // Whether every corner of the walk is covered (the walk is a closed ring),
  // and its length in pixels.
  const bool limited = MinRing > 0;
  bool ring = true;
  long long steps = 0;
  fDrawing.clear();
  for (;;) {
    StepCell(x, y);
    switch (nextStep) {
      case stUp: --y; break;
      case stLeft: --x; break;
      case stDown: ++y; break;
      case stRight: ++x; break;
      case stNone:  // not on a boundary: nothing of this walk is kept
        FlushDrawing();
        return;
    }
    ++steps;
    const bool wasValid = valid;
    valid = ShadowAt(x - 1, y - 1) && ShadowAt(x, y - 1) && ShadowAt(x - 1, y) && ShadowAt(x, y);
    ring = ring && valid;
    shadow[Index(x, y)] = true;
    if (valid && !wasValid) {
      if (limited) fDrawing.push_back({{x, y}, true});
      else FIsoMap->MoveTo(x, y);
      fPiece.clear();
      protect = true;
    }
    if (valid) {
      if (limited) fDrawing.push_back({{x, y}, false});
      else FIsoMap->LineTo(x, y);
      if (!fPiece.empty()) {
        // The last point is the corner the walker just left: drop it in the
        // middle of a straight run, and at a turn keep this one instead.
        if (protect)
          protect = false;
        else if (previousStep == nextStep)
          fPiece.pop_back();
        else if ((Horizontal(previousStep) && Vertical(nextStep)) ||
                 (Vertical(previousStep) && Horizontal(nextStep))) {
          fPiece.pop_back();
          protect = true;
        }
      }
      fPiece.push_back({x, y});
    }
    const bool home = x == sx && y == sy;
    if (home && ring && steps < MinRing) {
      // A short ring: neither kept nor drawn.
      ++RingsDropped;
      return;
    }
    if (wasValid && (!valid || home)) {
      if (fPiece.size() > 2) {
        if (!track) track = std::make_unique<TGPXtrk>();
        StorePiece(*track, level);
      }
      fPiece.clear();
    }
    if (home) break;
  }
  FlushDrawing();
  if (track) FGPX->trk.Add(track.release());
}

// The strokes of a walk kept for later, as they would have been drawn at
// once: the picture does not depend on when.
void TMovingSquares::FlushDrawing() {
  for (const auto& [corner, begins] : fDrawing) {
    if (begins) FIsoMap->MoveTo(corner.X, corner.Y);
    else FIsoMap->LineTo(corner.X, corner.Y);
  }
  fDrawing.clear();
}

void TMovingSquares::StorePiece(TGPXtrk& Track, int level) const {
  auto segment = std::make_unique<TGPXtrkseg>();
  segment->Reserve(static_cast<int>(fPiece.size()));
  for (const TVector& corner : fPiece) {
    TGPXwpt* point = segment->NewPoint();
    point->Longitude = WrapLongitude(FTrackSource->XToLo(corner.X));
    point->Latitude = ClampLatitude(FTrackSource->YToLa(corner.Y));
    point->HBdepth = level;
  }
  Track.Add(segment.release());
}

}  // namespace sondralis
