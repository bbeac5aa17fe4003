#include "ui/app_start.h"

#include <orbilo/sdk.h>
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"

int orbilo_run(int build) {
  if (api_init(build) != 0) {
    MessageBoxes::Current()->Show(nullptr, "Simple Orbilo", "Unable to initialize API \n",
                                  QMessageBox::Critical);
    return 1;
  }
  CBotTabs window;
  window.exec();
  return window.Login()->Core().exit_status();
}
