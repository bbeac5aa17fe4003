// Dialog units: positions given in quarters of the font's average character
// width and eighths of its height, turned into pixels the way the old dialog
// platform did, so that the pages keep their proportions in any font.
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

inline QRect dialog_rect(const QWidget* page, int x, int y, int width, int height) {
  QFontMetrics metrics(page->font());
  int cx = metrics.averageCharWidth();
  int cy = metrics.height();
  return QRect(x * cx / 4, y * cy / 8, width * cx / 4, height * cy / 8);
}

inline void place(QWidget* widget, int x, int y, int width, int height) {
  widget->setGeometry(dialog_rect(widget->parentWidget(), x, y, width, height));
}
