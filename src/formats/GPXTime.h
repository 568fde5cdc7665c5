#pragma once

// Times as GPX files write them: ISO 8601 texts read, and the
// yyyy-mm-ddThh:mm:ssZ of GPX 1.1 written. KML's time stamps use the same
// forms.

#include <string>
#include <string_view>

#include "model/DateTime.h"

namespace sondralis {

// ISO 8601 calendar, ordinal or week date with optional time of day and
// zone, as UTC; 0 for a text too short to hold a date. Throws
// EConvertError (naming the text) on an impossible date or time.
TDateTime ISO8601ToDateTime(std::string_view Value);

// yyyy-mm-ddThh:nn:ssZ, fractions of a second dropped.
std::string DateTimeToGPXTime(TDateTime Value);
void AppendGPXTime(std::string& Out, TDateTime Value);

}  // namespace sondralis
