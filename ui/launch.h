// Opening a web address on the desktop: the desktop's own opener first; if
// that fails, the command line registered for web pages, cut at its file or
// address placeholder, with the address appended.
#pragma once

#include <QString>
#include <functional>

struct Launcher {
  // Asks the desktop's opener to open url: true when it did.
  std::function<bool(const QString& url)> open_with_desktop;
  // The Exec line of the default handler for web pages, or "" when none is
  // registered.
  std::function<QString()> registered_command;
  // Starts a command line as a program: true when it started.
  std::function<bool(const QString& command)> start;
};

// The system's launcher (QDesktopServices, xdg-mime and the .desktop files).
Launcher system_launcher();

// The registered command cut at its placeholder (quoted or not), then a
// blank and url: "viewer %u" gives "viewer  URL" (the blank before the
// placeholder stays); a line without a placeholder gets " URL" appended.
QString launch_command(const QString& registered, const QString& url);

// Launch results in the old platform's terms: above 32 is success; 2 (file
// not found) when nothing could open the address; 31 when no program is
// registered for it.
int Launch(const Launcher& launcher, const QString& url);
