#pragma once

#include "model/ColorInterpolate.h"

namespace sondralis {

// Drawing options of a map view. Only BackGroundColor, WayPointColor and
// SelectedColor change what is drawn; the others are kept for the settings
// they name and have no effect.
class TDrawOptions {
 public:
  bool AskBeforeDelete = true;
  TColor BackGroundColor = 12632256;  // silver; the window sets white
  TColor WayPointColor = 16711680;    // blue: pen and brush of waypoint markers
  TColor TrackColor = 0;
  TColor RouteColor = 32896;  // olive
  TColor SelectedColor = 255;  // red: the rubber-band rectangle
  TColor CutPointColor = 65535;  // yellow
  bool RightClicSelects = true;
  bool ShowComputedSpeed = true;
  bool ShowGPXData = false;
  bool DrawPLStart = false;
  bool TREZoomReset = false;
  int TREPointDraw = 0;
  bool ExtensionLineColor = false;
  bool UseGarminIcons = false;
  bool IconsAreTransparent = false;
};

}  // namespace sondralis
