#pragma once

// Corrections of the depth readings of a loaded file, applied to the file's
// own document before its tracks join the others. Each returns what it did,
// so that the caller can report it: no correction is silent.
//
// A recording is a track segment with at least one depth reading; a
// segment whose points all have depth 0 is an outline (shoreline, island)
// and is never corrected. A reading is a point of a recording whose depth
// is not 0 (0 means the sounder had none).

#include <string>

#include "formats/SourceTracks.h"  // DepthFromElevation, a rule of reading
#include "model/GPX.h"

namespace sondralis {

bool IsRecording(const TGPXtrkseg& Segment);

// Calls Visit(segment) for every recording of the document.
template <class Visit>
void ForEachRecording(TGPX& Doc, Visit visit) {
  for (TGPXtrk* track : Doc.trk)
    for (TGPXtrkseg* segment : *track)
      if (IsRecording(*segment)) visit(*segment);
}

struct TReadingsChanged {
  long long Readings = 0;    // readings changed
  long long NotPositive = 0;  // of them, readings the change left at 0 cm or less
};

// Adds Cm to every reading: the transducer's depth below the surface (the
// sounder measures from the transducer, the chart from the surface), or a
// session's water level correction.
TReadingsChanged AddToReadings(TGPX& Doc, double Cm);

// For a file without depth readings that is loaded as a shoreline: says so,
// and when its elevations are negative names the likely cause.
// "lake.gpx: no depth readings; loaded as a shoreline".
std::string DepthlessFileNote(const TGPX& Doc, const std::string& FileName);

}  // namespace sondralis
