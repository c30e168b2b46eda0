// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <unistd.h>

namespace folders {

namespace {

QSettings Settings() { return QSettings(QStringLiteral("morphane"), QStringLiteral("morphane")); }

QString Wide(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

} // namespace

bool IsInstalledCopy(const std::string& programDir) {
  const QDir bin(Wide(programDir));
  if (bin.dirName() != QLatin1String("bin")) return false;
  // The entry is named after the AppStream id; copies installed before that named it morphane.desktop.
  return QFileInfo::exists(bin.filePath(QStringLiteral("../share/applications/io.github.morphane.Morphane.desktop"))) ||
         QFileInfo::exists(bin.filePath(QStringLiteral("../share/applications/morphane.desktop")));
}

std::string FavouritesFolder(const std::string& programDir) {
  if (!IsInstalledCopy(programDir) && ::access(programDir.c_str(), W_OK) == 0) return programDir;
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  const QString folder = QDir(data).filePath(QStringLiteral("morphane"));
  QDir().mkpath(folder); // a failure shows when the file is written, and is ignored there
  return WithSlash(QFile::encodeName(folder).toStdString());
}

QString StartFolder(const std::string& programDir) {
  return IsInstalledCopy(programDir) ? QDir::homePath() : Wide(programDir);
}

QString RememberedFolder(const QString& key) {
  const QString folder = Settings().value(QStringLiteral("Ordner/") + key).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFolder(const QString& key, const QString& folder) {
  QSettings settings = Settings();
  settings.setValue(QStringLiteral("Ordner/") + key, folder);
}

QString DialogFolder(const QString& key, const QString& fallback) {
  const QString remembered = RememberedFolder(key);
  if (!remembered.isEmpty()) return remembered;
  if (!fallback.isEmpty() && QFileInfo(fallback).isDir()) return fallback;
  return QDir::homePath();
}

} // namespace folders
