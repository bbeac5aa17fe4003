// MessageBoxes: the real box shows its text as plain text, so that a
// server's message made of markup is read, not rendered.
#include "ui/message_boxes.h"

#include <QLabel>
#include <QTimer>
#include <QtTest>

class MessageBoxesTest : public QObject {
  Q_OBJECT

 private slots:
  void markupIsShownAsText() {
    const QString markup = "<b>Upgrade</b> <img src=\"file:///etc/passwd\"> <a href=\"x\">now</a>";
    Qt::TextFormat format = Qt::AutoText;
    QString caption, label_text;
    Qt::TextFormat label_format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      format = box->textFormat();
      caption = box->windowTitle();
      if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
        label_text = label->text();
        label_format = label->textFormat();
      }
      box->accept();
    });
    MessageBoxes::Current()->Show(nullptr, "<i>Orbilo</i>", markup, QMessageBox::Information);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(label_format, Qt::PlainText);
    QCOMPARE(label_text, markup);
    QCOMPARE(caption, QString("<i>Orbilo</i>"));
  }
};

QTEST_MAIN(MessageBoxesTest)
#include "message_boxes_test.moc"
