#include "session/HTDialogs.h"

#include <filesystem>
#include <optional>

#include "contours/HTExport.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"

namespace sondralis {

namespace {

// The log lines of the core go to the host's log.
class THostLog : public TFeedback {
 public:
  explicit THostLog(Host& host) : fHost(host) {}
  void Log(const std::string& line) override { fHost.Log(line); }
  void ProcessEvents() override { fHost.ProcessEvents(); }

 private:
  Host& fHost;
};

HTExportResult& Fail(HTExportResult& result, Host& host, const std::string& message) {
  host.ShowError(message);
  result.Outcome = HTExportOutcome::Error;
  result.Error = message;
  return result;
}

void Warn(HTExportResult& result, Host& host, const std::string& warning) {
  if (warning.empty()) return;
  host.Log(warning);
  result.Warnings.push_back(warning);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// Asks for the file of an HT file, asks before overwriting, and writes it.
// False when the user refused to overwrite.
bool OfferFile(const SaveFileRequest& request, const std::string& bytes, const std::string& name,
               HTExportResult& result, Host& host) {
  const std::optional<std::string> path = host.AskSaveFileName(request);
  if (!path) return true;
  if (FileExists(*path) && !host.AskOverwrite(*path)) return false;
  host.SetLabel(TLabel::HTState, "Writing to HT file...");
  WriteFileAtomically(*path, bytes);
  result.Files.push_back(*path);
  // Said once, with the first file that carries the name.
  if (result.Files.size() == 1) Warn(result, host, HTTrackNameWarning(name));
  return true;
}

}  // namespace

HTExportResult CreateHTFile(TGPX& IsoData, const std::string& TrackName, bool ReduceWaypoints, Host& host) {
  HTExportResult result;
  THostLog log(host);
  host.SetLabel(TLabel::HTState, "Checking dataset...");
  try {
    TContourHTExport ht(IsoData, log);
    if (ReduceWaypoints && ht.NeedsReduction()) {
      host.SetLabel(TLabel::HTState, "Reducing dataset (2/2)");
      ht.Reduce([&](int count) { host.SetLabel(TLabel::WritePoints, "# HT Points: " + std::to_string(count)); });
      host.SetLabel(TLabel::WritePoints, "# HT Points: " + std::to_string(ht.ReducedCount()));
      result.ContoursReplaced = true;
      result.ReduceThreshold = ht.ReduceThreshold();
      result.ReduceTries = ht.ReduceTries();
    }
    THTPart part;
    while (ht.NextPart(part, TrackName)) {
      const SaveFileRequest request{SaveKind::HTContourPart, "Save ISO Lines as HT Track", "HT-Track|*.ht", "ht",
                                    part.Name, part.Number};
      if (!OfferFile(request, part.Bytes, TrackName, result, host)) {
        result.Outcome = HTExportOutcome::Stopped;
        return result;
      }
    }
  } catch (const EHTConvertError& e) {
    return Fail(result, host, e.what());
  } catch (const EFileError& e) {
    return Fail(result, host, e.what());
  }
  host.SetLabel(TLabel::HTState, "done");
  host.ShowInformation(kHTUploadInformation);
  return result;
}

HTExportResult SaveAsHTFile(const TGPX& GPXdata, Host& host) {
  HTExportResult result;
  THostLog log(host);
  try {
    const int n = CheckSourceHT(GPXdata, log);
    const std::string name = HTTrackNameOf(host.AskTrackName());
    RefuseTooManyEntries(n);
    const std::string bytes = BuildHTFile(GPXdata, name);
    const SaveFileRequest request{SaveKind::HTSourceTracks, "Save GPX Tracks as HT Track", "HT-Track|*.ht", "ht",
                                  "000.ht"};
    if (!OfferFile(request, bytes, name, result, host)) {
      result.Outcome = HTExportOutcome::Stopped;
      return result;
    }
  } catch (const EHTConvertError& e) {
    return Fail(result, host, e.what());
  } catch (const EFileError& e) {
    return Fail(result, host, e.what());
  }
  host.Log("done");
  return result;
}

}  // namespace sondralis
