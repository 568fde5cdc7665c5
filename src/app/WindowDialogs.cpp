#include "app/WindowDialogs.h"

#include <QColorDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "app/WindowSettings.h"
#include "session/Session.h"

namespace sondralis {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QStringList TWindowDialogs::NameFilters(const std::string& Filter, bool AnyCase) {
  // Pairs of description and patterns, separated by '|'; patterns by ';'.
  const QStringList parts = Q(Filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (AnyCase) {
      const QStringList lower = patterns;
      for (const QString& p : lower)
        if (p.toUpper() != p) patterns << p.toUpper();
    }
    filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return filters;
}

QString TWindowDialogs::DialogName(SaveKind Kind) {
  switch (Kind) {
    case SaveKind::SourceTracks: return QStringLiteral("saveTracks");
    case SaveKind::ContourTracks: return QStringLiteral("saveContourTracks");
    case SaveKind::Picture: return QStringLiteral("saveImage");
    case SaveKind::HTContourPart: return QStringLiteral("createHT");
    case SaveKind::HTSourceTracks: return QStringLiteral("saveAsHT");
    case SaveKind::Project: return QStringLiteral("saveProject");
    case SaveKind::Chart: return QStringLiteral("saveChart");
  }
  return QStringLiteral("save");
}

QString TWindowDialogs::DialogName(const std::string& OpenFilter) {
  if (OpenFilter == TSession::kProjectFilter) return QStringLiteral("openProject");
  if (OpenFilter == TSession::kLevelTableFilter) return QStringLiteral("gaugeTable");
  return QStringLiteral("addFiles");
}

QString TWindowDialogs::StartFolder(const QString& Dialog) const {
  const QString folder = fSettings ? fSettings->Folder(Dialog) : QString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::currentPath();
}

void TWindowDialogs::Remember(const QString& Dialog, const QString& ChosenFile) {
  if (fSettings) fSettings->SaveFolder(Dialog, QFileInfo(ChosenFile).absolutePath());
}

std::optional<std::string> TWindowDialogs::AskSaveFileName(const SaveFileRequest& request) {
  const QString name = DialogName(request.Kind);
  QFileDialog dialog(fParent, Q(request.Title), StartFolder(name));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The command asks before it replaces a file, with its own words.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilters(NameFilters(request.Filter, false));
  dialog.setDefaultSuffix(Q(request.DefaultExt));
  if (!request.ProposedName.empty()) dialog.selectFile(Q(request.ProposedName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  Remember(name, dialog.selectedFiles().front());
  return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
}

bool TWindowDialogs::AskOverwrite(const std::string& path) {
  return QMessageBox::warning(fParent, QStringLiteral("Warning"), Q(OverwriteQuestion(path)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> TWindowDialogs::AskFolder() {
  const QString folder = QFileDialog::getExistingDirectory(fParent, QString::fromUtf8(kExportFolderTitle),
                                                           StartFolder(QStringLiteral("export")));
  if (folder.isEmpty()) return std::nullopt;
  if (fSettings) fSettings->SaveFolder(QStringLiteral("export"), folder);
  return QDir::toNativeSeparators(folder).toStdString();
}

bool TWindowDialogs::AskReplaceFiles(const std::string& folder, const std::vector<std::string>& names) {
  return QMessageBox::warning(fParent, QStringLiteral("Warning"), Q(ReplaceFilesQuestion(folder, names)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::string TWindowDialogs::AskText(const TextQuestion& question) {
  bool ok = false;
  const QString text = QInputDialog::getText(fParent, Q(question.Caption), Q(question.Prompt), QLineEdit::Normal,
                                             Q(question.Default), &ok);
  return ok ? text.toStdString() : question.Default;
}

std::string TWindowDialogs::AskDepthToApply(const std::string& fileName) { return AskText(DepthToApplyQuestion(fileName)); }
std::string TWindowDialogs::AskDepthOffset(const std::string& fileName) { return AskText(DepthOffsetQuestion(fileName)); }
std::string TWindowDialogs::AskTrackName() { return AskText(TrackNameQuestion()); }

void TWindowDialogs::ShowError(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), Q(message), QMessageBox::Cancel, fParent);
  box.exec();
}

void TWindowDialogs::ShowInformation(const std::string& message) {
  // The message's lines end in CR LF; a label breaks at LF alone.
  QString text = Q(message);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox::information(fParent, QStringLiteral("Information"), text);
}

void TWindowDialogs::ShowLoadWarnings(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  QMessageBox::warning(fParent, QStringLiteral("Warning"), text.join(QLatin1Char('\n')));
}

std::optional<std::vector<std::string>> TWindowDialogs::AskOpenFileNames(const std::string& filter) {
  // The upper-case patterns make the list show lake.GPX too; the filter's
  // own words are enough to read.
  const QString dialog = DialogName(filter);
  const QStringList names = QFileDialog::getOpenFileNames(fParent, QStringLiteral("Open"), StartFolder(dialog),
                                                          NameFilters(filter, true).join(QStringLiteral(";;")),
                                                          nullptr, QFileDialog::HideNameFilterDetails);
  if (names.isEmpty()) return std::nullopt;
  Remember(dialog, names.front());
  std::vector<std::string> paths;
  for (const QString& name : names) paths.push_back(QDir::toNativeSeparators(name).toStdString());
  return paths;
}

std::optional<TColor> TWindowDialogs::AskColor() {
  const QColor color = QColorDialog::getColor(Qt::white, fParent, QStringLiteral("Color"));
  if (!color.isValid()) return std::nullopt;
  return static_cast<TColor>(color.red()) | static_cast<TColor>(color.green()) << 8 |
         static_cast<TColor>(color.blue()) << 16;
}

}  // namespace sondralis
