#pragma once

#include "model/ColorInterpolate.h"

namespace sondralis {

// Drawing options of a map view. (The original design kept a dozen more
// here that nothing read.)
class TDrawOptions {
 public:
  TColor BackGroundColor = clSilver;  // the window sets white
  TColor WayPointColor = clBlue;      // pen and brush of waypoint markers
  TColor TrackColor = clBlack;        // handed to the track drawing, which colours by depth instead
  TColor RouteColor = clOlive;        // handed to the route drawing, likewise
  TColor SelectedColor = clRed;       // the rubber-band rectangle
};

}  // namespace sondralis
