#pragma once

// The contour lines as HT files for the unit: thinned until they fit one
// file when asked, else cut into parts of at most 20000 entries, each part
// one HT file (000.ht, 001.ht, ...). Nothing here asks anything or names a
// file: the window's "Create HT-File" asks for a file per part, sondralis-cli
// map writes the parts into its folder.

#include <functional>
#include <memory>
#include <string>

#include "contours/HTSplitter.h"
#include "model/Feedback.h"
#include "model/GPX.h"

namespace sondralis {

// The text of the information message shown at the end of "Create HT-File".
extern const char* const kHTUploadInformation;

// The refusals of the HT exports.
extern const char* const kHTNoPointMessage;       // "Can't convert dataset without any point"
extern const char* const kHTCannotReduceMessage;  // "Can't reduce dataset to less than 20000 points"

// One part of the contours as an HT file.
struct THTPart {
  int Number = 0;     // 0 for 000.ht, 1 for 001.ht, ...
  std::string Name;   // "000.ht"
  std::string Bytes;  // the whole file
};

// The contour document on its way into HT files, as "Create HT-File" takes
// it: checked, reduced when asked, then split part by part. The log lines
// go to the feedback in the order the steps happen:
//   construction: "saving dataset ===...", "reducing dataset ===...";
//   Reduce: "Reducing dataset (2/2); n is N", one "Applying reduce threshold
//   of T" per try, "Best reduce threshold is T";
//   the first NextPart: "splitting dataset ===...", "n (total) is N";
//   every part: "iterate =====000======", "n_towrite is N", "n of
//   IsoDataWrite N".
class TContourHTExport {
 public:
  // Throws EHTConvertError(kHTNoPointMessage) when the document holds no
  // point. IsoData and the feedback must outlive the object. KeepApart
  // (the chart's lines, which never meet) reduces with ReduceDocumentApart,
  // so that the reduced lines do not meet either.
  TContourHTExport(TGPX& IsoData, TFeedback& Feedback, bool KeepApart = false);
  TContourHTExport(const TContourHTExport&) = delete;
  TContourHTExport& operator=(const TContourHTExport&) = delete;
  ~TContourHTExport();

  // The HT count of the contours (allowance 9) when the export began.
  int Count() const noexcept { return fCount; }
  // More than 20000: the contours need a reduction to fit one file.
  bool NeedsReduction() const noexcept;

  // Replaces the tracks of IsoData by the reduced copy with the largest
  // threshold whose count is below 20000 (a bisection over 1 .. 99950).
  // Tried gets the count of every try. Throws EHTConvertError
  // (kHTCannotReduceMessage), IsoData unchanged, when even threshold 1 does
  // not fit; TCanceled, IsoData unchanged, when the feedback was cancelled.
  void Reduce(const std::function<void(int Count)>& Tried = {});
  bool ContoursReplaced() const noexcept { return fReplaced; }
  int ReduceThreshold() const noexcept { return fThreshold; }
  int ReduceTries() const noexcept { return fTries; }
  int ReducedCount() const noexcept { return fReducedCount; }

  // The next part that holds a point, as an HT file with the track name;
  // false after the last. A part of empty segments only is logged ("part
  // without points skipped") and uses up no number. Throws EHTConvertError
  // when the part cannot be an HT file. The contours must not change
  // between the parts.
  bool NextPart(THTPart& Part, const std::string& TrackName);

 private:
  TGPX& fIsoData;
  TFeedback& fFeedback;
  int fCount = 0;
  bool fKeepApart = false;
  bool fReplaced = false;
  int fThreshold = 0;
  int fTries = 0;
  int fReducedCount = 0;
  std::unique_ptr<THTSplitter> fSplitter;  // from the first NextPart on
  int fNext = 0;                           // number of the next part
};

// "Save as HT-File...": the loaded tracks as one HT file. Logs "Checking
// dataset..." and "Generated Points: N"; throws EHTConvertError for a
// document without any point (kHTNoPointMessage).
int CheckSourceHT(const TGPX& GPXdata, TFeedback& Feedback);
// The track name as the unit takes it: its first 20 characters (UTF-16
// code units, a surrogate pair never split).
std::string HTTrackNameOf(const std::string& Answer);
// Throws EHTConvertError("Can't convert dataset: it needs N entries; ...")
// for a count above 20000.
void RefuseTooManyEntries(int Count);

}  // namespace sondralis
