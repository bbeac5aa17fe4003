// COrbMap: north up and west to the left, zoom about the pointer, panning,
// the double-click back to the ball, the tooltip, redraws at most every
// 33 ms, kicks redrawn while they fade, and a world at its extremes painted
// without trouble.
#include "ui/map_page.h"

#include <QtTest>
#include <climits>

namespace {

// The page at its size in the window, shown, with a clock the test moves.
struct Page {
  explicit Page(const WorldMap* map) : page(map) {
    page.resize(330, 180);
    page.SetClock([this] { return now; });
    page.show();
  }
  void send(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, at, page.mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(&page, &event);
  }
  WorldMap::Clock::time_point now = WorldMap::Clock::time_point() + std::chrono::hours(1);
  COrbMap page;
};

const QColor kBall(232, 112, 26);

}  // namespace

class MapPageTest : public QObject {
  Q_OBJECT

 private slots:
  void northUpWestLeftAndTheBallInTheMiddle() {
    WorldMap map;
    map.SetBall({1000, 2000}, 0);
    map.AvatarSeen(3, {"Ada", {1000, 2500}, 0, 900});  // north of the ball
    map.AvatarSeen(4, {"Nils", {1500, 2000}, 0, 0});   // west of it
    Page at(&map);
    QImage shown = at.page.grab().toImage();
    QCOMPARE(shown.pixelColor(165, 90), kBall);
    QPointF ada = at.page.ToPixel(1000, 2500), nils = at.page.ToPixel(1500, 2000);
    QVERIFY(ada.y() < 90 && qFuzzyCompare(ada.x(), 165.0));
    QVERIFY(nils.x() < 165 && qFuzzyCompare(nils.y(), 90.0));
    QCOMPARE(at.page.ToWorld(ada), QPointF(1000, 2500));
    QCOMPARE(at.page.TextAt(ada.toPoint() + QPoint(3, 3)), QString("Ada: 2.5n 1w 90"));
    QCOMPARE(at.page.TextAt(QPoint(10, 10)), QString());
  }

  void zoomPanAndBackToTheBall() {
    WorldMap map;
    map.SetBall({0, 0}, 0);
    Page at(&map);
    const QPointF pointer(40, 30), under = at.page.ToWorld(pointer);
    QWheelEvent wheel(pointer, at.page.mapToGlobal(pointer), {}, {0, 480}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&at.page, &wheel);
    QCOMPARE(at.page.Scale(), COrbMap::kFirstScale * 2);
    QVERIFY(!at.page.Following());
    QPointF still = at.page.ToWorld(pointer);
    QVERIFY(std::abs(still.x() - under.x()) < 1e-6 && std::abs(still.y() - under.y()) < 1e-6);
    for (double scale : {1e-30, 1e30}) {
      at.page.SetView({0, 0}, scale);
      QVERIFY(at.page.Scale() >= COrbMap::kFarthest && at.page.Scale() <= COrbMap::kClosest);
    }
    at.page.SetView({0, 0}, 0.1);
    at.send(QEvent::MouseButtonPress, {100, 100});
    at.send(QEvent::MouseMove, {110, 80});  // the world moves with the pointer
    at.send(QEvent::MouseButtonRelease, {110, 80});
    QCOMPARE(at.page.Centre(), QPointF(100, -200));  // 100 units west, 200 south of the ball
    map.SetBall({5000, 7000}, 0);
    at.send(QEvent::MouseButtonDblClick, {5, 5});
    QCOMPARE(at.page.Centre(), QPointF(5000, 7000));
    QVERIFY(at.page.Following());
  }

  // Changes start a timer for what is left of 33 ms since the last paint;
  // more changes meanwhile ask for nothing more, and one paint follows.
  void redrawsAtMostEvery33Ms() {
    WorldMap map;
    Page at(&map);
    QVERIFY(QTest::qWaitForWindowExposed(&at.page));  // repaint() paints from here on
    at.page.repaint();
    const int paints = at.page.Paints();
    at.now += std::chrono::milliseconds(10);
    for (int change = 0; change < 1000; ++change) at.page.MapChanged();
    QVERIFY(at.page.RedrawTimer().isActive());
    QCOMPARE(at.page.RedrawTimer().interval(), COrbMap::kFrameMs - 10);
    QCOMPARE(at.page.Paints(), paints);  // a change never paints by itself
    QTRY_COMPARE(at.page.Paints(), paints + 1);
    QVERIFY(!at.page.RedrawTimer().isActive());
    // A kick keeps the page redrawing by itself until it has faded.
    map.Kick({0, 0}, {0, 650}, at.now);
    at.page.repaint();
    int fading = at.page.Paints();
    QTRY_VERIFY(at.page.Paints() > fading + 1);
    at.now += WorldMap::kKickFade;
    fading = at.page.Paints();
    QTRY_VERIFY(at.page.Paints() > fading);
    QVERIFY(!at.page.RedrawTimer().isActive());
  }

  // Avatars and kicks at the ends of the coordinate range, long names and a
  // crowd of thousands, seen from the nearest and the farthest.
  void aWorldAtItsExtremes() {
    WorldMap map;
    map.SetBall({INT_MAX, INT_MIN}, 0);
    map.SetHome({INT_MIN, INT_MAX});
    for (int k = 0; k < 5000; ++k) {
      int x = k % 2 ? INT_MAX - k : INT_MIN + k, z = k % 3 ? INT_MIN + k : INT_MAX - k;
      map.AvatarSeen(k, {std::string(255, static_cast<char>('a' + k % 26)), {x, z}, 0, k});
    }
    Page at(&map);
    map.Kick({INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, at.now);
    map.Kick({INT_MAX, INT_MIN}, {INT_MIN, INT_MAX}, at.now);
    for (QPointF centre : {QPointF(0, 0), QPointF(INT_MAX, INT_MIN), QPointF(1e12, -1e12)}) {
      for (double scale : {COrbMap::kFarthest, COrbMap::kClosest}) {
        at.page.SetView(centre, scale);
        QVERIFY(!at.page.grab().isNull());
      }
    }
    QCOMPARE(at.page.Centre(), QPointF(INT_MAX, INT_MIN));  // kept in the world
    at.page.SetView({INT_MIN + 4, INT_MIN + 4}, COrbMap::kClosest);
    QCOMPARE(at.page.TextAt({165, 90}), QString(255, 'e') + ": 2147483.6445s 2147483.6445e 0.4");
  }
};

QTEST_MAIN(MapPageTest)
#include "map_page_test.moc"
