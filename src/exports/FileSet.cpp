#include "exports/FileSet.h"

#include <memory>

#include "formats/AtomicFile.h"

namespace sondralis {

void CommitFiles(const std::vector<std::pair<std::string, std::string_view>>& Files) {
  std::vector<std::unique_ptr<AtomicFileWriter>> writers;
  for (const auto& [path, bytes] : Files) {
    writers.push_back(std::make_unique<AtomicFileWriter>(path));
    writers.back()->Write(bytes);
  }
  for (auto& writer : writers) writer->Commit();
}

}  // namespace sondralis
