// CHyperLink: its colour in each state, ChangeStyle, FitToText, the launch
// command lines and the texts of a failed launch.
#include "ui/hyperlink.h"

#include <QtTest>

#include "ui/message_boxes.h"

namespace {

struct RecordedBoxes : MessageBoxes {
  void Show(QWidget*, const QString& caption, const QString& text, QMessageBox::Icon) override {
    shown.append(caption + "|" + text);
  }
  QStringList shown;
};

Launcher fake(bool desktop, QString registered, bool starts, QString* started) {
  Launcher launcher;
  launcher.open_with_desktop = [desktop](const QString&) { return desktop; };
  launcher.registered_command = [registered] { return registered; };
  launcher.start = [starts, started](const QString& command) {
    *started = command;
    return starts;
  };
  return launcher;
}

}  // namespace

class HyperlinkTest : public QObject {
  Q_OBJECT

 private slots:
  void coloursFollowTheStates() {
    QWidget page;
    CHyperLink link(&page);
    link.SetUrl("https://orbilo.example.org/");
    link.Attach();
    QCOMPARE(link.text(), QString("https://orbilo.example.org/"));
    QCOMPARE(link.LinkColour(), QColor(0, 0, 255));
    QVERIFY(link.font().underline());
    QCOMPARE(link.GetStyle(), 21);
    QCOMPARE(link.toolTip(), QString("https://orbilo.example.org/"));
    QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(link.ChangeStyle(0, CHyperLink::NoHandCursor));
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(link.ChangeStyle(CHyperLink::NoHandCursor, 0));
    QVERIFY(!link.ChangeStyle(1, 1));  // shared flag: nothing changes
    QCOMPARE(link.GetStyle(), 21);
    QVERIFY(link.ChangeStyle(0, CHyperLink::HoverColour));
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&link, &enter);
    QCOMPARE(link.LinkColour(), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    QCOMPARE(link.LinkColour(), QColor(0, 0, 255));

    QString started;
    link.SetLauncher(fake(true, "", false, &started));
    page.show();
    QTest::mouseClick(&link, Qt::LeftButton);
    QCOMPARE(link.LinkColour(), QColor(0, 128, 128));  // active: it has the focus
    QVERIFY(link.Visited());
    link.clearFocus();
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&link, &out);
    QCOMPARE(link.LinkColour(), QColor(128, 0, 128));
    QVERIFY(link.ChangeStyle(CHyperLink::Underline, 0));
    QVERIFY(!link.font().underline());
  }

  void fitToTextKeepsTheLeftEdge() {
    QWidget page;
    CHyperLink link(&page);
    link.setGeometry(10, 10, 500, 40);
    link.setText("short");
    link.FitToText();
    QCOMPARE(link.geometry().left(), 10);
    QVERIFY(link.width() < 500);
    QCOMPARE(link.height(), QFontMetrics(link.font()).height() + 2 * link.frameWidth());
  }

  void launchCommandLines() {
    QCOMPARE(launch_command("viewer \"%u\"", "U"), QString("viewer  U"));
    QCOMPARE(launch_command("viewer %U --new", "U"), QString("viewer  U"));
    QCOMPARE(launch_command("viewer", "U"), QString("viewer U"));
    QString started;
    QCOMPARE(Launch(fake(false, "viewer %f", true, &started), "U") > 32, true);
    QCOMPARE(started, QString("viewer  U"));
    QCOMPARE(Launch(fake(false, "", true, &started), "U"), 2);  // nothing registered
  }

  void aFailedOpenSaysWhy() {
    RecordedBoxes boxes;
    MessageBoxes::Replace(&boxes);
    CHyperLink link;
    QString started;
    link.SetUrl("https://orbilo.example.org/");
    link.SetLauncher(fake(false, "", false, &started));
    link.Open();
    MessageBoxes::Replace(nullptr);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(boxes.shown[0].endsWith("|Can't open link:\n\nThe specified file was not found."));
    QVERIFY(!link.Visited());
    QCOMPARE(CHyperLink::LaunchErrorText(4),
             QString("Can't open link:\n\nUnknown Error (4) occurred."));
    QCOMPARE(CHyperLink::LaunchErrorText(26),
             QString("Can't open link:\n\nA sharing violation occurred. "));
  }
};

QTEST_MAIN(HyperlinkTest)
#include "hyperlink_test.moc"
