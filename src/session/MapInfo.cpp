#include "session/MapInfo.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "model/Text.h"

namespace sondralis {

namespace {

// Nearest whole metre, ties to even (the default rounding mode).
int ToMetres(double Distance) {
  if (!std::isfinite(Distance)) return 0;
  const double rounded = std::nearbyint(Distance);
  if (rounded > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(rounded);
}

double DistanceBetweenPixels(const TGPXDraw& View, int X1, int Y1, int X2, int Y2) {
  TPoint4D2 from;
  from.Longitude = View.XToLo(X1);
  from.Latitude = View.YToLa(Y1);
  return from.WGS84Distance(View.XToLo(X2), View.YToLa(Y2), false);
}

int CentimetresPerPixel(int Metres, int Pixels) {
  if (Pixels <= 0) return 0;
  return static_cast<int>(static_cast<long long>(Metres) * 100 / Pixels);
}

}  // namespace

TMapInfo ComputeMapInfo(const TGPXDraw& View, int ImageWidth, int ImageHeight) {
  TMapInfo info;
  const int W = View.Width(), H = View.Height();
  info.MaxDepth = View.MaxDepth;
  info.AreaWidth = ToMetres(DistanceBetweenPixels(View, 0, 0, W - 1, 0));
  info.AreaHeight = ToMetres(DistanceBetweenPixels(View, 0, 0, 0, H - 1));
  info.ScreenWidth = ImageWidth;
  info.ScreenHeight = ImageHeight;
  info.ResolutionX = CentimetresPerPixel(info.AreaWidth, ImageWidth);
  info.ResolutionY = CentimetresPerPixel(info.AreaHeight, ImageHeight);

  const std::string depth = std::to_string(info.MaxDepth) + " cm";
  info.MaxDepthText = "Max Depth: " + depth;
  info.SourceLegendText = depth;
  info.LegendText = depth;
  info.AreaText = "Area: " + std::to_string(info.AreaWidth) + " x " + std::to_string(info.AreaHeight) + " m";
  info.ScreenSizeText =
      "Screen Size: " + std::to_string(info.ScreenWidth) + " x " + std::to_string(info.ScreenHeight) + " px";
  info.ResolutionText =
      "Resolution: " + std::to_string(info.ResolutionX) + " x " + std::to_string(info.ResolutionY) + " cm";
  return info;
}

double DecimateLongitudeOf(const TGPXDraw& View) {
  return View.Width() > 0 ? std::fabs(View.BBox.E - View.BBox.O) / View.Width() : 0;
}

double DecimateLatitudeOf(const TGPXDraw& View) {
  return View.Height() > 0 ? std::fabs(View.BBox.N - View.BBox.S) / View.Height() : 0;
}

}  // namespace sondralis

namespace sondralis {

namespace {

// Rounded to a thousandth of a minute first, so 59.9996' becomes the next
// whole degree rather than "60.000'".
std::string DegreesMinutes(double Value, const char* Positive, const char* Negative) {
  if (!std::isfinite(Value)) return {};
  const long long thousandths = std::llround(std::fabs(Value) * 60000.0);
  const long long degrees = thousandths / 60000, minutes = thousandths % 60000;
  char text[48];
  std::snprintf(text, sizeof text, "%lld\u00B0 %02lld.%03lld' ", degrees, minutes / 1000, minutes % 1000);
  return text + std::string(Translate(Value < 0 && thousandths > 0 ? Negative : Positive));
}

}  // namespace

std::string DegreesMinutesText(double Latitude, double Longitude) {
  return DegreesMinutes(Latitude, "N", "S") + ", " + DegreesMinutes(Longitude, "E", "W");
}

}  // namespace sondralis
