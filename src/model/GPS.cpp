#include "model/GPS.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "model/Numbers.h"
#include "model/Platform.h"
#include "model/Text.h"

namespace sondralis {

namespace {

constexpr double kEarthRadius = 6378137.0;  // WGS84 equatorial radius, metres

double ToRadians(double degrees) {
  return static_cast<double>(static_cast<long double>(degrees) * (3.14159265358979323846264338327950288L / 180.0L));
}

}  // namespace

void TPoint4D2::CopyFrom(const TPoint4D2& Point4D) {
  Latitude = Point4D.Latitude;
  Longitude = Point4D.Longitude;
  Altitude = Point4D.Altitude;
  HBdepth = Point4D.HBdepth;
  DateTime = Point4D.DateTime;
}

double TPoint4D2::WGS84Distance(double lon, double lat, bool Almostnul) const {
  const double phi1 = ToRadians(Latitude);
  const double lambda1 = ToRadians(Longitude);
  const double phi2 = ToRadians(lat);
  const double lambda2 = ToRadians(lon);
  if (lambda1 == lambda2 && phi1 == phi2) return 0;
  const double a = std::sin(phi1) * std::sin(phi2);
  const double b = std::cos(phi1) * std::cos(phi2) * std::cos(lambda2 - lambda1);
  double c = a + b;
  const double t = Almostnul ? std::nearbyint(c * 1e8) / 1e8 : c;
  if (t == 1) return 0;
  // Rounding can push c just past ±1 for nearly coincident or antipodal
  // points; clamp so the arc cosine stays defined (0 or π·R, never NaN).
  c = std::clamp(c, -1.0, 1.0);
  return std::atan2(std::sqrt((1 + c) * (1 - c)), c) * kEarthRadius;
}

bool TPoint4D2::IsInBox(double E, double O, double S, double N) const {
  const double south = std::min(S, N), north = std::max(S, N);
  const double west = std::min(O, E), east = std::max(O, E);
  return south < Latitude && Latitude < north && west < Longitude && Longitude < east;
}

std::string TPoint4D2::LatitudeStr() const {
  return FormatFixed(std::fabs(Latitude), 6) + "° " + Translate(Latitude >= 0 ? "N" : "S");
}

std::string TPoint4D2::LongitudeStr() const {
  return FormatFixed(std::fabs(Longitude), 6) + "° " + Translate(Longitude >= 0 ? "E" : "W");
}

std::string TPoint4D2::Coord() const { return LatitudeStr() + ", " + LongitudeStr(); }

void TBBox::Clear() {
  N = S = E = O = 0;
  Rx = Ry = 0;
  Complete = false;
}

void TBBox::Copy(const TBBox& BBox) {
  N = BBox.N;
  S = BBox.S;
  E = BBox.E;
  O = BBox.O;
  Rx = BBox.Rx;
  Ry = BBox.Ry;
  Rm = BBox.Rm;
  Aspect = BBox.Aspect;
}

void TBBox::Add(const TBBox& BBox) {
  if (!Complete) {
    Copy(BBox);
  } else {
    N = std::max(N, BBox.N);
    S = std::min(S, BBox.S);
    E = std::max(E, BBox.E);
    O = std::min(O, BBox.O);
  }
  // An edge of exactly 0 reads as "not set": boxes touching the equator or
  // the prime meridian never become complete this way.
  if (N != 0 && S != 0 && E != 0 && O != 0) Complete = true;
}

namespace {

// Blocks double from 1 KB to 64 KB (from the heap, so that a short list
// wastes little), then come as 2 MB mappings of their own: a long recording
// costs a few dozen of them, each given back with one call, and the unused
// end of the last one is given back when the list is complete. Where the
// system maps no pages for us, blocks stay 64 KB heap blocks, which waste
// as little at the end of a list. (Asking for large pages, or touching the
// next block's pages ahead on a second thread, cost more time than they
// saved when measured.)
constexpr std::size_t kFirstBlock = 1024;
constexpr std::size_t kLargestHeapBlock = 64 * 1024;
constexpr std::size_t kMappedBlock = TPointStore::kBlockBytes;
constexpr std::size_t kPage = 4096;

}  // namespace

TPointStore::~TPointStore() { Release(); }

void* TPointStore::Allocate(std::size_t size, std::size_t align) {
  auto aligned = [align](std::byte* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return p + ((align - address % align) % align);
  };
  if (fNext) {
    std::byte* slot = aligned(fNext);
    if (slot + size <= fEnd) {
      fNext = slot + size;
      return slot;
    }
  }
  Block block;
  if (fCapacity < 2 * kLargestHeapBlock || size + align > kMappedBlock || !platform::MapsPages()) {
    block.size = fBlocks.empty() ? kFirstBlock : std::min(2 * fCapacity, kLargestHeapBlock);
    block.size = std::max(block.size, size + align);
    block.data = static_cast<std::byte*>(::operator new(block.size));
  } else {
    block.size = kMappedBlock;
    block.data = static_cast<std::byte*>(platform::MapPages(kMappedBlock));
    if (!block.data) throw std::bad_alloc();
    block.mapped = true;
  }
  try {
    fBlocks.push_back(block);
  } catch (...) {
    Free(block);
    throw;
  }
  fCapacity += block.size;
  fNext = aligned(block.data);
  fEnd = block.data + block.size;
  std::byte* slot = fNext;
  fNext = slot + size;
  return slot;
}

void TPointStore::Free(const Block& block) noexcept {
  if (block.mapped) platform::UnmapPages(block.data, block.size);
  else ::operator delete(block.data);
}

void TPointStore::Release() noexcept {
  for (const Block& block : fBlocks) Free(block);
  fBlocks.clear();
  fNext = fEnd = nullptr;
  fCapacity = 0;
}

std::size_t TPointStore::MappedCapacity() const noexcept {
  std::size_t n = 0;
  for (const Block& block : fBlocks)
    if (block.mapped) n += block.size;
  return n;
}

void TPointStore::Trim() noexcept {
  if (fBlocks.empty() || !fBlocks.back().mapped) return;
  Block& last = fBlocks.back();
  const auto used = static_cast<std::size_t>(fNext - last.data);
  const std::size_t keep = (used + kPage - 1) / kPage * kPage;
  if (keep >= last.size || !platform::UnmapPages(last.data + keep, last.size - keep)) return;
  fCapacity -= last.size - keep;
  last.size = keep;
  fEnd = last.data + keep;
}

void TPointStore::Adopt(TPointStore& other) {
  if (&other == this) return;
  // The other store's blocks go in front, so that this store goes on
  // filling its own last block.
  fBlocks.insert(fBlocks.begin(), other.fBlocks.begin(), other.fBlocks.end());
  fCapacity += other.fCapacity;
  other.fBlocks.clear();
  other.Release();
}

void TPointList2::MoveFrom(TPointList2& source) {
  if (&source == this) return;
  if (source.fStore) {
    if (!fStore) fStore = std::make_unique<TPointStore>();
    fStore->Adopt(*source.fStore);
  }
  Reserve(Count() + source.Count());
  for (TPoint4D2* p : source) Add(p);
  source.Clear();
}

void TPointList2::SetEnabled(bool Value) {
  penabled = Value;
  for (TPoint4D2* p : *this) p->enabled = Value;
}

TBBox TPointList2::BoxFromTo(int pFrom, int pTo, bool Reset) const {
  TBBox box = BBox;
  box.Complete = false;
  if (Count() < 2) return box;
  if (pFrom < 0 || pTo >= Count() || pFrom > pTo) return box;
  double n, s, e, o;
  int start = pFrom;
  if (Reset) {
    while (!Points(start)->enabled && start + 1 < pTo) ++start;
    const TPoint4D2* seed = Points(start);
    if (!seed->enabled) return box;
    n = s = seed->Latitude;
    e = o = seed->Longitude;
  } else {
    n = BBox.N;
    s = BBox.S;
    e = BBox.E;
    o = BBox.O;
  }
  for (int i = start; i <= pTo; ++i) {
    const TPoint4D2* p = fItems[static_cast<std::size_t>(i)];
    if (!p->enabled) continue;
    n = std::max(n, p->Latitude);
    s = std::min(s, p->Latitude);
    e = std::max(e, p->Longitude);
    o = std::min(o, p->Longitude);
  }
  box.N = n;
  box.S = s;
  box.E = e;
  box.O = o;
  box.Complete = true;
  return box;
}

double WrapLongitude(double Longitude) noexcept {
  // The IEEE remainder is exact, and for |x| <= 180 it is x itself.
  return std::remainder(Longitude, 360.0);
}

double ClampLatitude(double Latitude) noexcept { return std::clamp(Latitude, -90.0, 90.0); }

}  // namespace sondralis
