#include "contours/HTExport.h"

#include "contours/HTReducer.h"
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

const char* const kHTNoPointMessage = "Can't convert dataset without any point";
const char* const kHTCannotReduceMessage = "Can't reduce dataset to less than 20000 points";

namespace {

constexpr int kMaxReduceThreshold = 99950;

bool HoldsPoint(const TGPX& doc) {
  for (const TGPXtrk* track : doc.trk)
    for (const TGPXtrkseg* seg : *track)
      if (seg->Count() > 0) return true;
  return false;
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

}  // namespace

TContourHTExport::TContourHTExport(TGPX& IsoData, TFeedback& Feedback, bool KeepApart)
    : fIsoData(IsoData), fFeedback(Feedback), fCount(CountHTPoints(IsoData, kHTAllowance)), fKeepApart(KeepApart) {
  fFeedback.Log("saving dataset ===================================");
  fFeedback.Log("reducing dataset ===================================");
  if (!HoldsPoint(IsoData)) throw EHTConvertError(kHTNoPointMessage);
}

TContourHTExport::~TContourHTExport() = default;

bool TContourHTExport::NeedsReduction() const noexcept { return fCount > kHTMaxEntries; }

void TContourHTExport::Reduce(const std::function<void(int)>& Tried) {
  fFeedback.Log("Reducing dataset (2/2); n is " + std::to_string(fCount));
  ReduceSearchResult search = FindReduceThreshold(fIsoData, kHTMaxEntries, kMaxReduceThreshold, fFeedback, Tried, fKeepApart);
  fTries = search.Tries;
  if (!search.Reduced) {
    fFeedback.Log("reduce threshold of 1 still leaves " + std::to_string(search.Count) + " points. Stopped");
    throw EHTConvertError(kHTCannotReduceMessage);
  }
  fFeedback.Log("Best reduce threshold is " + std::to_string(search.Threshold));
  ReplaceTracks(fIsoData, *search.Reduced);
  fReplaced = true;
  fThreshold = search.Threshold;
  fReducedCount = search.Count;
}

bool TContourHTExport::NextPart(THTPart& Part, const std::string& TrackName) {
  if (!fSplitter) {
    fFeedback.Log("splitting dataset ===================================");
    fFeedback.Log("n (total) is " + std::to_string(CountHTPoints(fIsoData, kHTAllowance)));
    fSplitter = std::make_unique<THTSplitter>(fIsoData);
  }
  while (!fSplitter->Finished()) {
    fFeedback.Log("iterate =====" + FormatPadded(fNext, 3) + "======");
    TGPX part;
    const int sum = fSplitter->NextPart(part);
    fFeedback.Log("n_towrite is " + std::to_string(sum));
    fFeedback.Log("n of IsoDataWrite " + std::to_string(CountHTPoints(part, kHTAllowance)));
    // Only empty segments and tracks: nothing for the unit, and no number
    // of the 000, 001, ... series is used up.
    if (!HoldsPoint(part)) {
      fFeedback.Log("part without points skipped");
      continue;
    }
    Part.Number = fNext;
    Part.Name = FormatPadded(fNext, 3) + ".ht";
    Part.Bytes = BuildHTFile(part, TrackName);
    ++fNext;
    return true;
  }
  return false;
}

int CheckSourceHT(const TGPX& GPXdata, TFeedback& Feedback) {
  Feedback.Log("Checking dataset...");
  const int n = CountHTPoints(GPXdata, kHTAllowance);
  Feedback.Log("Generated Points: " + std::to_string(n));
  if (!HoldsPoint(GPXdata)) throw EHTConvertError(kHTNoPointMessage);
  return n;
}

std::string HTTrackNameOf(const std::string& Answer) {
  std::size_t count = static_cast<std::size_t>(kHTNameLength);
  std::u16string units = Utf8ToUtf16(Answer);
  if (units.size() <= count) return Answer;
  if (count > 0 && units[count - 1] >= 0xD800 && units[count - 1] <= 0xDBFF) --count;
  units.resize(count);
  return Utf16ToUtf8(units);
}

void RefuseTooManyEntries(int Count) {
  if (Count > kHTMaxEntries) throw EHTConvertError("Can't convert dataset: it " + HTTooManyEntries(Count));
}

}  // namespace sondralis
