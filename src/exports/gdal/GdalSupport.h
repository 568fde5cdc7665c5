#pragma once

// What the GDAL exports share: the library set up once, its errors caught
// instead of printed, and a private folder in GDAL's in-memory file system
// where a driver makes its files, which then reach the disk through the
// project's atomic writer. A driver that writes its own file (a GeoPackage,
// a shapefile set, MBTiles) thus never leaves a half-made file beside the
// user's outputs, and an interrupted run leaves only the atomic writer's
// tracked temporaries, which the front end removes.
//
// Part of the GDAL module (see exports/GdalModule.h), which links none of
// the core: a failure is thrown as TFailure and a cancellation as TStop,
// both caught where the module's call returns and turned into its outcome.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class GDALDataset;
class OGRSpatialReference;

namespace sondralis::gdal {

// A failure: "Can't write TARGET: What (Detail)".
struct TFailure {
  std::string What;
  std::string Detail;
};
// The feedback asked the module to stop.
struct TStop {};

// Registers GDAL's drivers, once per process.
void EnsureRegistered();

// Catches the messages GDAL reports on this thread while it lives (GDAL's
// handlers are per thread), so they go into our error messages rather than
// onto stderr.
class TErrorCapture {
 public:
  TErrorCapture();
  TErrorCapture(const TErrorCapture&) = delete;
  TErrorCapture& operator=(const TErrorCapture&) = delete;
  ~TErrorCapture();

  // The last failure GDAL reported, or empty.
  const std::string& LastError() const noexcept { return fLastError; }
  // Forgets the failures reported so far.
  void Clear() noexcept { fLastError.clear(); }
  // Throws TFailure: What, with GDAL's message as the detail.
  [[noreturn]] void Fail(const std::string& What) const;

 private:
  static void Handler(int Class, int Code, const char* Message);
  std::string fLastError;
};

// Closes a dataset, which writes what it still holds, and throws TFailure
// when GDAL reported a failure on the way (closing reports none of its own
// in this GDAL).
void Close(GDALDataset* Dataset, const TErrorCapture& Errors);

// A folder of its own under /vsimem/, removed with everything in it.
class TMemFolder {
 public:
  TMemFolder();
  TMemFolder(const TMemFolder&) = delete;
  TMemFolder& operator=(const TMemFolder&) = delete;
  ~TMemFolder();

  const std::string& Path() const noexcept { return fPath; }
  std::string File(const std::string& Name) const { return fPath + "/" + Name; }
  // The names of the files in it, sorted.
  std::vector<std::string> Files() const;
  // The bytes of one of its files, without copying them; empty when there
  // is no such file. Valid until the file changes.
  std::string_view Bytes(const std::string& Name) const;

 private:
  std::string fPath;
};

// WGS 84 (EPSG:4326) in longitude, latitude order, as the grids and lines
// are stored; and WGS 84 / Pseudo-Mercator (EPSG:3857), the web maps'
// projection. A new object each call: GDAL's are not to be shared between
// threads.
OGRSpatialReference Wgs84();
OGRSpatialReference WebMercator();

}  // namespace sondralis::gdal
