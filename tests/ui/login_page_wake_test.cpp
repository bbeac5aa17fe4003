// The login page's pump wakes on the library's descriptor: with the pump
// timer held back, the servers' answers are still handled, through the
// descriptor alone, and the descriptor rests while the version query serves
// painting.
#include <QtTest>
#include <fstream>

#include "app/session.h"
#include "sdk/sdk.h"
#include "support/scratch_directory.h"
#include "support/test_server.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"
#include "ui/status_page.h"

using namespace orbilo;

namespace {

constexpr int kHeldBackMs = 24 * 60 * 60 * 1000;  // a pump timer that never ticks here

struct RecordedBoxes : MessageBoxes {
  void Show(QWidget*, const QString& caption, const QString& text, QMessageBox::Icon) override {
    shown.append(caption + "|" + text);
  }
  QStringList shown;
};

// The servers stepped on a thread of their own, and an orbilo.ini that logs
// in to them.
class ServedWorld {
 public:
  ServedWorld() {
    IniPath = scratch_.path("orbilo.ini");
    std::ofstream(IniPath) << "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n"
                           << "[universe]\nhost=127.0.0.1\nport=" << test_.universe_port()
                           << "\n[version]\nhost=127.0.0.1\nport=" << test_.version_port() << "\n";
  }
  bool ok() const { return test_.create_error == 0; }

 private:
  server_testing::TestServer test_;
  server_testing::Serving serving_{test_};
  ScratchDirectory scratch_;
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
    ServedWorld served;
    QVERIFY(served.ok());
    CBotTabs window;
    COrbLogin* login = window.Login();
    login->PumpTimer().setInterval(kHeldBackMs);
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
    ServedWorld served;
    QVERIFY(served.ok());
    CBotTabs window;
    COrbLogin* login = window.Login();
    login->PumpTimer().setInterval(kHeldBackMs);
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
