#pragma once

// spots.hwr: waypoints in the file format Humminbird units load from the
// SD card, so the spots of a map show on the unit.

#include <cstdint>
#include <string>
#include <vector>

#include "exports/ExportGrid.h"
#include "exports/Spots.h"

namespace sondralis {

// One waypoint of the file.
struct THWRWaypoint {
  std::string Name;      // the first 12 bytes are kept
  TLonLat Position;
  double Depth = 0;      // centimetres; 0 for none
  std::uint32_t Time = 0;  // seconds since 1970-01-01 UTC; 0 for none
  std::uint8_t Icon = 0xFF;  // 0xFF for none; 3 fish, 11 rock, 23 flag, ...
};

// The icons the spots get: fish for a hole, rock for a hump, flag for a
// drop-off.
std::uint8_t SpotIcon(TSpotKind Kind);

// The file's bytes: one record of 36 bytes per waypoint, numbers big-endian:
//   0  2, 2     what the record holds: a waypoint
//   2  u16      the record's length, 36
//   4  u16      the waypoint's number, from 0
//   6  u16      0
//   8  u8       1: shown
//   9  u8       icon
//  10  u16      depth in centimetres
//  12  u32      time
//  16  i32      east and north in metres, rounded, in the unit's
//  20  i32        Mercator (below)
//  24  char[12] name, padded with zero bytes
// The unit's Mercator is spherical with the radius 6378388 m of the
// International 1924 ellipsoid, east = a·λ and north = a·ln tan(π/4 + ψ/2),
// and takes the latitude φ through tan ψ = 0.9932811272·tan φ. The layout
// and the constants are what gpsbabel's Humminbird format writes and reads
// back; its constant was fitted to its files to 10⁻¹⁰, which keeps every
// position to the metre. Throws std::invalid_argument for more than 65535
// waypoints, a depth beyond 655.35 m or a latitude beyond ±89°.
std::string EncodeHWR(const std::vector<THWRWaypoint>& Waypoints);

// Writes the spots as spots.hwr to Path, atomically; a spot whose depth the
// file cannot hold (above water, or deeper than 655.35 m) goes without it,
// which its name still gives. Throws EFileError, and std::invalid_argument for a spot beyond the
// unit's map (nothing is written).
void WriteSpotsHWR(const std::string& Path, const std::vector<TSpot>& Spots);

}  // namespace sondralis
