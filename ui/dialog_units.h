// Dialog units: positions given in quarters of the font's average character
// width and eighths of its height, turned into pixels the way the old dialog
// platform did, so that the pages keep their proportions in any font.
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

// The pages are laid out for an 8-point font, as their dialog units assume.
inline void use_page_font(QWidget* page) {
  QFont font = page->font();
  font.setPointSize(8);
  page->setFont(font);
}

inline QRect dialog_rect(const QWidget* page, int x, int y, int width, int height) {
  QFontMetrics metrics(page->font());
  // The average width of the alphabet, rounded as the dialog platform rounds
  // it: text laid out in these units then fits its place.
  int alphabet = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  int cx = (alphabet / 26 + 1) / 2;
  int cy = metrics.height();
  return QRect(x * cx / 4, y * cy / 8, width * cx / 4, height * cy / 8);
}

inline void place(QWidget* widget, int x, int y, int width, int height) {
  widget->setGeometry(dialog_rect(widget->parentWidget(), x, y, width, height));
}
