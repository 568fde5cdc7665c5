#pragma once

#include <QStringList>

#include "session/FrontEnd.h"

class QWidget;

namespace sondralis {

class TWindowSettings;

// The session's questions and messages as Qt dialogs: file open and save,
// the text inputs (which return their default when cancelled), the colour
// choice, errors with a single Cancel button, the Yes/No warning before a
// file is replaced, information and the load warnings.
//
// Each file dialog opens in the folder it showed last (kept in Settings,
// one folder per kind of dialog), else in the current folder.
class TWindowDialogs : public TSessionQuestions {
 public:
  // Dialogs are modal over Parent; Settings may be null (no folders kept).
  explicit TWindowDialogs(QWidget* Parent, TWindowSettings* Settings = nullptr)
      : fParent(Parent), fSettings(Settings) {}

  std::optional<std::vector<std::string>> AskOpenFileNames(const std::string& filter) override;
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  bool AskOverwrite(const std::string& path) override;
  std::optional<std::string> AskFolder() override;
  bool AskReplaceFiles(const std::string& folder, const std::vector<std::string>& names) override;
  std::string AskDepthToApply(const std::string& fileName) override;
  std::string AskDepthOffset(const std::string& fileName) override;
  std::string AskTrackName() override;
  std::optional<TColor> AskColor() override;
  void ShowError(const std::string& message) override;
  void ShowInformation(const std::string& message) override;
  void ShowLoadWarnings(const std::vector<std::string>& lines) override;

  // "Bitmap Image|*.bmp|JPEG Image|*.jpg" as Qt name filters:
  // "Bitmap Image (*.bmp)", "JPEG Image (*.jpg)". With AnyCase every
  // pattern also comes in upper case, for file systems that tell them apart.
  static QStringList NameFilters(const std::string& Filter, bool AnyCase);
  // The name under which a dialog's folder is kept.
  static QString DialogName(SaveKind Kind);
  static QString DialogName(const std::string& OpenFilter);

 private:
  std::string AskText(const TextQuestion& question);
  QString StartFolder(const QString& Dialog) const;
  void Remember(const QString& Dialog, const QString& ChosenFile);

  QWidget* fParent;
  TWindowSettings* fSettings;
};

}  // namespace sondralis
