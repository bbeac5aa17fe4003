// Opening a web address on the desktop: the desktop's own opener first; if
// that fails, the command line registered for web pages, cut at its file or
// address placeholder, with the address appended, started as a program.
#pragma once

#include <QString>
#include <functional>

struct Launcher {
  // Asks the desktop's opener to open url: true when it did.
  std::function<bool(const QString& url)> open_with_desktop;
  // The Exec line of the default handler for web pages, or "" when none is
  // registered.
  std::function<QString()> registered_command;
  // Starts a command line as a program: a launch result, above 32 when it
  // started; else 2 when the program is not found, 3 when its folder is
  // not, 5 when it may not be run, 0 when it would not start for another
  // reason.
  std::function<int(const QString& command)> start;
};

// The system's launcher (QDesktopServices, xdg-mime and the .desktop files).
Launcher system_launcher();

// The registered command cut at its placeholder (quoted or not), then a
// blank and url: "viewer %u" gives "viewer  URL" (the blank before the
// placeholder stays); a line without a placeholder gets " URL" appended.
QString launch_command(const QString& registered, const QString& url);

// Launch results in the old platform's terms: above 32 is success. A failed
// desktop opener counts as 2 (file not found), and that is the result when
// no program is registered for web pages; when one is, the result is its
// start's own: above 32 when it started, else its failure (2 when the
// registered program is not found).
int Launch(const Launcher& launcher, const QString& url);
