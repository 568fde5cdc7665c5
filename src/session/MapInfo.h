#pragma once

#include <string>

#include "view/GPXDraw.h"

namespace sondralis {

// What the information labels say about the Source Tracks map: the numbers
// and the texts the window shows. All empty while nothing is loaded.
struct TMapInfo {
  int MaxDepth = 0;       // centimetres, the view's deep end
  int AreaWidth = 0;      // metres across the top row of the view
  int AreaHeight = 0;     // metres down the left column
  int ScreenWidth = 0;    // pixels of the Source Tracks picture
  int ScreenHeight = 0;
  int ResolutionX = 0;    // centimetres per pixel, truncated
  int ResolutionY = 0;

  std::string MaxDepthText;    // lblMaxDepth, lblMaxDepth1: "Max Depth: 1948 cm"
  std::string SourceLegendText;  // lblMaxDepth2 (Source Tracks legend): "1948 cm"
  std::string LegendText;      // lblMaxDepth3, lblMaxDepth4 (the other legends): "1948 cm"
  std::string AreaText;        // lblMapSize, lblMapSize1: "Area: 812 x 605 m"
  std::string ScreenSizeText;  // lblImageSize, lblImageSize1: "Screen Size: 800 x 600 px"
  std::string ResolutionText;  // lblResolution, lblResolution1: "Resolution: 101 x 100 cm"

  bool operator==(const TMapInfo&) const = default;
};

// The information of a fitted view drawn on a picture of ImageWidth ×
// ImageHeight pixels. The extent is the great-circle distance from the
// centre of pixel (0, 0) to that of the last column of row 0 (width) and of
// the last row of column 0 (height), rounded to whole metres, ties to even.
TMapInfo ComputeMapInfo(const TGPXDraw& View, int ImageWidth, int ImageHeight);

// The degrees one pixel of the view spans: |E − O| / Width and
// |N − S| / Height; 0 for a view without pixels.
double DecimateLongitudeOf(const TGPXDraw& View);
double DecimateLatitudeOf(const TGPXDraw& View);

// A position in whole degrees and decimal minutes, latitude first, as
// charts and sounders show it: "47° 12.345' N, 8° 30.120' E". A thousandth
// of a minute is under two metres.
std::string DegreesMinutesText(double Latitude, double Longitude);

}  // namespace sondralis
