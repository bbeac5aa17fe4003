#include "ui/launch.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

constexpr int kLaunched = 33;      // any value above 32
constexpr int kCouldNotStart = 0;  // "out of memory or resources"
constexpr int kFileNotFound = 2;   // also what a failed desktop opener counts as
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;

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

// Why program cannot be started, as a launch result; kLaunched when nothing
// stands in its way.
int start_obstacle(const QString& program) {
  if (!program.contains('/')) {
    return QStandardPaths::findExecutable(program).isEmpty() ? kFileNotFound : kLaunched;
  }
  QFileInfo file(program);
  if (!file.exists()) return file.absoluteDir().exists() ? kFileNotFound : kPathNotFound;
  if (file.isDir() || !file.isExecutable()) return kAccessDenied;
  return kLaunched;
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
    if (parts.isEmpty()) return kFileNotFound;
    QString program = parts.takeFirst();
    int obstacle = start_obstacle(program);
    if (obstacle != kLaunched) return obstacle;
    return QProcess::startDetached(program, parts) ? kLaunched : kCouldNotStart;
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
  if (registered.isEmpty() || !launcher.start) return kFileNotFound;
  return launcher.start(launch_command(registered, url));
}
