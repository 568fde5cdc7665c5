#pragma once

// Files that belong together (a shapefile set, the report's CSV and JSON)
// replaced together.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sondralis {

// Writes each (target path, bytes) pair through an AtomicFileWriter: every
// temporary file is written before the first is renamed into place, so the
// set is replaced together unless a rename itself fails, and a failure
// before that leaves every target as it was. Throws EFileError.
void CommitFiles(const std::vector<std::pair<std::string, std::string_view>>& Files);

}  // namespace sondralis
