#pragma once

// Humminbird HT track files: a fixed-size binary file (131080 bytes,
// big-endian) with a 68-byte header and one 6-byte record per entry, which
// a Humminbird unit loads from the folder "matrix" of an SD card and shows
// as a track coloured by depth.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/GPX.h"

namespace sondralis {

// Raised when a document cannot be written as an HT file without corrupting
// it (too many entries, a step too long for 16 bits, a depth out of range,
// no point at all). The message says why, in words a user understands.
class EHTConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kHTFileSize = 131080;    // every HT file has exactly this size
inline constexpr int kHTMaxEntries = 20000;   // entries an HT file can hold
inline constexpr int kHTHeaderSize = 68;
inline constexpr int kHTRecordSize = 6;
inline constexpr int kHTNameLength = 20;      // bytes of the track name in the header
inline constexpr int kHTAllowance = 9;        // CountHTPoints allowance per segment and track

// HT grid coordinates: X east, Y north (a Mercator northing of a corrected
// latitude on a sphere of radius 6378388), rounded half to even. Throw
// EHTConvertError for a value that is not a finite angle or whose grid
// coordinate does not fit 32 bits.
std::int32_t HTLongitudeToX(double Longitude);
std::int32_t HTLatitudeToY(double Latitude);

// The segments of `GPX` in the order an HT file holds them: the first
// track's segments, then those of the last track in reverse order, then of
// the track before it reversed, down to the second track's.
std::vector<const TGPXtrkseg*> HTSegmentOrder(const TGPX& GPX);

// The track name as the header holds it: the first 20 characters of the
// UTF-8 text `TrackName`, one byte each. The unit's name field has 8 bits
// per character, so a character from U+0100 on (a code point outside
// Latin-1, malformed UTF-8 included) becomes '?' rather than a wrong letter
// made of its low byte; `Replaced` counts them.
struct THTTrackName {
  std::string Bytes;
  int Replaced = 0;
};
THTTrackName EncodeHTTrackName(std::string_view TrackName);

// The warning about a track name with characters the unit cannot show, or
// an empty text when it has none.
std::string HTTrackNameWarning(std::string_view TrackName);

// The message refusing a document of `entries` entries (more than 20000).
std::string HTTooManyEntries(long long entries);

// The whole HT file of `GPX` in memory (kHTFileSize bytes). `GPX` is not
// changed. The header holds EncodeHTTrackName(TrackName). Throws
// EHTConvertError when the document does not fit an HT file.
std::string BuildHTFile(const TGPX& GPX, std::string_view TrackName);

// Writes the tracks of one document as one HT file.
class THTConvert {
 public:
  THTConvert(TGPX* GPX, std::string TrackName, std::string FileName);

  TGPX* GPXdata;            // borrowed; never changed by the conversion
  std::string sTrackName;   // UTF-8; the first 20 characters go to the header
  std::string sFileName;    // the file to create or replace

  // Builds the file in memory and writes it atomically to sFileName. False
  // when no document is attached (nothing is written). Throws
  // EHTConvertError when the document does not fit an HT file and
  // EFileError when the file cannot be written; in both cases an existing
  // file stays as it was.
  bool ConvertToHT();
};

// The HT point count of a document: all points of all track segments plus
// `allowance` once per segment and once per track. With an allowance of 9,
// a document whose count is at most 20000 fits one HT file.
int CountHTPoints(const TGPX& GPX, int allowance);

}  // namespace sondralis
