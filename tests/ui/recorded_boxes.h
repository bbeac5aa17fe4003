// What the window's tests share: a message box stand-in that records what
// it was asked to show.
#pragma once

#include <QStringList>

#include "ui/message_boxes.h"

// Records each box as "caption|text" instead of showing it.
struct RecordedBoxes : MessageBoxes {
  void Show(QWidget*, const QString& caption, const QString& text, QMessageBox::Icon) override {
    shown.append(caption + "|" + text);
  }
  QStringList shown;
};
