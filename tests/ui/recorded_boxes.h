// What the window's tests share: a message box stand-in that records what
// it was asked to show, and the start of a test on a page of its own.
#pragma once

#include <QStringList>

#include "app/session.h"
#include "sdk/sdk.h"
#include "support/scratch_directory.h"
#include "ui/message_boxes.h"

// Records each box as "caption|text" instead of showing it.
struct RecordedBoxes : MessageBoxes {
  void Show(QWidget*, const QString& caption, const QString& text, QMessageBox::Icon) override {
    shown.append(caption + "|" + text);
  }
  QStringList shown;
};

// For a test's init(): the orbilo.ini in scratch, the library started and
// boxes cleared and put in place of the real ones; false when scratch could
// not be made.
inline bool start_with_boxes(const orbilo::ScratchDirectory& scratch, RecordedBoxes* boxes) {
  if (!scratch.ok()) return false;
  IniPath = scratch.path("orbilo.ini");
  api_init(ORBILO_SDK_BUILD);
  boxes->shown.clear();
  MessageBoxes::Replace(boxes);
  return true;
}
