// GPS: TPoint4D2 (a point with depth and time), TBBox (a latitude/longitude
// box with a view's scale) and TPointList2 (an owning list of points).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/DateTime.h"
#include "model/List.h"

namespace sondralis {

class TPointStore;

// A position of a map's pixel grid on the globe. A view's margin may reach
// past the antimeridian or a pole, where pixels have no place: a longitude
// is wrapped into -180..180 (unchanged, to the bit, inside it) and a
// latitude held at ±90.
double WrapLongitude(double Longitude) noexcept;
double ClampLatitude(double Latitude) noexcept;

// A point on the WGS84 globe with altitude, sonar depth and time.
//
// A point is either a heap object of its own (made with new) or lives in the
// block storage of the list that made it (TPointList2::NewPoint and the
// NewPoint of the derived lists); `delete` is right for both, so an owner
// frees a point the same way wherever it came from.
class TPoint4D2 {
 public:
  TPoint4D2() = default;
  // Copies the values; where the copy lives is its own business.
  TPoint4D2(const TPoint4D2& other) noexcept { *this = other; }
  TPoint4D2& operator=(const TPoint4D2& other) noexcept {
    Latitude = other.Latitude;
    Longitude = other.Longitude;
    Altitude = other.Altitude;
    HBdepth = other.HBdepth;
    DateTime = other.DateTime;
    Level = other.Level;
    enabled = other.enabled;
    return *this;
  }
  virtual ~TPoint4D2() = default;

  // Destroys the point; frees its memory unless a list's storage holds it.
  void operator delete(TPoint4D2* Point, std::destroying_delete_t) noexcept {
    const bool stored = Point->fStored;
    Point->~TPoint4D2();
    if (!stored) ::operator delete(Point);
  }

  double Latitude = 0;   // degrees, north positive
  double Longitude = 0;  // degrees, east positive
  double Altitude = 0;   // metres (GPX ele)
  double HBdepth = 0;    // sonar depth in centimetres; 0 means no reading
  TDateTime DateTime = 0;
  std::uint8_t Level = 0;  // work marker of the polyline reduction
  bool enabled = true;

  // Copies position, altitude, depth and time; Level and enabled stay.
  void CopyFrom(const TPoint4D2& Point4D);

  // Great-circle distance in metres to (lat, lon) on a sphere with the WGS84
  // equatorial radius.
  double WGS84Distance(double lon, double lat, bool Almostnul) const;

  // Strictly inside the rectangle; the corners may come in any order.
  bool IsInBox(double E, double O, double S, double N) const;

  std::string LatitudeStr() const;   // "46.500000° N"
  std::string LongitudeStr() const;  // "8.250000° E"
  std::string Coord() const;         // LatitudeStr + ", " + LongitudeStr

 private:
  friend class TPointStore;
  bool fStored = false;  // lives in a list's block storage, not on the heap
};

// Memory for the points of one list, taken from the heap in a few large
// blocks: a recording of a hundred thousand points costs a few dozen
// allocations instead of one per point. A point freed before its list keeps
// its slot until the list is cleared or destroyed.
class TPointStore {
 public:
  TPointStore() = default;
  TPointStore(const TPointStore&) = delete;
  TPointStore& operator=(const TPointStore&) = delete;
  ~TPointStore();

  // The size of the large blocks a long list fills.
  static constexpr std::size_t kBlockBytes = 2 * 1024 * 1024;

  // A new T in the storage, marked as stored so that delete leaves its
  // memory alone.
  template <class T, class... Args>
  T* Make(Args&&... args) {
    static_assert(std::is_base_of_v<TPoint4D2, T>);
    void* slot = Allocate(sizeof(T), alignof(T));
    T* point = ::new (slot) T(std::forward<Args>(args)...);
    point->fStored = true;
    return point;
  }
  // Returns every block; the points in them must have been destroyed.
  void Release() noexcept;
  // Takes over the blocks of `other` (and so the points in them), which is
  // left empty.
  void Adopt(TPointStore& other);
  // Gives back the part of the last block no point has used yet; later
  // points go into a new block.
  void Trim() noexcept;
  // Bytes taken, and the part of them that are mappings of their own
  // rather than heap memory.
  std::size_t Capacity() const noexcept { return fCapacity; }
  std::size_t MappedCapacity() const noexcept;

 private:
  struct Block {
    std::byte* data = nullptr;
    std::size_t size = 0;
    bool mapped = false;  // a mapping of its own rather than heap memory
  };

  void* Allocate(std::size_t size, std::size_t align);
  static void Free(const Block& block) noexcept;

  std::vector<Block> fBlocks;
  std::byte* fNext = nullptr;
  std::byte* fEnd = nullptr;
  std::size_t fCapacity = 0;
};

// Latitude/longitude rectangle; a map view also keeps its scale factors here.
class TBBox {
 public:
  // The aspect factor of a view never fitted to data: 36/55 to double
  // precision, the cosine of about 49.1°.
  static constexpr double kDefaultAspect = 0.6545454545454545;

  double N = 0;   // greatest latitude
  double S = 0;   // smallest latitude
  double E = 0;   // greatest longitude
  double O = 0;   // smallest longitude (west)
  double Rm = 0;  // scale in use: pixels per degree of latitude
  double Rx = 0;  // pixels per degree of longitude
  double Ry = 0;  // pixels per degree of latitude
  // A view's pixels per degree of longitude are Rm · Aspect: the cosine of
  // the latitude in the middle of the view when it was last fitted.
  double Aspect = kDefaultAspect;
  bool Complete = false;

  // Edges and Rx, Ry to 0, Complete false; Rm and Aspect stay.
  void Clear();
  // Copies edges, scales and aspect; Complete stays.
  void Copy(const TBBox& BBox);
  // Widens this box to include the other one.
  void Add(const TBBox& BBox);
};

// Ordered list of points that owns them and knows its bounding box. BBox is
// a cache: CalcBBox recomputes it; nothing else does.
//
// Points made with NewPoint live in the list's own storage, which goes with
// the list: such a point may move within the list (Clear and Add again) but
// must not be handed to another list that outlives this one. Points made with
// new may go anywhere.
class TPointList2 : public TOwningList<TPoint4D2> {
 public:
  TPointList2() = default;
  ~TPointList2() override { ClearPointList(); }

  // Appends a new point made in the list's storage.
  TPoint4D2* NewPoint() { return AddStored<TPoint4D2>(); }

  TBBox BBox;
  bool filled = false;  // set by the readers when at least one item was read

  TPoint4D2* Points(int Index) const { return Items(Index); }

  bool Enabled() const noexcept { return penabled; }
  // Stores the state and writes it into every point now in the list.
  void SetEnabled(bool Value);

  // Frees every point, last index first, and empties the list.
  void ClearPointList() noexcept {
    FreeAll();
    if (fStore) fStore->Release();
  }
  // Gives back the room reserved for points not added yet (for a list that
  // is complete).
  void ShrinkToFit() {
    TOwningList<TPoint4D2>::ShrinkToFit();
    if (fStore) fStore->Trim();
  }
  // Appends the points of `source` themselves, storage included, leaving
  // `source` empty: what copying them and clearing `source` would give.
  void MoveFrom(TPointList2& source);
  // Bytes of the list's point storage (not counting points made with new),
  // and the part of them outside the heap.
  std::size_t StoreCapacity() const noexcept { return fStore ? fStore->Capacity() : 0; }
  std::size_t StoreMappedCapacity() const noexcept { return fStore ? fStore->MappedCapacity() : 0; }

  void CalcBBox(bool Reset) { CalcBBoxFromTo(0, Count() - 1, Reset); }
  void CalcBBoxFromTo(int pFrom, int pTo, bool Reset) { BBox = BoxFromTo(pFrom, pTo, Reset); }
  // The box CalcBBoxFromTo would store, computed without storing it: a copy
  // of BBox with the edges recomputed, or with Complete false (and the old
  // edges) when the range has no usable points.
  TBBox BoxFromTo(int pFrom, int pTo, bool Reset) const;

 protected:
  template <class T>
  T* AddStored() {
    if (!fStore) fStore = std::make_unique<TPointStore>();
    T* point = fStore->Make<T>();
    Add(point);
    return point;
  }

 private:
  std::unique_ptr<TPointStore> fStore;
  bool penabled = false;
};

}  // namespace sondralis
