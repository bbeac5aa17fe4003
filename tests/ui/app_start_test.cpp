// COrbApp's start-up when the library will not start: its box, and no window.
#include "ui/app_start.h"

#include <QtTest>

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
};

QTEST_MAIN(AppStartTest)
#include "app_start_test.moc"
