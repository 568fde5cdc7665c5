#include "exports/gdal/GdalSupport.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

namespace sondralis::gdal {

void EnsureRegistered() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    // Nothing of ours is ever read back from a side file, and a side file
    // beside an output would be a stray file for the user.
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
  });
}

TErrorCapture::TErrorCapture() {
  CPLPushErrorHandlerEx(
      [](CPLErr Class, CPLErrorNum Code, const char* Message) {
        Handler(static_cast<int>(Class), static_cast<int>(Code), Message);
      },
      this);
}

TErrorCapture::~TErrorCapture() { CPLPopErrorHandler(); }

void TErrorCapture::Handler(int Class, int /*Code*/, const char* Message) {
  if (Class < CE_Failure) return;  // debug lines and warnings
  auto* self = static_cast<TErrorCapture*>(CPLGetErrorHandlerUserData());
  if (self && Message) self->fLastError = Message;
}

void TErrorCapture::Fail(const std::string& What) const { throw TFailure{What, fLastError}; }

void Close(GDALDataset* Dataset, const TErrorCapture& Errors) {
  GDALClose(GDALDataset::ToHandle(Dataset));
  if (!Errors.LastError().empty()) Errors.Fail("GDAL could not finish the file");
}

TMemFolder::TMemFolder() {
  static std::atomic<unsigned long> counter{0};
  fPath = "/vsimem/sondralis-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
  VSIMkdir(fPath.c_str(), 0755);
}

TMemFolder::~TMemFolder() { VSIRmdirRecursive(fPath.c_str()); }

std::vector<std::string> TMemFolder::Files() const {
  std::vector<std::string> names;
  char** list = VSIReadDir(fPath.c_str());
  for (char** p = list; p && *p; ++p)
    if (std::string name = *p; name != "." && name != "..") names.push_back(std::move(name));
  CSLDestroy(list);
  std::sort(names.begin(), names.end());
  return names;
}

std::string_view TMemFolder::Bytes(const std::string& Name) const {
  vsi_l_offset length = 0;
  const GByte* data = VSIGetMemFileBuffer(File(Name).c_str(), &length, FALSE);
  if (!data) return {};
  return {reinterpret_cast<const char*>(data), static_cast<std::size_t>(length)};
}

OGRSpatialReference Wgs84() {
  OGRSpatialReference srs;
  srs.importFromEPSG(4326);
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

OGRSpatialReference WebMercator() {
  OGRSpatialReference srs;
  srs.importFromEPSG(3857);
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

}  // namespace sondralis::gdal
