#pragma once

// Fields of plain-text tables (soundings, gauge levels) as numbers and
// times; nothing here consults the locale.

#include <string_view>

#include "model/DateTime.h"

namespace sondralis {

// A decimal number that is all of the field: optional sign, digits with an
// optional point (or comma, when DecimalComma), optional exponent; finite.
bool ReadDecimalField(std::string_view Field, bool DecimalComma, double& Out);

// An ISO 8601 time as the GPX reader reads one, as UTC; false for a field
// that does not start with a four-digit year or holds an impossible date.
bool ReadIsoTimeField(std::string_view Field, TDateTime& Out);

}  // namespace sondralis
