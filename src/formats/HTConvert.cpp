// HTConvert: the Humminbird HT track file writer.

#include "formats/HTConvert.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

#include "formats/AtomicFile.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kEquatorX = 20038297.0;          // pi * 6378388, rounded
constexpr double kSphereRadius = 6378388.0;
constexpr double kLatitudeFactor = 0.9932811271773375;
constexpr unsigned char kMagic[4] = {0x4E, 0x94, 0xB0, 0xA9};

constexpr int kMaxStep = 32767;

// `axis` and `degrees` only name the value in the error message.
std::int32_t RoundToGrid(double value, const char* axis, double degrees) {
  // nearbyint rounds half to even in the default rounding mode.
  const double rounded = std::nearbyint(value);
  if (!std::isfinite(rounded) || rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max())
    throw EHTConvertError("Can't write HT file: the " + std::string(axis) + " " + FormatNumber(degrees) +
                          " is out of range");
  return static_cast<std::int32_t>(rounded);
}

void PutU8(std::string& out, std::size_t offset, unsigned value) {
  out[offset] = static_cast<char>(value & 0xFF);
}

void PutBE16(std::string& out, std::size_t offset, std::uint16_t value) {
  PutU8(out, offset, value >> 8);
  PutU8(out, offset + 1, value);
}

void PutBE32(std::string& out, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  PutU8(out, offset, bits >> 24);
  PutU8(out, offset + 1, bits >> 16);
  PutU8(out, offset + 2, bits >> 8);
  PutU8(out, offset + 3, bits);
}

// The metadata bounds TGPX::ComputeMetaBounds would give the document once
// all its segments sit in the first track in HT order, or the bounds it has
// when that box has no extent.
TGPXbounds MergedBounds(const TGPX& GPX, const std::vector<const TGPXtrkseg*>& segments) {
  return BoundsOf(GPX.wpt, GPX.rte, segments).value_or(GPX.metadata.bounds);
}

struct GridPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
};

GridPoint Project(const TPoint4D2& p) {
  if (!(std::fabs(p.Latitude) <= 90.0) || !(std::fabs(p.Longitude) <= 180.0))
    throw EHTConvertError("Can't write HT file: the point at latitude " + FormatNumber(p.Latitude) +
                          ", longitude " + FormatNumber(p.Longitude) + " is not a valid position");
  return {HTLongitudeToX(p.Longitude), HTLatitudeToY(p.Latitude)};
}

std::int16_t DepthValue(const TPoint4D2& p) {
  // Truncated toward zero; anything that does not fit 16 bits would wrap
  // around and show a wrong depth on the unit.
  if (!(p.HBdepth > -32769.0 && p.HBdepth < 32768.0))
    throw EHTConvertError("Can't write HT file: the depth of " + FormatNumber(p.HBdepth) + " cm at " + p.Coord() +
                          " is outside the range an HT file can hold (-32768 to 32767 cm)");
  return static_cast<std::int16_t>(std::trunc(p.HBdepth));
}

std::int16_t Step(std::int32_t from, std::int32_t to, const TPoint4D2& previous, const TPoint4D2& point) {
  const long long step = static_cast<long long>(to) - from;
  if (std::llabs(step) > kMaxStep)
    throw EHTConvertError("Can't write HT file: the points at " + previous.Coord() + " and " + point.Coord() +
                          " are " + std::to_string(std::llabs(step)) +
                          " units apart, more than the 32767 an HT step can hold. Write distant tracks "
                          "to separate files.");
  return static_cast<std::int16_t>(step);
}

}  // namespace

std::int32_t HTLongitudeToX(double Longitude) {
  return RoundToGrid(Longitude / 180.0 * kEquatorX, "longitude", Longitude);
}

std::int32_t HTLatitudeToY(double Latitude) {
  // Every intermediate value is held as a double on purpose: the unit's
  // grid is defined by this sequence of double operations.
  const double radians = Latitude * kPi / 180.0;
  const double psiDegrees = std::atan(std::tan(radians) * kLatitudeFactor) * 180.0 / kPi;
  const double psiRadians = psiDegrees / 180.0 * kPi;
  const double logarithm = std::log(std::tan(psiRadians / 2.0 + kPi / 4.0));
  return RoundToGrid(logarithm * kSphereRadius, "latitude", Latitude);
}

std::vector<const TGPXtrkseg*> HTSegmentOrder(const TGPX& GPX) {
  std::vector<const TGPXtrkseg*> order;
  const int tracks = GPX.trk.Count();
  if (tracks == 0) return order;
  for (const TGPXtrkseg* seg : *GPX.trk.Tracks(0)) order.push_back(seg);
  for (int p = tracks - 1; p >= 1; --p) {
    const TGPXtrk& track = *GPX.trk.Tracks(p);
    for (int q = track.Count() - 1; q >= 0; --q) order.push_back(track.trkseg(q));
  }
  return order;
}

std::string BuildHTFile(const TGPX& GPX, std::string_view TrackName) {
  const std::vector<const TGPXtrkseg*> segments = HTSegmentOrder(GPX);

  // Entry count first, so an oversized document is refused before any work.
  long long entries = 0;
  for (const TGPXtrkseg* seg : segments)
    if (seg->Count() > 0) entries += seg->Count() + 3;
  if (entries == 0) throw EHTConvertError("Can't write HT file: the tracks hold no point");
  if (entries > kHTMaxEntries) throw EHTConvertError("Can't write HT file: " + HTTooManyEntries(entries));

  std::string out(kHTFileSize, '\0');

  // Records for entries 1 .. n - 1. The first point is entry 0: its position
  // goes into the header. Marker entries do not move the position, so the
  // first step of a segment is measured from the last point before it.
  std::size_t offset = kHTHeaderSize;
  auto putRecord = [&](std::uint16_t east, std::uint16_t north, std::uint16_t depth) {
    PutBE16(out, offset, east);
    PutBE16(out, offset + 2, north);
    PutBE16(out, offset + 4, depth);
    offset += kHTRecordSize;
  };
  const TPoint4D2* first = nullptr;
  const TPoint4D2* previous = nullptr;
  GridPoint start, position;
  for (const TGPXtrkseg* seg : segments) {
    if (seg->Count() == 0) continue;
    for (const TPoint4D2* point : *seg) {
      const GridPoint next = Project(*point);
      const std::int16_t depth = DepthValue(*point);
      if (!first) {
        first = point;
        start = next;
      } else {
        const std::int16_t east = Step(position.X, next.X, *previous, *point);
        const std::int16_t north = Step(position.Y, next.Y, *previous, *point);
        // A step of exactly (7FFF, 7FFF) would read as the end of a segment.
        if (east == kMaxStep && north == kMaxStep)
          throw EHTConvertError("Can't write HT file: the step from " + previous->Coord() + " to " + point->Coord() +
                                " would read as the end of a track segment");
        putRecord(static_cast<std::uint16_t>(east), static_cast<std::uint16_t>(north),
                  static_cast<std::uint16_t>(depth));
      }
      position = next;
      previous = point;
    }
    putRecord(0x7FFF, 0x7FFF, 0);
    putRecord(0x8000, 0x8000, 0);
    putRecord(0, 0, 0);
  }

  const TGPXbounds bounds = MergedBounds(GPX, segments);
  out[0] = 0x01;
  out[1] = 0x03;
  PutBE16(out, 8, static_cast<std::uint16_t>(entries));
  for (int i = 0; i < 4; ++i) PutU8(out, 12 + static_cast<std::size_t>(i), kMagic[i]);
  PutBE32(out, 16, start.X);
  PutBE32(out, 20, start.Y);
  PutBE32(out, 24, position.X);
  PutBE32(out, 28, position.Y);
  PutBE32(out, 32, HTLongitudeToX(bounds.minlon));
  PutBE32(out, 36, HTLatitudeToY(bounds.minlat));
  PutBE32(out, 40, HTLongitudeToX(bounds.maxlon));
  PutBE32(out, 44, HTLatitudeToY(bounds.maxlat));
  const THTTrackName name = EncodeHTTrackName(TrackName);
  out.replace(48, name.Bytes.size(), name.Bytes);
  return out;
}

THTTrackName EncodeHTTrackName(std::string_view TrackName) {
  THTTrackName name;
  const std::u16string units = Utf8ToUtf16(TrackName);
  for (std::size_t i = 0; i < units.size() && name.Bytes.size() < static_cast<std::size_t>(kHTNameLength); ++i) {
    const char16_t unit = units[i];
    if (unit <= 0xFF) {
      name.Bytes.push_back(static_cast<char>(unit));
      continue;
    }
    // A surrogate pair is one character and becomes one '?'.
    const bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                      units[i + 1] <= 0xDFFF;
    if (pair) ++i;
    name.Bytes.push_back('?');
    ++name.Replaced;
  }
  return name;
}

std::string HTTrackNameWarning(std::string_view TrackName) {
  const THTTrackName name = EncodeHTTrackName(TrackName);
  if (name.Replaced == 0) return {};
  // The bytes are Latin-1; shown as UTF-8 like every other text.
  std::u16string written;
  for (const char c : name.Bytes) written.push_back(static_cast<unsigned char>(c));
  return "HT track name \"" + std::string(TrackName) + "\": " + std::to_string(name.Replaced) +
         (name.Replaced == 1 ? " character" : " characters") + " the unit can't show written as \"?\" (\"" +
         Utf16ToUtf8(written) + "\")";
}

std::string HTTooManyEntries(long long entries) {
  return "needs " + std::to_string(entries) + " entries; an HT file holds " + std::to_string(kHTMaxEntries) +
         ", segment markers included";
}

THTConvert::THTConvert(TGPX* GPX, std::string TrackName, std::string FileName)
    : GPXdata(GPX), sTrackName(std::move(TrackName)), sFileName(std::move(FileName)) {}

bool THTConvert::ConvertToHT() {
  if (!GPXdata) return false;
  WriteFileAtomically(sFileName, BuildHTFile(*GPXdata, sTrackName));
  return true;
}

int CountHTPoints(const TGPX& GPX, int allowance) {
  int count = 0;
  for (const TGPXtrk* track : GPX.trk) {
    for (const TGPXtrkseg* seg : *track) count += seg->Count() + allowance;
    count += allowance;
  }
  return count;
}

}  // namespace sondralis
