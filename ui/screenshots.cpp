// orbilo-screenshots DIR: renders the window's pages to PNG files, on any
// platform Qt offers (offscreen included): the login page idle and running,
// the status page with blue and green lines, and the about page.
#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <orbilo/sdk.h>
#include "app/session.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/status_page.h"

namespace {

bool save(CBotTabs& window, int tab, const QString& path) {
  window.Tabs()->setCurrentIndex(tab);
  window.adjustSize();
  return window.grab().save(path);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) return 2;
  QDir directory(argv[1]);
  if (!directory.mkpath(".")) return 1;
  IniPath = directory.filePath("orbilo.ini").toStdString();  // a scratch file of its own
  api_init(ORBILO_SDK_BUILD);
  bool ok = true;
  {
    CBotTabs window;
    window.show();
    ok = save(window, 0, directory.filePath("login-idle.png")) && ok;
    COrbLogin* login = window.Login();
    login->Edit(1003)->setText("demo");
    login->EnableLoginControls(false);
    login->EnableRunningControls(true);
    ok = save(window, 0, directory.filePath("login-running.png")) && ok;
    COrbStatus* status = window.Status();
    for (const char* line :
         {"Orbilo has verified your Orbilo version is up to date.",
          "Orbilo has successfully logged in.", "Orbilo has successfully entered the world.",
          "Orbilo is now running."}) {
      status->AppendLog(line, kBlue, false, false, false, true);
    }
    status->AppendLog("Owner response sent to Ada.", kGreen, false, false, false, true);
    status->AppendLog("Version response sent to Nils.", kGreen, false, false, false, true);
    status->SetStatus("Orbilo is now running.");
    ok = save(window, 1, directory.filePath("status.png")) && ok;
    ok = save(window, 2, directory.filePath("about.png")) && ok;
  }
  QFile::remove(directory.filePath("orbilo.ini"));
  return ok ? 0 : 1;
}
