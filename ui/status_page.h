// COrbStatus: the status line and the coloured log.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

#include "app/view.h"

class COrbStatus : public QWidget {
  Q_OBJECT

 public:
  explicit COrbStatus(QWidget* parent = nullptr);

  // Both show their text as plain text, markup and all.
  void SetStatus(const QString& text);
  // Appends text in the colour and flags given, then shows the end of the log.
  void AppendLog(const QString& text, Colour colour, bool bold, bool italic, bool underline,
                 bool newline);

  QPlainTextEdit* Log() const { return log_; }
  QLabel* StatusLine() const { return status_; }

 private:
  QPlainTextEdit* log_;
  QLabel* status_;
};
