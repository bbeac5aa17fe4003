// orbilo: Simple Orbilo in its window.
#include <QApplication>
#include <cstdio>

#include <orbilo/sdk.h>
#include "ui/app_start.h"

int main(int argc, char** argv) {
  if (wants_help(argc, argv)) {
    std::fputs(kWindowUsage, stdout);
    std::fputs(kWindowHelp, stdout);
    return 0;
  }
  QApplication application(argc, argv);
  StartOptions options;
  if (!read_start_options(QApplication::arguments().mid(1), &options)) {
    std::fputs(kWindowUsage, stderr);
    return 2;
  }
  return orbilo_run(ORBILO_SDK_BUILD, options);
}
