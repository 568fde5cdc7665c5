#include "contours/HTExport.h"

#include <filesystem>
#include <optional>

#include "contours/HTReducer.h"
#include "contours/HTSplitter.h"
#include "formats/AtomicFile.h"
#include "formats/HTConvert.h"
#include "model/Numbers.h"
#include "model/Text.h"

namespace sondralis {

const char* const kHTUploadInformation =
    "To upload the generated files to your Humminbird, you have to\r\n"
    "copy them into a folder \"matrix\" on a SD-Card.\r\n"
    "The generated files should be named 000.ht, 001.ht and so on.\r\n"
    "\r\n"
    "Enter the SD-card in your Humminbird and upload the files, when asked for.\r\n"
    "To colorize them by depth, you have to set the track style to \"color by depth\".";

namespace {

constexpr int kMaxReduceThreshold = 99950;
constexpr const char* kNoPointMessage = "Can't convert dataset without any point";

bool HoldsPoint(const TGPX& doc) {
  for (const TGPXtrk* track : doc.trk)
    for (const TGPXtrkseg* seg : *track)
      if (seg->Count() > 0) return true;
  return false;
}

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

// The first `count` UTF-16 code units of a UTF-8 text, never splitting a
// surrogate pair.
std::string FirstCharacters(const std::string& text, std::size_t count) {
  std::u16string units = Utf8ToUtf16(text);
  if (units.size() <= count) return text;
  if (count > 0 && units[count - 1] >= 0xD800 && units[count - 1] <= 0xDBFF) --count;
  units.resize(count);
  return Utf16ToUtf8(units);
}

// Hands the contours' tracks over to the reduced copy's: the copy's tracks
// move into IsoData, whose old tracks are freed.
void ReplaceTracks(TGPX& IsoData, TGPX& reduced) {
  IsoData.Selection.Clear();
  IsoData.trk.FreeAll();
  IsoData.trk.Reserve(reduced.trk.Count());
  for (TGPXtrk* track : reduced.trk) IsoData.trk.Add(track);
  reduced.trk.Clear();
}

// Asks for the file, asks before overwriting, and writes. False when the
// user refused to overwrite.
bool OfferFile(const SaveFileRequest& request, const std::string& bytes, HTExportResult& result, Host& host) {
  const std::optional<std::string> path = host.AskSaveFileName(request);
  if (!path) return true;
  if (FileExists(*path) && !host.AskOverwrite(*path)) return false;
  host.SetLabel(TLabel::HTState, "Writing to HT file...");
  WriteFileAtomically(*path, bytes);
  result.Files.push_back(*path);
  return true;
}

// Builds the HT file of `doc`, asks for its name and writes it. False when
// that ends the export: the user refused to overwrite, or the document or
// the file failed (shown as an error).
bool WriteOffered(const TGPX& doc, const std::string& name, const SaveFileRequest& request, HTExportResult& result,
                  Host& host) {
  try {
    const std::size_t written = result.Files.size();
    if (OfferFile(request, BuildHTFile(doc, name), result, host)) {
      // Said once, with the first file that carries the name.
      if (written == 0 && result.Files.size() == 1) Warn(result, host, HTTrackNameWarning(name));
      return true;
    }
    result.Outcome = HTExportOutcome::Stopped;
  } catch (const EHTConvertError& e) {
    Fail(result, host, e.what());
  } catch (const EFileError& e) {
    Fail(result, host, e.what());
  }
  return false;
}

}  // namespace

HTExportResult CreateHTFile(TGPX& IsoData, const std::string& TrackName, bool ReduceWaypoints, Host& host) {
  HTExportResult result;
  const int n = CountHTPoints(IsoData, kHTAllowance);
  host.SetLabel(TLabel::HTState, "Checking dataset...");
  host.Log("saving dataset ===================================");
  host.Log("reducing dataset ===================================");
  if (!HoldsPoint(IsoData)) return Fail(result, host, kNoPointMessage);

  if (ReduceWaypoints && n > kHTMaxEntries) {
    host.SetLabel(TLabel::HTState, "Reducing dataset (2/2)");
    host.Log("Reducing dataset (2/2); n is " + std::to_string(n));
    ReduceSearchResult search = FindReduceThreshold(IsoData, kHTMaxEntries, kMaxReduceThreshold, host);
    result.ReduceTries = search.Tries;
    if (!search.Reduced) {
      host.Log("reduce threshold of 1 still leaves " + std::to_string(search.Count) + " points. Stopped");
      return Fail(result, host, "Can't reduce dataset to less than 20000 points");
    }
    host.Log("Best reduce threshold is " + std::to_string(search.Threshold));
    host.SetLabel(TLabel::WritePoints, "# HT Points: " + std::to_string(search.Count));
    ReplaceTracks(IsoData, *search.Reduced);
    result.ContoursReplaced = true;
    result.ReduceThreshold = search.Threshold;
  }

  host.Log("splitting dataset ===================================");
  host.Log("n (total) is " + std::to_string(CountHTPoints(IsoData, kHTAllowance)));
  THTSplitter splitter(IsoData);
  int f = 0;
  while (!splitter.Finished()) {
    host.Log("iterate =====" + FormatPadded(f, 3) + "======");
    TGPX part;
    const int sum = splitter.NextPart(part);
    host.Log("n_towrite is " + std::to_string(sum));
    host.Log("n of IsoDataWrite " + std::to_string(CountHTPoints(part, kHTAllowance)));
    // Only empty segments and tracks: nothing for the unit, and no number
    // of the 000, 001, ... series is used up.
    if (!HoldsPoint(part)) {
      host.Log("part without points skipped");
      continue;
    }
    const SaveFileRequest request{SaveKind::HTContourPart, "Save ISO Lines as HT Track", "HT-Track|*.ht", "ht",
                                  FormatPadded(f, 3) + ".ht", f};
    if (!WriteOffered(part, TrackName, request, result, host)) return result;
    ++f;
  }
  host.SetLabel(TLabel::HTState, "done");
  host.ShowInformation(kHTUploadInformation);
  return result;
}

HTExportResult SaveAsHTFile(const TGPX& GPXdata, Host& host) {
  HTExportResult result;
  host.Log("Checking dataset...");
  const int n = CountHTPoints(GPXdata, kHTAllowance);
  host.Log("Generated Points: " + std::to_string(n));
  if (!HoldsPoint(GPXdata)) return Fail(result, host, kNoPointMessage);
  const std::string name =
      FirstCharacters(host.AskTrackName(), static_cast<std::size_t>(kHTNameLength));
  if (n > kHTMaxEntries) return Fail(result, host, "Can't convert dataset: it " + HTTooManyEntries(n));
  const SaveFileRequest request{SaveKind::HTSourceTracks, "Save GPX Tracks as HT Track", "HT-Track|*.ht", "ht",
                                "000.ht"};
  if (!WriteOffered(GPXdata, name, request, result, host)) return result;
  host.Log("done");
  return result;
}

}  // namespace sondralis
