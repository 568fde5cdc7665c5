#include "contours/HTSplitter.h"

#include <algorithm>
#include <memory>

namespace sondralis {

namespace {

// Consecutive pieces overlap by one point.
constexpr int kPieceAdvance = THTSplitter::kMaxPiece - 1;

}  // namespace

int THTSplitter::PieceCount(const TGPXtrkseg& Seg) {
  const int count = Seg.Count();
  if (count <= kMaxPiece) return 1;
  return (count - 1 + kPieceAdvance - 1) / kPieceAdvance;
}

int THTSplitter::AddPiece(TGPXtrk& Track, const TGPXtrkseg& Seg, int Piece) {
  auto copy = std::make_unique<TGPXtrkseg>();
  copy->extensions = Seg.extensions;
  copy->filled = Seg.filled;
  const int from = Piece * kPieceAdvance;
  const int to = std::min(Seg.Count(), from + kMaxPiece);
  copy->Reserve(to - from);
  for (int i = from; i < to; ++i) copy->NewPoint()->CopyFrom(*Seg.trkpt(i));
  Track.Add(copy.release());
  return to - from;
}

int THTSplitter::NextPart(TGPX& Part) {
  if (fFinished) return 0;
  int sum = 0;
  bool full = false;
  const int tracks = fSource.trk.Count();
  for (int p = fTrack; p < tracks && !full; ++p) {
    const TGPXtrk& source = *fSource.trk.Tracks(p);
    auto track = std::make_unique<TGPXtrk>();
    if (!source.name().empty()) track->Edit().name = source.name();
    const int firstSeg = p == fTrack ? fSeg : 0;
    for (int q = firstSeg; q < source.Count() && !full; ++q) {
      const TGPXtrkseg& seg = *source.trkseg(q);
      const int pieces = PieceCount(seg);
      const int firstPiece = p == fTrack && q == fSeg ? fPiece : 0;
      for (int k = firstPiece; k < pieces; ++k) {
        const int from = k * kPieceAdvance;
        const int size = std::min(seg.Count(), from + kMaxPiece) - from;
        sum += kAllowance;
        if (size + sum > kLimit) {
          // This piece opens the next part.
          full = true;
          fTrack = p;
          fSeg = q;
          fPiece = k;
          break;
        }
        sum += AddPiece(*track, seg, k);
      }
    }
    Part.trk.Add(track.release());
    if (!full) sum += kAllowance;
  }
  if (!full) fFinished = true;
  return sum;
}

}  // namespace sondralis
