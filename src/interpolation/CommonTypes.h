// CommonTypes: the per-pixel arrays of the interpolation, indexed
// [column][row] (TColorArray, TBooleanArray, TDepthArray).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <type_traits>

#include "model/ColorInterpolate.h"

namespace sondralis {

// A per-pixel array over the pixel grid of the map view, indexed [column][row]:
// element [x][y] belongs to view pixel (x, y), row 0 at the top. The pixels
// live in one contiguous block, column after column, so a column is a
// contiguous span and a worker owning whole columns touches memory no other
// worker touches.
//
// Copies share the storage (a reference, never a copy of the pixels): the run
// hands the same array to every worker and to the contour tracer. SetSize
// gives the array new, zero-filled storage; holders of the old storage keep
// it, so resizing can never pull pixels away from under a running worker.
template <typename T>
class TPixelArray {
  // Zero bytes must be the zero value and no constructor may be needed.
  static_assert(std::is_trivial_v<T>);

 public:
  TPixelArray() = default;
  TPixelArray(int Width, int Height) { SetSize(Width, Height); }

  // New storage of Width columns × Height rows, every element T{} (zero,
  // black, false). Negative sizes count as 0.
  void SetSize(int Width, int Height) {
    fWidth = Width > 0 ? Width : 0;
    fHeight = Height > 0 ? Height : 0;
    const std::size_t count = static_cast<std::size_t>(fWidth) * static_cast<std::size_t>(fHeight);
    fData = nullptr;
    if (count == 0) return;
    // calloc hands out fresh pages already zeroed without touching them, so
    // sizing a large array costs nothing until its pixels are written, and
    // the workers that write them take those first-touch costs in parallel.
    void* block = std::calloc(count, sizeof(T));
    if (!block) throw std::bad_alloc();
    fData = std::shared_ptr<T[]>(static_cast<T*>(block), [](T* p) { std::free(p); });
  }
  // Sets every element to Value.
  void Fill(const T& Value) {
    for (T& element : All()) element = Value;
  }

  int Width() const noexcept { return fWidth; }
  int Height() const noexcept { return fHeight; }
  bool Empty() const noexcept { return fData == nullptr; }
  // True when both hold the same storage.
  bool SharesWith(const TPixelArray& Other) const noexcept { return fData == Other.fData; }

  // Column X; X must be inside.
  std::span<T> operator[](int X) noexcept { return {Column(X), static_cast<std::size_t>(fHeight)}; }
  std::span<const T> operator[](int X) const noexcept { return {Column(X), static_cast<std::size_t>(fHeight)}; }

  std::span<T> All() noexcept { return {fData.get(), Size()}; }
  std::span<const T> All() const noexcept { return {fData.get(), Size()}; }

 private:
  std::size_t Size() const noexcept { return static_cast<std::size_t>(fWidth) * static_cast<std::size_t>(fHeight); }
  T* Column(int X) const noexcept { return fData.get() + static_cast<std::size_t>(X) * static_cast<std::size_t>(fHeight); }

  std::shared_ptr<T[]> fData;
  int fWidth = 0;
  int fHeight = 0;
};

// Colours 0x00BBGGRR of the interpolated picture; 0 (black) where nothing was
// interpolated.
using TColorArray = TPixelArray<TColor>;
// The coverage mask: true marks a pixel that is interpolated.
using TBooleanArray = TPixelArray<bool>;
// The interpolated depth of each covered pixel in centimetres, as the
// interpolator computed it, before it was turned into a colour. The workers
// write NaN to the pixels of their columns that are not covered.
using TDepthArray = TPixelArray<double>;

inline constexpr double kNoDepth = std::numeric_limits<double>::quiet_NaN();

}  // namespace sondralis
