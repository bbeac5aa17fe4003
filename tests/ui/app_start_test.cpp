// COrbApp's start-up: when the library will not start, its box and no
// window; --login pressing Login once the window runs; --help, answered
// without a window, and an option it does not know.
#include "ui/app_start.h"

#include <QtTest>

#include "app/session.h"
#include "sdk/sdk.h"
#include "support/child_process.h"
#include "support/scratch_directory.h"
#include "ui/bot_tabs.h"
#include "ui/message_boxes.h"

namespace {

struct RecordedBoxes : MessageBoxes {
  void Show(QWidget* owner, const QString& caption, const QString& text,
            QMessageBox::Icon icon) override {
    shown.append(caption + "|" + text);
    owned = owner != nullptr;
    error = icon == QMessageBox::Critical;
  }
  QStringList shown;
  bool owned = true;
  bool error = false;
};

}  // namespace

class AppStartTest : public QObject {
  Q_OBJECT

 private slots:
  void aLibraryThatWillNotStart() {
    RecordedBoxes boxes;
    MessageBoxes::Replace(&boxes);
    QCOMPARE(orbilo_run(23), 1);  // a build the library refuses
    MessageBoxes::Replace(nullptr);
    QCOMPARE(boxes.shown, QStringList{"Simple Orbilo|Unable to initialize API \n"});
    QVERIFY(!boxes.owned);
    QVERIFY(boxes.error);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
  }

  // With no world set, a pressed Login shows "You must input a world.".
  void loginPressesLoginAtStart() {
    for (bool login : {false, true}) {
      orbilo::ScratchDirectory scratch;
      IniPath = scratch.path("orbilo.ini");
      RecordedBoxes boxes;
      MessageBoxes::Replace(&boxes);
      // The window closes two turns of its loop after it started: after the
      // press that --login asks for.
      QTimer::singleShot(0, [] {
        QTimer::singleShot(0, [] {
          for (QWidget* each : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<CBotTabs*>(each)) window->close();
          }
        });
      });
      QCOMPARE(orbilo_run(ORBILO_SDK_BUILD, {.login = login}), 0);
      MessageBoxes::Replace(nullptr);
      QCOMPARE(boxes.shown, login ? QStringList{"Orbilo|You must input a world."} : QStringList());
    }
  }

  void helpAndWrongOptions() {
    orbilo::ChildProcess help({orbilo::program_beside("orbilo"), "--help"});
    QCOMPARE(help.finish(), 0);
    for (const char* item : {kWindowUsage, "--login", "--help", "-platform"}) {
      QVERIFY2(help.out().find(item) != std::string::npos, item);
    }
    orbilo::ChildProcess wrong({orbilo::program_beside("orbilo"), "--login", "--bogus"});
    QCOMPARE(wrong.finish(), 2);
    QVERIFY(wrong.err().find(kWindowUsage) != std::string::npos);
    QCOMPARE(wrong.out(), std::string());
  }
};

QTEST_MAIN(AppStartTest)
#include "app_start_test.moc"
