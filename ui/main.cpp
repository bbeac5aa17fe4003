// orbilo: Simple Orbilo in its window.
#include <QApplication>

#include <orbilo/sdk.h>
#include "ui/app_start.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return orbilo_run(ORBILO_SDK_BUILD);
}
