#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/ColorInterpolate.h"

namespace sondralis {

// What a file-save dialog is for. A front end that does not show dialogs
// answers by kind (sondralis-cli takes its output options); the window shows
// the texts of the request.
enum class SaveKind {
  SourceTracks,    // "Save Tracks..." of the Source Tracks tab: GPX
  ContourTracks,   // "Save Tracks..." of the ISO Contour tab: GPX
  Picture,         // "Save Image...": BMP or JPEG
  HTContourPart,   // one part of "Create HT-File": 000.ht, 001.ht, ...
  HTSourceTracks,  // "Save as HT-File...": one HT file
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

// Labels whose texts commands set while they run.
enum class TLabel {
  HTState,          // lblHTState: "Checking dataset...", ..., "done"
  WritePoints,      // lblWritePoints: "# HT Points: " + count
  NumIsoTracks,     // lblNumIsoTracks: "# Tracks: " + count
  GeneratedPoints,  // lblGeneratedPoints: "# Points: " + count
  TrkCoordinates,   // lblTrkCoordinates: position under the mouse, Source Tracks
  InterpolCoordinates,  // lblInterpolCoordinates: Interpolated Map
  IsoCoordinates,   // lblIsoCoordinates: ISO Contour
  HTCoordinates,    // lblHTCoordinates: HT Contour
  InterpolDepth,    // lblInterpolDepth: interpolated depth under the mouse, "12.3 m"
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

// Parts of the application state a front end shows; Changed names the part
// that changed, and the front end reads its new value from the session.
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
};

// Everything a command needs from the front end that runs it: the questions
// it asks (each its own call with typed arguments and answer), and the
// notifications of what it did. The window answers with dialogs,
// sondralis-cli from its options, tests from a script. All calls come on
// the thread that runs the command, except WakeUp.
class Host {
 public:
  virtual ~Host() = default;

  // ---- questions

  // File-save dialog; nothing when the user cancels.
  virtual std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) = 0;
  // Warning with Yes and No showing OverwriteQuestion(path); true for Yes.
  virtual bool AskOverwrite(const std::string& path) = 0;
  // Text input dialogs showing DepthToApplyQuestion(fileName),
  // DepthOffsetQuestion(fileName) and TrackNameQuestion(). They return the
  // text typed, or the question's default when cancelled; the command
  // converts it and reports an answer it cannot use.
  virtual std::string AskDepthToApply(const std::string& fileName) = 0;
  virtual std::string AskDepthOffset(const std::string& fileName) = 0;
  virtual std::string AskTrackName() = 0;
  // Error dialog with a single Cancel button.
  virtual void ShowError(const std::string& message) = 0;
  // Information message.
  virtual void ShowInformation(const std::string& message) = 0;
  // Warning after a file was loaded in part: one line per kind of value the
  // reader had to leave out ("lake.gpx: 7120 depth values could not be read,
  // first at line 14: '1234,5'"). A front end without its own warning shows
  // them as information.
  virtual void ShowLoadWarnings(const std::vector<std::string>& lines) {
    std::string message;
    for (const std::string& line : lines) message += (message.empty() ? "" : "\r\n") + line;
    ShowInformation(message);
  }
  // File-open dialog with multiple selection over the current folder, with a
  // filter such as "GPX or KML files|*.gpx;*.kml"; the chosen paths in the
  // order the dialog gives them, nothing when cancelled. A front end without
  // dialogs cancels.
  virtual std::optional<std::vector<std::string>> AskOpenFileNames(const std::string& /*filter*/) {
    return std::nullopt;
  }
  // Colour-choice dialog, not preset; nothing when cancelled.
  virtual std::optional<TColor> AskColor() { return std::nullopt; }

  // ---- notifications

  // A line for the debug log.
  virtual void Log(const std::string& /*line*/) {}
  // Lets pending user-interface events run during a long command.
  virtual void ProcessEvents() {}
  // A label's new text.
  virtual void SetLabel(TLabel /*label*/, const std::string& /*text*/) {}
  // A progress bar's visibility, maximum or position changed.
  virtual void SetProgress(TProgressBar /*bar*/, const TProgress& /*progress*/) {}
  // A part of the application state changed.
  virtual void Changed(TChange /*what*/) {}
  // Called on a worker thread when a running interpolation has something to
  // deliver: the front end should call the session's poll soon on its own
  // thread (a window posts itself an event). Must not block.
  virtual void WakeUp() {}
};

// A host for runs nobody attends: every question gets its default (save
// dialogs are cancelled, overwriting is refused), messages are collected,
// notifications are dropped.
class TUnattendedHost : public Host {
 public:
  std::vector<std::string> Errors;
  std::vector<std::string> Informations;

  std::optional<std::string> AskSaveFileName(const SaveFileRequest&) override { return std::nullopt; }
  bool AskOverwrite(const std::string&) override { return false; }
  std::string AskDepthToApply(const std::string& fileName) override { return DepthToApplyQuestion(fileName).Default; }
  std::string AskDepthOffset(const std::string& fileName) override { return DepthOffsetQuestion(fileName).Default; }
  std::string AskTrackName() override { return TrackNameQuestion().Default; }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void ShowInformation(const std::string& message) override { Informations.push_back(message); }
};

}  // namespace sondralis
