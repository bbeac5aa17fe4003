// CBotTabs and its pages: the tabs, the button row and Apply, the login
// page's controls and limits, Enter as Space, and the log's colours.
#include "ui/bot_tabs.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

#include "app/session.h"
#include "recorded_boxes.h"
#include "sdk/sdk.h"
#include "support/scratch_directory.h"
#include "ui/login_page.h"
#include "ui/map_page.h"
#include "ui/message_boxes.h"
#include "ui/status_page.h"

class BotTabsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QVERIFY(start_with_boxes(scratch_, &boxes_)); }
  void cleanup() { MessageBoxes::Replace(nullptr); }

  void pagesAndButtons() {
    CBotTabs window;
    QCOMPARE(window.windowTitle(), QString("Simple Orbilo"));
    QCOMPARE(window.Tabs()->count(), 4);
    QCOMPARE(window.Tabs()->tabText(0), QString("Login"));
    QCOMPARE(window.Tabs()->tabText(1), QString("Status"));
    QCOMPARE(window.Tabs()->tabText(2), QString("Map"));
    QCOMPARE(window.Tabs()->tabText(3), QString("About"));
    window.Login()->MapChanged();  // the session's map reaches the Map page
    QVERIFY(window.Map()->RedrawTimer().isActive());
    QCOMPARE(window.Tabs()->currentIndex(), 0);
    QCOMPARE(window.QuitButton()->text(), QString("Quit"));
    QVERIFY(!window.ApplyButton()->isEnabled());
    QVERIFY(!window.Login()->Button(1012)->isEnabled());  // Return home waits for a run
    // Defaults of a missing settings file.
    QCOMPARE(window.Login()->Edit(1000)->text(), QString("Simple Orbilo"));
    QCOMPARE(window.Login()->Edit(1004)->text(), QString("0n 0e"));
    QCOMPARE(window.Login()->Edit(1002)->echoMode(), QLineEdit::Password);
    // Editing while not running leaves Apply off.
    window.Login()->Edit(1004)->setText("1n");
    QVERIFY(!window.ApplyButton()->isEnabled());
    Running = 1;
    window.Login()->Edit(1004)->setText("2n");
    QVERIFY(window.ApplyButton()->isEnabled());
    Running = 0;
  }

  void entryLimitsAndTheExchange() {
    CBotTabs window;
    COrbLogin* login = window.Login();
    QLineEdit* name = login->Edit(1000);
    name->clear();
    QTest::keyClicks(name, QString(20, 'n'));
    QCOMPARE(name->text().size(), 16);
    QLineEdit* citizen = login->Edit(1001);
    citizen->clear();
    QTest::keyClicks(citizen, "12ab3");
    QCOMPARE(citizen->text(), QString("123"));
    // An empty Avatar box when the window closes: the message, then the file
    // keeps the earlier value.
    login->Edit(1005)->clear();
    window.close();
    QVERIFY(boxes_.shown.contains("bot_tabs_test|Please enter an integer."));
  }

  void enterActsAsSpace() {
    CBotTabs window;
    window.show();
    QCheckBox* box = window.Login()->Box(1010);
    box->setFocus();
    QVERIFY(!box->isChecked());
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(box->isChecked());
  }

  // Holding Enter repeats its key: the Space made of it repeats too, and a
  // held key presses once.
  void aHeldEnterActsOnce() {
    CBotTabs window;
    window.show();
    QCheckBox* box = window.Login()->Box(1010);
    box->setFocus();
    bool was_checked = box->isChecked();
    QSignalSpy clicks(box, &QCheckBox::clicked);
    auto send = [box](QEvent::Type type, bool repeat) {
      QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, "\r", repeat);
      QApplication::sendEvent(box, &key);
    };
    send(QEvent::KeyPress, false);
    for (int repeat = 0; repeat < 3; ++repeat) {
      send(QEvent::KeyRelease, true);
      send(QEvent::KeyPress, true);
    }
    send(QEvent::KeyRelease, false);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(box->isChecked(), !was_checked);
  }

  void logColoursAndScrolling() {
    CBotTabs window;
    COrbStatus* status = window.Status();
    for (int line = 0; line < 200; ++line) {
      status->AppendLog(QString("line %1").arg(line), kBlue, false, false, false, true);
    }
    status->AppendLog("green", kGreen, false, false, false, true);
    QTextBlock blue = status->Log()->document()->findBlockByNumber(0);
    QCOMPARE(blue.begin().fragment().charFormat().foreground().color(), QColor(0, 0, 255));
    QTextBlock green = status->Log()->document()->findBlockByNumber(200);
    QCOMPARE(green.text(), QString("green"));
    QCOMPARE(green.begin().fragment().charFormat().foreground().color(), QColor(31, 143, 31));
    QScrollBar* bar = status->Log()->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    status->SetStatus("one");
    status->SetStatus("two");
    QCOMPARE(status->StatusLine()->text(), QString("two"));
  }

  // A version server's message made of markup reaches the status line and
  // the log as the text it is.
  void markupIsShownAsText() {
    CBotTabs window;
    COrbStatus* status = window.Status();
    const QString markup = "<b>Upgrade</b> <img src=\"logo.png\">";
    status->SetStatus(markup);
    QCOMPARE(status->StatusLine()->textFormat(), Qt::PlainText);
    QCOMPARE(status->StatusLine()->text(), markup);
    status->AppendLog(markup, kBlue, false, false, false, true);
    QCOMPARE(status->Log()->document()->firstBlock().text(), markup);
  }

 private:
  orbilo::ScratchDirectory scratch_;
  RecordedBoxes boxes_;
};

QTEST_MAIN(BotTabsTest)
#include "bot_tabs_test.moc"
