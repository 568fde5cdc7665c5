#pragma once

// What a session needs of the front end that drives it, in two small
// interfaces, each implemented once per front end:
//   TSessionQuestions  the questions the session asks the user and the
//                      messages it shows him, as typed calls (the window:
//                      Qt dialogs; tests: scripted answers);
//   TSessionDisplay    what the session tells the front end that shows it:
//                      log lines, labels, progress, the parts of its state
//                      that changed, and the wake-ups of running workers
//                      (the window itself).
// Nothing below the session asks anything: sondralis-cli drives the project
// object and needs neither.

#include <optional>
#include <string>
#include <vector>

#include "model/ColorInterpolate.h"

namespace sondralis {

// What a file-save dialog is for.
enum class SaveKind {
  SourceTracks,    // "Save Tracks..." of the Source Tracks tab: GPX
  ContourTracks,   // "Save Tracks..." of the ISO Contour tab: GPX
  Picture,         // "Save Image...": BMP or JPEG
  HTContourPart,   // one part of "Create HT-File": 000.ht, 001.ht, ...
  HTSourceTracks,  // "Save as HT-File...": one HT file
  Project,         // Save Project...: a .sondralis file
  Chart,           // "Save Chart...": PNG
};

// A file-save dialog as a command asks for it.
struct SaveFileRequest {
  SaveKind Kind = SaveKind::SourceTracks;
  std::string Title;
  std::string Filter;        // "HT-Track|*.ht"
  std::string DefaultExt;    // "ht"
  std::string ProposedName;  // "000.ht"
  int Part = 0;              // number of the HT contour part, from 0
};

// The texts of a text-input dialog: caption, prompt and the default text it
// returns when cancelled.
struct TextQuestion {
  std::string Caption;
  std::string Prompt;
  std::string Default;
};

// "Apply depth to dataset": one depth in centimetres for every point of the
// file (FileName without its folder).
inline TextQuestion DepthToApplyQuestion(const std::string& FileName) {
  return {"Apply depth to dataset", FileName + " Depth [cm]:", "0"};
}
// "Add value to dataset": centimetres added to every point of the file.
inline TextQuestion DepthOffsetQuestion(const std::string& FileName) {
  return {"Add value to dataset", FileName + " Add Depth [cm]:", "0"};
}
// The track name of "Save as HT-File...".
inline TextQuestion TrackNameQuestion() { return {"Track name", "Name:", "NewTrack"}; }
// The warning shown before an existing file is replaced.
inline std::string OverwriteQuestion(const std::string& Path) { return "Overwrite existing " + Path + " ?"; }

// The folder dialog of "Export...".
inline constexpr const char* kExportFolderTitle = "Export the map into a folder";
// The warning shown before an export replaces files of an earlier one in
// its folder.
inline std::string ReplaceFilesQuestion(const std::string& Folder, const std::vector<std::string>& Names) {
  std::string names;
  for (std::size_t i = 0; i < Names.size(); ++i) names += (i ? ", " : "") + Names[i];
  return Folder + " already holds " + names + ". Replace " + (Names.size() == 1 ? "it" : "them") + "?";
}

// The questions a session asks and the messages it shows; every call is
// made on the session's thread.
class TSessionQuestions {
 public:
  virtual ~TSessionQuestions() = default;

  // File-open dialog of "Add Files...", multiple selection over the current
  // folder with a filter such as "GPX or KML files|*.gpx;*.kml"; the chosen
  // paths in the order the dialog gives them, nothing when cancelled.
  virtual std::optional<std::vector<std::string>> AskOpenFileNames(const std::string& Filter) = 0;
  // File-save dialog; nothing when the user cancels.
  virtual std::optional<std::string> AskSaveFileName(const SaveFileRequest& Request) = 0;
  // Warning with Yes and No showing OverwriteQuestion(Path); true for Yes.
  virtual bool AskOverwrite(const std::string& Path) = 0;
  // Folder dialog titled kExportFolderTitle, starting in the current
  // folder; the folder chosen, nothing when cancelled.
  virtual std::optional<std::string> AskFolder() = 0;
  // Warning with Yes and No showing ReplaceFilesQuestion(Folder, Names);
  // true for Yes.
  virtual bool AskReplaceFiles(const std::string& Folder, const std::vector<std::string>& Names) = 0;
  // Text input dialogs showing DepthToApplyQuestion(FileName),
  // DepthOffsetQuestion(FileName) and TrackNameQuestion(). They return the
  // text typed, or the question's default when cancelled; the session
  // converts it and reports an answer it cannot use.
  virtual std::string AskDepthToApply(const std::string& FileName) = 0;
  virtual std::string AskDepthOffset(const std::string& FileName) = 0;
  virtual std::string AskTrackName() = 0;
  // Colour-choice dialog, not preset; nothing when cancelled.
  virtual std::optional<TColor> AskColor() = 0;
  // Error dialog with a single Cancel button.
  virtual void ShowError(const std::string& Message) = 0;
  // Information message.
  virtual void ShowInformation(const std::string& Message) = 0;
  // Warning after a file was loaded in part: one line per kind of value the
  // reader had to leave out ("lake.gpx: 7120 depth values could not be read,
  // first at line 14: '1234,5'").
  virtual void ShowLoadWarnings(const std::vector<std::string>& Lines) = 0;
};

// Labels whose texts commands set while they run.
enum class TLabel {
  HTState,              // lblHTState: "Checking dataset...", ..., "done"
  WritePoints,          // lblWritePoints: "# HT Points: " + count
  NumIsoTracks,         // lblNumIsoTracks: "# Tracks: " + count
  GeneratedPoints,      // lblGeneratedPoints: "# Points: " + count
  TrkCoordinates,       // lblTrkCoordinates: position under the mouse, Source Tracks
  InterpolCoordinates,  // lblInterpolCoordinates: Interpolated Map
  IsoCoordinates,       // lblIsoCoordinates: ISO Contour
  HTCoordinates,        // lblHTCoordinates: HT Contour
  InterpolDepth,        // lblInterpolDepth: interpolated depth under the mouse, "12.3 m"
};
inline constexpr int kLabelCount = 9;

// The two progress bars.
enum class TProgressBar {
  Interpolate,  // pbInterpolate: one step per column of the picture
  IsoMap,       // pbIsoMap: the depth level being traced, in centimetres
};

struct TProgress {
  bool Visible = false;
  int Max = 0;
  int Position = 0;
};

// Parts of the state a front end shows; Changed names the part that
// changed, and the front end reads its new value from the session or its
// project.
enum class TChange {
  Buttons,              // which commands are enabled, btnHtZoom pressed
  Busy,                 // the wait cursor, the whole window enabled or not
  MapInfo,              // the information texts of the Source Tracks map
  SourcePicture,        // the Source Tracks picture (GPXImage)
  InterpolatedPicture,  // the Interpolated Map picture
  IsoMapPicture,        // the ISO Contour picture
  HTPicture,            // the HT Contour picture (IsoImage)
  ShoreLinePicture,     // the shoreline mask (ShoreLine tab)
  Colours,              // the two depth colours: swatches and legend strips
  Cursors,              // the cursors of the two interactive map panes
  Legends,              // which legends over the pictures are shown
  WindowSize,           // the window's size frozen or released
  Workers,              // the number of interpolation workers running
  Settings,             // the session's settings were set (a project opened, a reset): the fields show them
  Running,              // a long run started or ended (Cancellable, RunningText)
  LastRun,              // an interpolation completed (LastRunText)
};

// What a session tells the front end that shows it. Every call has an
// empty default and comes on the session's thread, except WakeUp.
class TSessionDisplay {
 public:
  virtual ~TSessionDisplay() = default;

  // A line for the debug log.
  virtual void Log(const std::string& /*Line*/) {}
  // Lets pending user-interface events run during a long command.
  virtual void ProcessEvents() {}
  // A label's new text.
  virtual void SetLabel(TLabel /*Label*/, const std::string& /*Text*/) {}
  // A progress bar's visibility, maximum or position changed.
  virtual void SetProgress(TProgressBar /*Bar*/, const TProgress& /*Progress*/) {}
  // A part of the state changed.
  virtual void Changed(TChange /*What*/) {}
  // Called on a worker thread when a running interpolation, check, export
  // or reading of files has something to deliver: the front end should call
  // the session's Poll soon on its own thread (a window posts itself an
  // event). Must not block.
  virtual void WakeUp() {}
};

}  // namespace sondralis
