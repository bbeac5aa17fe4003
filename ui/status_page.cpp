#include "ui/status_page.h"

#include <QScrollBar>
#include <QTextCursor>

#include "ui/dialog_units.h"

COrbStatus::COrbStatus(QWidget* parent) : QWidget(parent) {
  use_page_font(this);
  log_ = new QPlainTextEdit(this);
  log_->setObjectName("1007");
  log_->setReadOnly(true);
  log_->setUndoRedoEnabled(false);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  place(log_, 7, 7, 206, 85);
  status_ = new QLabel("Simple Orbilo status", this);
  status_->setObjectName("1008");
  status_->setTextFormat(Qt::PlainText);
  status_->setAlignment(Qt::AlignCenter);
  status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  place(status_, 7, 93, 206, 11);
}

void COrbStatus::SetStatus(const QString& text) {
  status_->setText(text);
}

void COrbStatus::AppendLog(const QString& text, Colour colour, bool bold, bool italic,
                           bool underline, bool newline) {
  QTextCharFormat format;
  format.setForeground(QColor(colour.red, colour.green, colour.blue));
  format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  format.setFontItalic(italic);
  format.setFontUnderline(underline);
  QTextCursor cursor(log_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text, format);
  if (newline) cursor.insertBlock(QTextBlockFormat(), format);
  QScrollBar* bar = log_->verticalScrollBar();
  bar->setValue(bar->maximum());
}
