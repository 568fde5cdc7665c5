#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sondralis {

// A file-save dialog as a command asks for it.
struct SaveFileRequest {
  std::string Title;
  std::string Filter;        // "HT-Track|*.ht"
  std::string DefaultExt;    // "ht"
  std::string ProposedName;  // "000.ht"
};

// Everything a core command needs from the front end that runs it: dialogs,
// labels, the log and a chance to let pending window events run. The window
// answers with real dialogs, sondralis-cli from its options, tests from a
// script. Commands call it only on the thread that runs them.
class Host {
 public:
  virtual ~Host() = default;

  // File-save dialog; nothing when the user cancels.
  virtual std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) = 0;
  // Warning with the buttons Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& message) = 0;
  // Text input dialog; returns `defaultText` when the user cancels.
  virtual std::string AskText(const std::string& caption, const std::string& prompt,
                              const std::string& defaultText) = 0;
  // Error dialog with a single Cancel button.
  virtual void ShowError(const std::string& message) = 0;
  // Information message.
  virtual void ShowInformation(const std::string& message) = 0;

  // Sets the text of a label of the window, named as the window names it
  // ("lblHTState", "lblWritePoints").
  virtual void SetLabel(std::string_view /*control*/, const std::string& /*text*/) {}
  // Appends a line to the debug log.
  virtual void Log(const std::string& /*line*/) {}
  // Lets pending user-interface events run during a long command.
  virtual void ProcessEvents() {}
};

}  // namespace sondralis
