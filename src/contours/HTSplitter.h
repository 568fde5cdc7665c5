#pragma once

// Cuts the tracks of a document into parts that each fit one HT file.

#include "model/GPX.h"

namespace sondralis {

// Parts follow the tracks in order and, within a track, the segments in
// order. Every part is a separate document with a track of its own for each
// source track it holds part of, and a part never splits a segment that fits
// a part on its own. A segment longer than kMaxPiece points is cut into
// consecutive pieces of at most kMaxPiece points, each piece starting with
// the last point of the one before, so the line stays connected.
//
// The running count adds 9 for every segment (or piece) before checking it
// and 9 after every finished track; a segment whose points would push the
// count above 20000 opens the next part. The allowance of the part's last
// track is added after the last check, so a part may count up to 20009.
class THTSplitter {
 public:
  static constexpr int kLimit = 20000;
  static constexpr int kAllowance = 9;
  static constexpr int kMaxPiece = kLimit - kAllowance;  // points of the largest piece

  explicit THTSplitter(const TGPX& Source) : fSource(Source) {}

  // True once the last part has been handed out.
  bool Finished() const noexcept { return fFinished; }

  // Appends the tracks of the next part to `Part` (normally a new, empty
  // document) and returns the running count of that part. Returns 0 and
  // adds nothing once Finished.
  int NextPart(TGPX& Part);

  // Number of pieces segment `Seg` is cut into (1 for a segment that fits).
  static int PieceCount(const TGPXtrkseg& Seg);

 private:
  // Adds piece `Piece` of `Seg` to `Track` as a new segment.
  static int AddPiece(TGPXtrk& Track, const TGPXtrkseg& Seg, int Piece);

  const TGPX& fSource;
  int fTrack = 0;  // where the next part starts
  int fSeg = 0;
  int fPiece = 0;
  bool fFinished = false;
};

}  // namespace sondralis
