#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/CommandSupport.h"
#include "session/ProjectFile.h"

namespace sondralis::cli {

// sondralis-cli map: the window's whole job in one command. Returns the exit
// status; throws UsageError or CommandFailure (cli/CommandSupport.h).
int RunMap(const std::vector<std::string>& args);

// A project file given as the input, for the commands that load files
// (map, validate, levels): the file read, nothing when the inputs are plain
// files. UsageError when it is not alone or comes with --depth or --offset,
// CommandFailure when it cannot be read.
std::optional<TProjectFile> ProjectInput(const Arguments& a);
// Correction options were given: they replace the project's corrections,
// those of each of its files too (ForgetInputCorrections).
bool ChangesCorrections(const TLoadOptions& loading);
void ForgetInputCorrections(TProjectFile& file);
// Loads the project's files with their rules and corrections; the missing
// ones are named on stderr and the rest load. A file that is there but
// cannot be read or corrected ends the command. The number of files loaded.
int LoadProject(TProject& project, const TProjectFile& file, const std::string& path, TCliFeedback& feedback,
                TLoadTotals& setAside);

}  // namespace sondralis::cli
