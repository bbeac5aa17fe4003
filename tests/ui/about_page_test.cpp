// COrbAbout: the build texts, the logo at its own size and the link.
#include "ui/about_page.h"

#include <QtTest>

#include "ui/dialog_units.h"

class AboutPageTest : public QObject {
  Q_OBJECT

 private slots:
  void theLogoIsShownAtItsSize() {
    COrbAbout page;
    auto* logo = page.findChild<QLabel*>("logo");
    QVERIFY(logo != nullptr);
    QPixmap shown = logo->pixmap();
    QVERIFY(!shown.isNull());
    QCOMPARE(shown.size(), QSize(86, 80));  // ui/logo.png
    QCOMPARE(logo->size(), shown.size());
    QCOMPARE(logo->geometry().center(), dialog_rect(&page, 88, 23, 43, 40).center());
    QCOMPARE(shown.toImage().pixelColor(43, 40).alpha(), 255);  // the ball itself, not a blank
  }

  void theBuildTexts() {
    COrbAbout page;
    QCOMPARE(page.findChild<QLabel*>("1016")->text(), QString("Simple Orbilo Build 4"));
    QCOMPARE(page.findChild<QLabel*>("1015")->text(),
             QString("This version of Simple Orbilo uses SDK build 24."));
    QCOMPARE(page.Link()->Url(), QString(kMakerAddress));
  }
};

QTEST_MAIN(AboutPageTest)
#include "about_page_test.moc"
