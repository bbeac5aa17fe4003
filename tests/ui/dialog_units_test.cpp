// Dialog units: each edge is converted with rounding and the size is the
// difference of the edges, so that places that meet in dialog units meet in
// pixels.
#include "ui/dialog_units.h"

#include <QtTest>

class DialogUnitsTest : public QObject {
  Q_OBJECT

 private slots:
  void edgesAreRounded() {
    // Base units 7 x 15: a quarter character is 1.75 pixels, an eighth of a
    // line 1.875.
    QCOMPARE(dialog_units_to_pixels(7, 15, 1, 1, 1, 1), QRect(2, 2, 2, 2));  // 1.75 to 3.5
    QCOMPARE(dialog_units_to_pixels(7, 15, 0, 0, 4, 8), QRect(0, 0, 7, 15));
    // The logo's place on the about page: left 154, right 229.25; top 43.125,
    // bottom 118.125.
    QCOMPARE(dialog_units_to_pixels(7, 15, 88, 23, 43, 40), QRect(154, 43, 75, 75));
    QCOMPARE(dialog_units_to_pixels(7, 15, 7, 90, 50, 14), QRect(12, 169, 88, 26));
  }

  void placesThatMeetStillMeet() {
    for (int cx : {5, 6, 7, 9}) {
      for (int cy : {11, 13, 15}) {
        for (int x = 0; x < 40; ++x) {
          QRect first = dialog_units_to_pixels(cx, cy, x, x, 3, 5);
          QRect second = dialog_units_to_pixels(cx, cy, x + 3, x + 5, 2, 2);
          QCOMPARE(first.left() + first.width(), second.left());
          QCOMPARE(first.top() + first.height(), second.top());
        }
      }
    }
  }

  void aPageUsesItsFont() {
    QWidget page;
    use_page_font(&page);
    QRect unit = dialog_rect(&page, 0, 0, 4, 8);
    QCOMPARE(unit.height(), QFontMetrics(page.font()).height());
    QCOMPARE(dialog_rect(&page, 8, 16, 4, 8), QRect(2 * unit.width(), 2 * unit.height(),
                                                    unit.width(), unit.height()));
  }
};

QTEST_MAIN(DialogUnitsTest)
#include "dialog_units_test.moc"
