// Message boxes go through this interface, so that tests can record them
// instead of waiting for a user.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows a modal box owned by owner (nullptr: no owner window) and returns
  // when it is closed; its text is shown as plain text. Timers keep firing
  // in its loop.
  virtual void Show(QWidget* owner, const QString& caption, const QString& text,
                    QMessageBox::Icon icon);

  // The boxes in use; nullptr restores the real ones.
  static MessageBoxes* Current();
  static void Replace(MessageBoxes* boxes);
};
