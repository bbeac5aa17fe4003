// COrbApp's start-up: the command line, the library, then the window run
// modally; the program ends when the window closes.
#pragma once

#include <QStringList>

// What the window's command line asks for, besides Qt's own options.
struct StartOptions {
  bool login = false;  // --login: press Login at start, as for an autostart
};

// The first line of --help, and the line for a command line that is wrong.
inline constexpr const char* kWindowUsage = "usage: orbilo [--login] [--help] [Qt options]\n";
// The whole of --help.
extern const char* const kWindowHelp;

// Whether the arguments (the program's name not among them) hold --help,
// which is answered before Qt starts, so that it needs no display.
bool wants_help(int argc, const char* const* argv);

// Reads the arguments that Qt left (the program's name not among them):
// false for one it does not know.
bool read_start_options(const QStringList& arguments, StartOptions* options);

// Starts the library with build (the library build, ORBILO_SDK_BUILD) and
// runs the window as the options ask: the program's exit status. A library
// that will not start gets the box "Unable to initialize API \n" and no
// window.
int orbilo_run(int build, const StartOptions& options = {});
