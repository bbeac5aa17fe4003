#include "ui/message_boxes.h"

namespace {

MessageBoxes real_boxes;
MessageBoxes* current_boxes = &real_boxes;

}  // namespace

void MessageBoxes::Show(QWidget* owner, const QString& caption, const QString& text,
                        QMessageBox::Icon icon) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);  // a server's message is never markup
  box.exec();
}

MessageBoxes* MessageBoxes::Current() {
  return current_boxes;
}

void MessageBoxes::Replace(MessageBoxes* boxes) {
  current_boxes = boxes != nullptr ? boxes : &real_boxes;
}
