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

// value * numerator / denominator, rounded to the nearest whole number (a
// half away from zero), as the dialog platform's MulDiv rounds.
inline int scale_rounded(int value, int numerator, int denominator) {
  long long product = static_cast<long long>(value) * numerator;
  long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

// A rectangle in dialog units turned into pixels for the base units cx (the
// average character width) and cy (the character height): each edge is
// converted with rounding, and the size is the difference of its edges, so
// that places that meet in dialog units meet in pixels.
inline QRect dialog_units_to_pixels(int cx, int cy, int x, int y, int width, int height) {
  int left = scale_rounded(x, cx, 4), right = scale_rounded(x + width, cx, 4);
  int top = scale_rounded(y, cy, 8), bottom = scale_rounded(y + height, cy, 8);
  return QRect(left, top, right - left, bottom - top);
}

inline QRect dialog_rect(const QWidget* page, int x, int y, int width, int height) {
  QFontMetrics metrics(page->font());
  // The average width of the alphabet, rounded as the dialog platform rounds
  // it: text laid out in these units then fits its place.
  int alphabet = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  int cx = (alphabet / 26 + 1) / 2;
  int cy = metrics.height();
  return dialog_units_to_pixels(cx, cy, x, y, width, height);
}

inline void place(QWidget* widget, int x, int y, int width, int height) {
  widget->setGeometry(dialog_rect(widget->parentWidget(), x, y, width, height));
}
