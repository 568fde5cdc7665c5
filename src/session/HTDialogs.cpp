#include "session/HTDialogs.h"

#include <filesystem>
#include <optional>

#include "contours/HTExport.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"

namespace sondralis {

namespace {

HTExportResult& Fail(HTExportResult& result, TSessionQuestions& questions, const std::string& message) {
  questions.ShowError(message);
  result.Outcome = HTExportOutcome::Error;
  result.Error = message;
  return result;
}

void Warn(HTExportResult& result, TFeedback& feedback, const std::string& warning) {
  if (warning.empty()) return;
  feedback.Log(warning);
  result.Warnings.push_back(warning);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// Asks for the file of an HT file, asks before overwriting, and writes it.
// False when the user refused to overwrite.
bool OfferFile(const SaveFileRequest& request, const std::string& bytes, const std::string& name,
               HTExportResult& result, TSessionQuestions& questions, TFeedback& feedback,
               const TLabelSetter& setLabel) {
  const std::optional<std::string> path = questions.AskSaveFileName(request);
  if (!path) return true;
  if (FileExists(*path) && !questions.AskOverwrite(*path)) return false;
  setLabel(TLabel::HTState, "Writing to HT file...");
  WriteFileAtomically(*path, bytes);
  result.Files.push_back(*path);
  // Said once, with the first file that carries the name.
  if (result.Files.size() == 1) Warn(result, feedback, HTTrackNameWarning(name));
  return true;
}

}  // namespace

HTExportResult CreateHTFile(TGPX& IsoData, const std::string& TrackName, bool ReduceWaypoints,
                            TSessionQuestions& Questions, TFeedback& Feedback, const TLabelSetter& SetLabel,
                            bool KeepApart) {
  HTExportResult result;
  SetLabel(TLabel::HTState, "Checking dataset...");
  try {
    TContourHTExport ht(IsoData, Feedback, KeepApart);
    if (ReduceWaypoints && ht.NeedsReduction()) {
      SetLabel(TLabel::HTState, "Reducing dataset (2/2)");
      ht.Reduce([&](int count) { SetLabel(TLabel::WritePoints, "# HT Points: " + std::to_string(count)); });
      SetLabel(TLabel::WritePoints, "# HT Points: " + std::to_string(ht.ReducedCount()));
      result.ContoursReplaced = true;
      result.ReduceThreshold = ht.ReduceThreshold();
      result.ReduceTries = ht.ReduceTries();
    }
    THTPart part;
    while (ht.NextPart(part, TrackName)) {
      const SaveFileRequest request{SaveKind::HTContourPart, "Save ISO Lines as HT Track", "HT-Track|*.ht", "ht",
                                    part.Name, part.Number};
      if (!OfferFile(request, part.Bytes, TrackName, result, Questions, Feedback, SetLabel)) {
        result.Outcome = HTExportOutcome::Stopped;
        return result;
      }
    }
  } catch (const TCanceled&) {
    result.Outcome = HTExportOutcome::Canceled;
    return result;
  } catch (const EHTConvertError& e) {
    return Fail(result, Questions, e.what());
  } catch (const EFileError& e) {
    return Fail(result, Questions, e.what());
  }
  SetLabel(TLabel::HTState, "done");
  Questions.ShowInformation(kHTUploadInformation);
  return result;
}

HTExportResult SaveAsHTFile(const TGPX& GPXdata, TSessionQuestions& Questions, TFeedback& Feedback,
                            const TLabelSetter& SetLabel) {
  HTExportResult result;
  try {
    const int n = CheckSourceHT(GPXdata, Feedback);
    const std::string name = HTTrackNameOf(Questions.AskTrackName());
    RefuseTooManyEntries(n);
    const std::string bytes = BuildHTFile(GPXdata, name);
    const SaveFileRequest request{SaveKind::HTSourceTracks, "Save GPX Tracks as HT Track", "HT-Track|*.ht", "ht",
                                  "000.ht"};
    if (!OfferFile(request, bytes, name, result, Questions, Feedback, SetLabel)) {
      result.Outcome = HTExportOutcome::Stopped;
      return result;
    }
  } catch (const EHTConvertError& e) {
    return Fail(result, Questions, e.what());
  } catch (const EFileError& e) {
    return Fail(result, Questions, e.what());
  }
  Feedback.Log("done");
  return result;
}

}  // namespace sondralis
