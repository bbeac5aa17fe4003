// A whole session in the window against the service's servers: Login, the
// bot running with the controls as they should be, a kick by the crowd,
// Apply, Return home, and Quit saving the settings.
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/session.h"
#include "sdk/sdk.h"
#include "server/testing/raw_link.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"
#include "ui/status_page.h"

namespace {

struct RecordedBoxes : MessageBoxes {
  void Show(QWidget*, const QString& caption, const QString& text, QMessageBox::Icon) override {
    shown.append(caption + "|" + text);
  }
  QStringList shown;
};

// The servers stepped on a thread of their own, and an orbilo.ini in a
// scratch directory that logs in to them with the given password.
class ServedWorld {
 public:
  ServedWorld(int crowd, const char* password)
      : test_([crowd](ServerConfig* config) { config->worlds[0].crowd = crowd; }) {
    serving_ = std::thread([this] {
      while (!stop_) server_step(test_.server, 5);
    });
    IniPath = (directory_.path() + "/orbilo.ini").toStdString();
    std::ofstream(IniPath) << "[Main]\nName=Ball\nCitizen=1\nPassword=" << password
                           << "\nWorld=demo\n[universe]\nhost=127.0.0.1\nport="
                           << test_.universe_port()
                           << "\n[version]\nhost=127.0.0.1\nport=" << test_.version_port() << "\n";
  }
  ~ServedWorld() {
    stop_ = true;
    serving_.join();
  }
  bool ok() const { return test_.create_error == 0; }

 private:
  server_testing::TestServer test_;
  QTemporaryDir directory_;
  std::atomic<bool> stop_{false};
  std::thread serving_;
};

}  // namespace

class WindowSessionTest : public QObject {
  Q_OBJECT

 private slots:
  void aWholeSession() {
    api_init(ORBILO_SDK_BUILD);  // first: it restarts the clock the servers share
    ServedWorld served(8, "demo");
    QVERIFY(served.ok());
    RecordedBoxes boxes;
    MessageBoxes::Replace(&boxes);
    {
      CBotTabs window;
      window.show();
      COrbLogin* login = window.Login();
      QVERIFY(login->Button(1006)->isEnabled());  // idle
      QVERIFY(!login->Button(1012)->isEnabled());
      QTest::mouseClick(login->Button(1006), Qt::LeftButton);
      // Logging in: everything is disabled until the world is entered.
      for (int id : {1000, 1001, 1002, 1003, 1004, 1005}) QVERIFY(!login->Edit(id)->isEnabled());
      QVERIFY(!login->Box(1009)->isEnabled());
      QVERIFY(!login->Button(1006)->isEnabled());
      QVERIFY(!login->Button(1012)->isEnabled());
      QTRY_COMPARE_WITH_TIMEOUT(window.Status()->StatusLine()->text(),
                                QString("Orbilo is now running."), 10000);
      QVERIFY(!login->Button(1006)->isEnabled());
      QVERIFY(!login->Edit(1000)->isEnabled());
      QVERIFY(!login->Edit(1001)->isEnabled());
      QVERIFY(!login->Edit(1002)->isEnabled());
      QVERIFY(login->Edit(1003)->isEnabled());
      QVERIFY(login->Button(1012)->isEnabled());
      QVERIFY(!window.ApplyButton()->isEnabled());

      // The crowd walks up and kicks: the ball leaves its home.
      QTRY_VERIFY_WITH_TIMEOUT(api_int(ATTR_MY_X) != 0 || api_int(ATTR_MY_Z) != 0, 30000);

      login->Edit(1004)->setText("1n 1e");
      QVERIFY(window.ApplyButton()->isEnabled());
      QTest::mouseClick(window.ApplyButton(), Qt::LeftButton);
      QTRY_COMPARE(window.Status()->StatusLine()->text(), QString("Change successful."));
      QVERIFY(!window.ApplyButton()->isEnabled());

      api_int_set(ATTR_MY_Z, 0);
      QTest::mouseClick(login->Button(1012), Qt::LeftButton);
      QCOMPARE(api_int(ATTR_MY_Z), 1000);

      login->Box(1010)->setChecked(true);
      QTest::mouseClick(window.QuitButton(), Qt::LeftButton);
    }
    MessageBoxes::Replace(nullptr);
    std::ifstream saved(IniPath);
    std::stringstream text;
    text << saved.rdbuf();
    QVERIFY(text.str().find("CenterCoords=1n 1e") != std::string::npos);
    QVERIFY(text.str().find("ReturnHome=1") != std::string::npos);
    QVERIFY(boxes.shown.isEmpty());
  }

  // A refused login enables the login controls again and says why.
  void aWrongPassword() {
    api_init(ORBILO_SDK_BUILD);
    ServedWorld served(0, "wrong");
    QVERIFY(served.ok());
    RecordedBoxes boxes;
    MessageBoxes::Replace(&boxes);
    {
      CBotTabs window;
      COrbLogin* login = window.Login();
      QTest::mouseClick(login->Button(1006), Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(login->Button(1006)->isEnabled(), 10000);
      QCOMPARE(window.Status()->StatusLine()->text(),
               QString("Unable to login (reason: invalid password)."));
      QVERIFY(login->Edit(1002)->isEnabled());
      QVERIFY(!login->Button(1012)->isEnabled());
      QCOMPARE(boxes.shown.size(), 1);
      QVERIFY(boxes.shown[0].startsWith("Simple Orbilo|Unable to login"));
    }
    MessageBoxes::Replace(nullptr);
  }
};

QTEST_MAIN(WindowSessionTest)
#include "window_session_test.moc"
