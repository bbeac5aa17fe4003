// A whole session in the window against the service's servers: Login, the
// bot running with the controls as they should be, a kick by the crowd,
// Apply, Return home, and Quit saving the settings.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QtTest>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/session.h"
#include "recorded_boxes.h"
#include "sdk/sdk.h"
#include "served_world.h"
#include "support/scratch_directory.h"
#include "support/test_server.h"
#include "ui/bot_tabs.h"
#include "ui/login_page.h"
#include "ui/message_boxes.h"
#include "ui/status_page.h"

using namespace orbilo;

namespace {

// A version server that reads the query and answers "+" only after
// delay_ms, on a thread of its own; answered() tells whether it has yet.
class SlowVersionServer {
 public:
  explicit SlowVersionServer(int delay_ms) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, delay_ms] {
      pollfd entry{listener_, POLLIN, 0};
      if (poll(&entry, 1, 10000) != 1) return;
      int peer = accept(listener_, nullptr, nullptr);
      char query[9];
      for (std::size_t got = 0; got < sizeof query;) {
        ssize_t n = recv(peer, query + got, sizeof query - got, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
      answered_ = true;
      send(peer, "00001+", 6, MSG_NOSIGNAL);
      close(peer);
    });
  }
  ~SlowVersionServer() {
    thread_.join();
    close(listener_);
  }
  int port() const { return port_; }
  bool answered() const { return answered_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> answered_{false};
  std::thread thread_;
};

// Records the texts a label was painted with, and whether the version
// server had answered by then.
struct PaintLog : QObject {
  PaintLog(QLabel* label, const SlowVersionServer* server) : label_(label), server_(server) {
    label->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == label_ && event->type() == QEvent::Paint && !server_->answered()) {
      painted_before_answer.append(label_->text());
    }
    return false;
  }
  QStringList painted_before_answer;

 private:
  QLabel* label_;
  const SlowVersionServer* server_;
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

  // While the version server takes 2 s to answer, the window paints: the
  // status line shows the query before the answer. Timers run but the pump
  // does not, and a close asked for meanwhile waits for the query's end.
  void theWindowPaintsWhileTheVersionServerThinks() {
    api_init(ORBILO_SDK_BUILD);
    SlowVersionServer version(2000);
    ServedWorld served(0, "demo", version.port());
    QVERIFY(served.ok());
    RecordedBoxes boxes;
    MessageBoxes::Replace(&boxes);
    {
      CBotTabs window;
      window.Tabs()->setCurrentIndex(1);  // the status line in sight
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      PaintLog painted(window.Status()->StatusLine(), &version);
      // The first events served are inside the query: a close asked for
      // there must wait.
      bool asked_in_query = false, closed_early = false;
      QTimer::singleShot(0, &window, [&] {
        asked_in_query = !version.answered();
        window.close();
        closed_early = !window.isVisible();
      });
      window.Login()->Button(1006)->click();  // returns once the bot has logged in
      QVERIFY(version.answered());
      QVERIFY2(painted.painted_before_answer.contains("Connecting to version server..."),
               qPrintable(painted.painted_before_answer.join("; ")));
      QVERIFY(asked_in_query);
      QVERIFY(!closed_early);
      QVERIFY(window.Status()->Log()->toPlainText().contains(
          "Orbilo has verified your Orbilo version is up to date."));
      QTRY_VERIFY(!window.isVisible());  // the close comes after the query
    }
    MessageBoxes::Replace(nullptr);
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
