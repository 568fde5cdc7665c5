#include "exports/HumminbirdWaypoints.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "formats/AtomicFile.h"

namespace sondralis {

namespace {

constexpr double kRadius = 6378388.0;
constexpr double kLatitudeFactor = 0.9932811272;
constexpr std::size_t kRecordBytes = 36;
constexpr std::size_t kNameBytes = 12;
constexpr double kMaxDepth = 0xFFFF;  // centimetres

void Put16(std::string& Out, std::uint32_t Value) {
  Out += static_cast<char>((Value >> 8) & 0xFF);
  Out += static_cast<char>(Value & 0xFF);
}

void Put32(std::string& Out, std::uint32_t Value) {
  Put16(Out, Value >> 16);
  Put16(Out, Value & 0xFFFF);
}

}  // namespace

std::uint8_t SpotIcon(TSpotKind Kind) {
  switch (Kind) {
    case TSpotKind::Hole: return 3;
    case TSpotKind::Hump: return 11;
    case TSpotKind::DropOff: return 23;
  }
  return 0xFF;
}

std::string EncodeHWR(const std::vector<THWRWaypoint>& Waypoints) {
  if (Waypoints.size() > 0xFFFF) throw std::invalid_argument("a waypoint file holds at most 65535 waypoints");
  std::string out;
  out.reserve(Waypoints.size() * kRecordBytes);
  for (std::size_t i = 0; i < Waypoints.size(); ++i) {
    const THWRWaypoint& w = Waypoints[i];
    const double depth = std::round(w.Depth);
    if (!(depth >= 0 && depth <= kMaxDepth))
      throw std::invalid_argument("the depth of waypoint \"" + w.Name + "\" does not fit a waypoint file");
    if (!(std::fabs(w.Position.Lat) <= 89) || !(std::fabs(w.Position.Lon) <= 180))
      throw std::invalid_argument("waypoint \"" + w.Name + "\" lies beyond the unit's map");
    const double lambda = w.Position.Lon * std::numbers::pi / 180;
    const double psi = std::atan(kLatitudeFactor * std::tan(w.Position.Lat * std::numbers::pi / 180));
    const auto east = static_cast<std::int32_t>(std::lround(kRadius * lambda));
    const auto north = static_cast<std::int32_t>(std::lround(kRadius * std::log(std::tan(std::numbers::pi / 4 + psi / 2))));

    out += '\x02';
    out += '\x02';
    Put16(out, kRecordBytes);
    Put16(out, static_cast<std::uint32_t>(i));
    Put16(out, 0);
    out += '\x01';
    out += static_cast<char>(w.Icon);
    Put16(out, static_cast<std::uint32_t>(depth));
    Put32(out, w.Time);
    Put32(out, static_cast<std::uint32_t>(east));
    Put32(out, static_cast<std::uint32_t>(north));
    std::string name = w.Name.substr(0, kNameBytes);
    name.resize(kNameBytes, '\0');
    out += name;
  }
  return out;
}

void WriteSpotsHWR(const std::string& Path, const std::vector<TSpot>& Spots) {
  std::vector<THWRWaypoint> waypoints;
  for (const TSpot& spot : Spots) {
    const double rounded = std::round(spot.Depth);
    const double depth = rounded >= 0 && rounded <= kMaxDepth ? spot.Depth : 0;
    waypoints.push_back({spot.Name, spot.Position, depth, 0, SpotIcon(spot.Kind)});
  }
  WriteFileAtomically(Path, EncodeHWR(waypoints));
}

}  // namespace sondralis
