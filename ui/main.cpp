// orbilo: Simple Orbilo in its window. It starts the library, then runs the
// window modally; the program ends when the window closes.
#include <QApplication>

#include "sdk/sdk.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (api_init(ORBILO_SDK_BUILD) != 0) {
    MessageBoxes::Current()->Show(nullptr, "Simple Orbilo", "Unable to initialize API \n",
                                  QMessageBox::Critical);
    return 1;
  }
  int status = 0;
  {
    CBotTabs window;
    window.exec();
    status = window.Login()->Core().exit_status();
  }
  return status;
}
