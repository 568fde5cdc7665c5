#pragma once

// The contour lines as KML for Google Earth, where anglers draw their
// shorelines: one folder per depth level, named in metres ("3.0 m"), each
// line styled in its level's colour on the depth ramp.

#include <string>

#include "model/ColorInterpolate.h"
#include "model/GPX.h"

namespace sondralis {

// The safety contour of a chart: the lines traced at the safety depth,
// drawn bold in their own colour.
struct TKMLSafety {
  const TGPX* Lines = nullptr;
  int Depth = 0;  // centimetres
  TColor Color = 0xFF00FF;
};

// The KML text of the contour document. A track's level is the depth of its
// first point (the tracer gives every point of a track its level); levels
// come in ascending order, tracks in document order within a level, and each
// segment of two points or more becomes one line placemark. The colour of a
// level is BlendColors(Shallow, Deep, level / MaxDepth), as the contour
// picture draws it.
//
// With a LabelStep (the step between levels, centimetres), folders and
// lines are named as the chart labels them (DepthLabelText: "3.25 m" at a
// 25 cm step, where the plain names round to one decimal), and each line
// gets a label: a point placemark of that name without an icon, on the
// line's straightest stretch, which Google Earth shows as the depth written
// on the line. With a Safety, a last folder "safety" holds its lines, four
// pixels wide in its colour. Without either, the text is as it always was.
struct TContourKMLOptions {
  int LabelStep = 0;
  const TKMLSafety* Safety = nullptr;
};
std::string EncodeContoursKML(const TGPX& IsoData, int MaxDepth, TColor Shallow, TColor Deep,
                              const std::string& Name = "Depth contours", const TContourKMLOptions& Options = {});

// Writes EncodeContoursKML to Path atomically; throws EFileError.
void ExportContoursKML(const std::string& Path, const TGPX& IsoData, int MaxDepth, TColor Shallow, TColor Deep,
                       const TContourKMLOptions& Options = {});

}  // namespace sondralis
