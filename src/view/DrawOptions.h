#pragma once

#include "model/ColorInterpolate.h"

namespace sondralis {

// Drawing options of a map view. Only BackGroundColor, WayPointColor and
// SelectedColor change what is drawn; the others are kept for the settings
// they name and have no effect.
class TDrawOptions {
 public:
  bool AskBeforeDelete = true;
  TColor BackGroundColor = clSilver;  // the window sets white
  TColor WayPointColor = clBlue;  // pen and brush of waypoint markers
  TColor TrackColor = clBlack;
  TColor RouteColor = clOlive;
  TColor SelectedColor = clRed;  // the rubber-band rectangle
  TColor CutPointColor = clYellow;
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
