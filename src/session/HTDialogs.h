#pragma once

// The two HT exports of the window with their dialogs: "Create HT-File"
// writes the contour lines as one or more HT files, asking for a file for
// each part; "Save as HT-File..." writes the loaded source tracks as one HT
// file after asking for a track name and a file.

#include <functional>
#include <string>
#include <vector>

#include "model/Feedback.h"
#include "model/GPX.h"
#include "session/FrontEnd.h"

namespace sondralis {

enum class HTExportOutcome {
  Done,     // ran to its end ("done")
  Stopped,  // the user refused to overwrite a file
  Error,    // an error dialog ended the export
  NotRun,   // the export did not start (another command was running)
  Canceled, // the feedback was cancelled during the reduction: nothing written, the contours as they were
};

// Sets a label of the window: lblHTState and lblWritePoints here.
using TLabelSetter = std::function<void(TLabel, const std::string&)>;

struct HTExportResult {
  HTExportOutcome Outcome = HTExportOutcome::Done;
  bool ContoursReplaced = false;   // the contours now are a reduced copy: redraw their view
  int ReduceThreshold = 0;         // the threshold used, when reduced
  int ReduceTries = 0;             // reduced copies tried
  std::vector<std::string> Files;  // files written, in order
  std::string Error;               // the message shown when Outcome is Error
  std::vector<std::string> Warnings;  // what was written other than asked (also logged)
};

// "Create HT-File": when `ReduceWaypoints` is set and the contours count more
// than 20000, replaces the tracks of `IsoData` by the reduced copy with the
// largest threshold that counts below 20000; then splits the contours into
// parts of at most 20000 and asks for a file for each (000.ht, 001.ht, ...).
// A cancelled save dialog skips that part; refusing to overwrite ends the
// export. Problems with the data or a file are shown with ShowError and end
// the export; files already written stay. The log lines go to the feedback,
// which lets events run after every segment the reduction thins. KeepApart
// (the chart's contours) makes the reduction keep the lines apart.
HTExportResult CreateHTFile(TGPX& IsoData, const std::string& TrackName, bool ReduceWaypoints,
                            TSessionQuestions& Questions, TFeedback& Feedback, const TLabelSetter& SetLabel,
                            bool KeepApart = false);

// "Save as HT-File...": asks for a track name and a file and writes
// `GPXdata` as one HT file. The document is not changed.
HTExportResult SaveAsHTFile(const TGPX& GPXdata, TSessionQuestions& Questions, TFeedback& Feedback,
                            const TLabelSetter& SetLabel);

}  // namespace sondralis
