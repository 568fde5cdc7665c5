#include "app/WindowDialogs.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

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

std::optional<std::string> TWindowDialogs::AskSaveFileName(const SaveFileRequest& request) {
  QFileDialog dialog(fParent, Q(request.Title), QDir::currentPath());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The command asks before it replaces a file, with its own words.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilters(NameFilters(request.Filter, false));
  dialog.setDefaultSuffix(Q(request.DefaultExt));
  if (!request.ProposedName.empty()) dialog.selectFile(Q(request.ProposedName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
}

bool TWindowDialogs::AskOverwrite(const std::string& path) {
  return QMessageBox::warning(fParent, QStringLiteral("Warning"), Q(OverwriteQuestion(path)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> TWindowDialogs::AskFolder() {
  const QString folder = QFileDialog::getExistingDirectory(fParent, QString::fromUtf8(kExportFolderTitle), QDir::currentPath());
  if (folder.isEmpty()) return std::nullopt;
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
  const QStringList names = QFileDialog::getOpenFileNames(fParent, QStringLiteral("Open"), QDir::currentPath(),
                                                          NameFilters(filter, true).join(QStringLiteral(";;")),
                                                          nullptr, QFileDialog::HideNameFilterDetails);
  if (names.isEmpty()) return std::nullopt;
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
