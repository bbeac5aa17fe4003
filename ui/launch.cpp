#include "ui/launch.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

constexpr int kLaunched = 33;       // any value above 32
constexpr int kFileNotFound = 2;    // the desktop's opener failed
constexpr int kNoAssociation = 31;  // nothing is registered for web pages

// The Exec line of a .desktop file found in the applications folders.
QString exec_line(const QString& desktop_file) {
  QStringList folders = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
  for (const QString& folder : folders) {
    QFile file(QDir(folder).filePath(desktop_file));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) continue;
    while (!file.atEnd()) {
      QString line = QString::fromUtf8(file.readLine()).trimmed();
      if (line.startsWith("Exec=")) return line.mid(5);
    }
  }
  return {};
}

QString query_default(const QString& type) {
  QProcess query;
  query.start("xdg-mime", {"query", "default", type});
  if (!query.waitForFinished(3000)) return {};
  return QString::fromUtf8(query.readAllStandardOutput()).trimmed();
}

}  // namespace

Launcher system_launcher() {
  Launcher launcher;
  launcher.open_with_desktop = [](const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
  };
  launcher.registered_command = [] {
    for (const char* type : {"x-scheme-handler/https", "text/html"}) {
      QString desktop = query_default(type);
      if (desktop.isEmpty()) continue;
      QString line = exec_line(desktop);
      if (!line.isEmpty()) return line;
    }
    return QString();
  };
  launcher.start = [](const QString& command) {
    QStringList parts = QProcess::splitCommand(command);
    if (parts.isEmpty()) return false;
    QString program = parts.takeFirst();
    return QProcess::startDetached(program, parts);
  };
  return launcher;
}

QString launch_command(const QString& registered, const QString& url) {
  QString line = registered;
  int cut = -1;
  for (const char* placeholder : {"\"%u\"", "\"%U\"", "\"%f\"", "\"%F\""}) {
    int at = line.indexOf(placeholder);
    if (at >= 0 && (cut < 0 || at < cut)) cut = at;
  }
  if (cut < 0) {
    for (const char* placeholder : {"%u", "%U", "%f", "%F"}) {
      int at = line.indexOf(placeholder);
      if (at >= 0 && (cut < 0 || at < cut)) cut = at;
    }
  }
  if (cut >= 0) line.truncate(cut);
  return line + " " + url;
}

int Launch(const Launcher& launcher, const QString& url) {
  if (launcher.open_with_desktop && launcher.open_with_desktop(url)) return kLaunched;
  QString registered = launcher.registered_command ? launcher.registered_command() : QString();
  if (registered.isEmpty()) return kFileNotFound;
  if (launcher.start && launcher.start(launch_command(registered, url))) return kLaunched;
  return kNoAssociation;
}
