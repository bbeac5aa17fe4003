// CHyperLink: its colour in each state, ChangeStyle, focus on a click,
// FitToText, the launch command lines, the results of a launch and the texts
// of a failed one.
#include "ui/hyperlink.h"

#include <QLineEdit>
#include <QtTest>

#include "recorded_boxes.h"
#include "support/scratch_directory.h"
#include "ui/message_boxes.h"

namespace {

// A launcher whose start gives start_result (33: started).
Launcher fake(bool desktop, QString registered, int start_result, QString* started) {
  Launcher launcher;
  launcher.open_with_desktop = [desktop](const QString&) { return desktop; };
  launcher.registered_command = [registered] { return registered; };
  launcher.start = [start_result, started](const QString& command) {
    *started = command;
    return start_result;
  };
  return launcher;
}

void move_over(CHyperLink* link) {
  QPointF at(2, 2);
  QMouseEvent move(QEvent::MouseMove, at, link->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(link, &move);
}

// The pointer comes in at (at, at).
void enter(CHyperLink* link, qreal at) {
  QPointF point(at, at);
  QEnterEvent enter(point, point, point);
  QApplication::sendEvent(link, &enter);
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
    QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);  // counts at attachment only
    QVERIFY(link.ChangeStyle(CHyperLink::NoHandCursor, 0));
    QVERIFY(!link.ChangeStyle(1, 1));  // shared flag: nothing changes
    QCOMPARE(link.GetStyle(), 21);
    QVERIFY(link.ChangeStyle(0, CHyperLink::HoverColour));
    enter(&link, 1);
    QCOMPARE(link.LinkColour(), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    QCOMPARE(link.LinkColour(), QColor(0, 0, 255));

    QString started;
    link.SetLauncher(fake(true, "", 0, &started));
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

  void noHandCursorAtAttachment() {
    QWidget page;
    CHyperLink link(&page);
    link.setText("https://orbilo.example.org/");
    QVERIFY(link.ChangeStyle(0, CHyperLink::NoHandCursor));
    link.Attach();
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(link.ChangeStyle(CHyperLink::NoHandCursor, 0));
    QCOMPARE(link.cursor().shape(), Qt::ArrowCursor);
  }

  void aClickTakesTheFocusOnlyWithFocusOnClick() {
    QWidget page;
    QLineEdit other(&page);
    CHyperLink link(&page);
    link.setGeometry(0, 40, 200, 20);
    link.SetUrl("https://orbilo.example.org/");
    link.Attach();
    QString started;
    link.SetLauncher(fake(true, "", 0, &started));
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    other.setFocus();
    QVERIFY(link.ChangeStyle(CHyperLink::FocusOnClick, 0));
    QTest::mouseClick(&link, Qt::LeftButton);
    QVERIFY(other.hasFocus());
    QVERIFY(link.Visited());
    QVERIFY(link.ChangeStyle(0, CHyperLink::FocusOnClick));
    QTest::mouseClick(&link, Qt::LeftButton);
    QVERIFY(link.hasFocus());
    QCOMPARE(link.focusPolicy() & Qt::TabFocus, Qt::TabFocus);  // Tab still reaches it
  }

  // Losing the focus clears hover; with the pointer still on the link, its
  // next move sets it again.
  void hoverComesBackOnTheNextMove() {
    QWidget page;
    CHyperLink link(&page);
    link.SetUrl("https://orbilo.example.org/");
    link.Attach();
    QVERIFY(link.ChangeStyle(0, CHyperLink::HoverColour));
    enter(&link, 2);
    QCOMPARE(link.LinkColour(), QColor(255, 0, 0));
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&link, &out);
    QVERIFY(!link.Hover());
    move_over(&link);
    QVERIFY(link.Hover());
    QCOMPARE(link.LinkColour(), QColor(255, 0, 0));
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
    QCOMPARE(Launch(fake(false, "viewer %f", 33, &started), "U") > 32, true);
    QCOMPARE(started, QString("viewer  U"));
    QCOMPARE(Launch(fake(false, "", 33, &started), "U"), 2);          // nothing registered
    QCOMPARE(Launch(fake(false, "viewer %f", 5, &started), "U"), 5);  // the start's own failure
  }

  // The system's start says why a registered browser will not start.
  void theStartsOwnFailure() {
    Launcher system = system_launcher();
    QCOMPARE(system.start("orbilo-no-such-browser U"), 2);
    QCOMPARE(system.start("/orbilo-no-such-folder/browser U"), 3);
    orbilo::ScratchDirectory directory;
    directory.write("browser", "");
    QCOMPARE(system.start(QString::fromStdString(directory.path("missing") + " U")), 2);
    QCOMPARE(system.start(QString::fromStdString(directory.path("browser") + " U")),
             5);  // not executable
    QVERIFY(system.start("true U") > 32);
  }

  void aBrowserThatWillNotStartSaysWhy() {
    RecordedBoxes boxes;
    MessageBoxes::Replace(&boxes);
    CHyperLink link;
    link.SetUrl("https://orbilo.example.org/");
    Launcher launcher = system_launcher();
    launcher.open_with_desktop = [](const QString&) { return false; };
    launcher.registered_command = [] { return QString("orbilo-no-such-browser %u"); };
    link.SetLauncher(launcher);
    link.Open();
    MessageBoxes::Replace(nullptr);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY2(boxes.shown[0].endsWith("|Can't open link:\n\nThe specified file was not found."),
             qPrintable(boxes.shown[0]));
    QVERIFY(!link.Visited());
  }

  void aFailedOpenSaysWhy() {
    RecordedBoxes boxes;
    MessageBoxes::Replace(&boxes);
    CHyperLink link;
    QString started;
    link.SetUrl("https://orbilo.example.org/");
    link.SetLauncher(fake(false, "", 0, &started));
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
