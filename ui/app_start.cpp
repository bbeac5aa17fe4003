#include "ui/app_start.h"

#include <QTimer>
#include <cstring>

#include <orbilo/sdk.h>
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"

const char* const kWindowHelp =
    "Simple Orbilo in its window, with the settings of orbilo.ini in the working\n"
    "directory, saved when the window closes.\n"
    "\n"
    "Options:\n"
    "  --login         press Login at start, as for an autostart\n"
    "  --help          show this text and end\n"
    "Qt's own options (such as -platform NAME) are understood too.\n";

bool wants_help(int argc, const char* const* argv) {
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--help") == 0) return true;
  }
  return false;
}

bool read_start_options(const QStringList& arguments, StartOptions* options) {
  for (const QString& argument : arguments) {
    if (argument != "--login") return false;
    options->login = true;
  }
  return true;
}

int orbilo_run(int build, const StartOptions& options) {
  if (api_init(build) != 0) {
    MessageBoxes::Current()->Show(nullptr, "Simple Orbilo", "Unable to initialize API \n",
                                  QMessageBox::Critical);
    return 1;
  }
  CBotTabs window;
  if (options.login) {
    // Once the window runs, as if the user pressed the button.
    QTimer::singleShot(0, &window, [&window] { window.Login()->Button(1006)->click(); });
  }
  window.exec();
  return window.Login()->Core().exit_status();
}
