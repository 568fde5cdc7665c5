#include "exports/GdalModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include <QCoreApplication>

#include "formats/AtomicFile.h"

namespace sondralis::gdal {

namespace {

namespace fs = std::filesystem;

// The running program's file: /proc/self/exe where there is one, else what
// Qt knows once it has an application object; empty when neither tells.
fs::path ProgramFile() {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (!error && !exe.empty()) return exe;
  if (QCoreApplication::instance()) return fs::path(QCoreApplication::applicationFilePath().toStdString());
  return {};
}

bool Within(const fs::path& Path, const fs::path& Folder) {
  const fs::path relative = Path.lexically_relative(Folder);
  return !relative.empty() && *relative.begin() != "..";
}

// Where the module may be, in order: SONDRALIS_GDAL_MODULE when set (a
// file); for a program of the build tree, where the build put it (never a
// module installed from another build); beside the program; the installed
// library folder relative to the program (a prefix moved elsewhere) and
// where it was installed to.
std::vector<fs::path> Candidates() {
  if (const char* given = std::getenv("SONDRALIS_GDAL_MODULE"); given && *given) return {fs::path(given)};
  std::vector<fs::path> files;
  const fs::path program = ProgramFile();
  const fs::path name = SONDRALIS_GDAL_MODULE_NAME;
  std::error_code error;
  const fs::path build = fs::weakly_canonical(SONDRALIS_BUILD_DIR, error);
  if (program.empty() || Within(program.lexically_normal(), error ? fs::path(SONDRALIS_BUILD_DIR) : build))
    files.push_back(fs::path(SONDRALIS_GDAL_MODULE_BUILD_DIR) / name);
  if (!program.empty()) {
    const fs::path folder = program.parent_path();
    files.push_back(folder / name);
    files.push_back((folder / SONDRALIS_GDAL_MODULE_RELATIVE_DIR / name).lexically_normal());
  }
  files.push_back(fs::path(SONDRALIS_GDAL_MODULE_INSTALL_DIR) / name);
  return files;
}

struct TLoaded {
  const IModule* Module = nullptr;
  std::string Failure;  // why there is none
};

TLoaded Load() {
  using TEntry = const IModule* (*)(int Interface, const char* Version);
  std::string looked;
  for (const fs::path& file : Candidates()) {
    std::error_code error;
    if (!fs::exists(file, error)) {
      looked += (looked.empty() ? "" : ", ") + file.string();
      continue;
    }
    // A library GDAL needs that is missing shows here, with its name.
    // Functions are bound when first called: binding all of GDAL's libraries
    // at once (RTLD_NOW) would cost about 10 ms for the few that are used.
    void* handle = ::dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();
      return {nullptr, file.string() + " could not be loaded: " + (why ? why : "unknown reason")};
    }
    auto entry = reinterpret_cast<TEntry>(::dlsym(handle, kModuleEntry));
    const IModule* module = entry ? entry(kModuleInterface, SONDRALIS_VERSION) : nullptr;
    if (!module) {
      ::dlclose(handle);
      return {nullptr, file.string() + " is not the module of this build of Sondralis " SONDRALIS_VERSION};
    }
    // Never unloaded: GDAL keeps its drivers and caches for the process.
    return {module, {}};
  }
  return {nullptr, std::string(SONDRALIS_GDAL_MODULE_NAME) + " was not found (looked for " + looked + ")"};
}

}  // namespace

const IModule& Module(const std::string& Target) {
  static std::once_flag once;
  static TLoaded loaded;
  std::call_once(once, [] { loaded = Load(); });
  // Named by the file alone: the path is often that of the export's staging
  // folder, which tells the user nothing here.
  if (!loaded.Module)
    throw EFileError("Can't write " + fs::path(Target).filename().string() +
                     ": the GDAL exports need their module, and " + loaded.Failure);
  return *loaded.Module;
}

void Check(const TOutcome& Outcome, const std::string& Target) {
  switch (Outcome.Status) {
    case TOutcome::EStatus::Done:
      return;
    case TOutcome::EStatus::Canceled:
      throw TCanceled{};
    case TOutcome::EStatus::Failed:
      break;
  }
  std::string message = "Can't write " + Target + ": " + Outcome.What;
  if (!Outcome.Detail.empty()) message += " (" + Outcome.Detail + ")";
  throw EFileError(message);
}

}  // namespace sondralis::gdal
