// The login page's pump wakes on the library's descriptor: with the pump
// timer held back, the servers' answers are still handled, through the
// descriptor alone, and the descriptor rests while the version query serves
// painting.
#include <QtTest>

#include "app/session.h"
#include "recorded_boxes.h"
#include "sdk/sdk.h"
#include "served_world.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"
#include "ui/status_page.h"

using namespace orbilo;

namespace {

constexpr int kHeldBackMs = 24 * 60 * 60 * 1000;  // a pump timer that never ticks here

// The served world and a window on it whose pump timer is held back.
struct HeldBackWindow {
  HeldBackWindow() { login->PumpTimer().setInterval(kHeldBackMs); }
  ServedWorld served;
  CBotTabs window;
  COrbLogin* login = window.Login();
};

}  // namespace

class LoginPageWakeTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    api_init(ORBILO_SDK_BUILD);  // first: it restarts the clock the servers share
    MessageBoxes::Replace(&boxes_);
  }
  void cleanup() { MessageBoxes::Replace(nullptr); }

  void theDescriptorAloneRunsTheSession() {
    HeldBackWindow held;
    QVERIFY(held.served.ok());
    CBotTabs& window = held.window;
    COrbLogin* login = held.login;
    QVERIFY(login->WatchingDescriptor());
    bool watching_in_query = true;
    QTimer::singleShot(0, login, [&] { watching_in_query = login->WatchingDescriptor(); });
    login->Button(1006)->click();  // returns once the version server has answered
    QVERIFY(!watching_in_query);
    QVERIFY(login->WatchingDescriptor());
    QTRY_COMPARE_WITH_TIMEOUT(window.Status()->StatusLine()->text(),
                              QString("Orbilo is now running."), 10000);
    QVERIFY(boxes_.shown.isEmpty());
  }

  // The same page without the descriptor: nothing moves until the timer.
  void withoutTheDescriptorTheTimerIsAwaited() {
    HeldBackWindow held;
    QVERIFY(held.served.ok());
    CBotTabs& window = held.window;
    COrbLogin* login = held.login;
    login->SetDescriptorWake(false);
    QVERIFY(!login->WatchingDescriptor());
    login->Button(1006)->click();
    QTest::qWait(300);
    QCOMPARE(window.Status()->StatusLine()->text(), QString("Attempting to login..."));
    login->PumpTimer().setInterval(kPumpIntervalMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.Status()->StatusLine()->text(),
                              QString("Orbilo is now running."), 10000);
  }

 private:
  RecordedBoxes boxes_;
};

QTEST_MAIN(LoginPageWakeTest)
#include "login_page_wake_test.moc"
