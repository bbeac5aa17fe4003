// COrbLogin: text crosses between the window and the core one byte a
// character, so high bytes in the settings file come back unchanged and an
// entry limit of N characters is one of N bytes.
#include "ui/login_page.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "app/session.h"
#include "recorded_boxes.h"
#include "sdk/sdk.h"
#include "support/scratch_directory.h"
#include "ui/bot_tabs.h"
#include "ui/message_boxes.h"
#include "ui/status_page.h"

namespace {

// Types text into widget a key at a time (QTest::keyClicks takes ASCII only).
void type(QWidget* widget, const QString& text) {
  for (QChar letter : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(letter));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(letter));
    QApplication::sendEvent(widget, &release);
  }
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

class LoginPageTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QVERIFY(start_with_boxes(scratch_, &boxes_)); }
  void cleanup() { MessageBoxes::Replace(nullptr); }

  void highBytesSurviveARun() {
    std::ofstream(IniPath, std::ios::binary)
        << "[Main]\nCitizen=1\nAvatar=0\nPassword=p\xE4ss\xFF\nCenterCoords=0n 0e\n"
           "World=w\xF6rld\nName=Zo\xEB\nDisableBotKicking=0\nReturnHome=0\n";
    {
      CBotTabs window;
      COrbLogin* login = window.Login();
      QCOMPARE(login->Edit(1000)->text(), QString::fromUtf8("Zo\u00EB"));
      QCOMPARE(login->Edit(1002)->text(), QString::fromUtf8("p\u00E4ss\u00FF"));
      QCOMPARE(login->Edit(1003)->text(), QString::fromUtf8("w\u00F6rld"));
      window.close();
    }
    QVERIFY(boxes_.shown.isEmpty());
    std::string saved = read_file(IniPath);
    QVERIFY(saved.find("\nName=Zo\xEB\n") != std::string::npos);
    QVERIFY(saved.find("\nPassword=p\xE4ss\xFF\n") != std::string::npos);
    QVERIFY(saved.find("\nWorld=w\xF6rld\n") != std::string::npos);
    QVERIFY(saved.find("\xEF\xBF\xBD") == std::string::npos);  // no replacement character
  }

  void sixteenAccentedLettersAreAName() {
    {
      CBotTabs window;
      QLineEdit* name = window.Login()->Edit(1000);
      name->clear();
      type(name, QString(17, QChar(0xE9)));
      QCOMPARE(name->text(), QString(16, QChar(0xE9)));  // the 17th is refused
      window.close();
    }
    QVERIFY2(boxes_.shown.isEmpty(), qPrintable(boxes_.shown.join("; ")));
    QVERIFY(read_file(IniPath).find("\nName=" + std::string(16, '\xE9') + "\n") !=
            std::string::npos);
  }

  void aLetterWithoutAByteIsRefused() {
    CBotTabs window;
    for (int id : {1000, 1002, 1003, 1004}) {
      QLineEdit* edit = window.Login()->Edit(id);
      edit->clear();
      type(edit, QString::fromUtf8("aΩé"));  // an Omega has no byte
      QCOMPARE(edit->text(), QString::fromUtf8("aé"));
    }
  }

  void theLogAndStatusShowBytesAsLetters() {
    CBotTabs window;
    window.Login()->SetStatus("Zo\xEB");
    window.Login()->AppendLog("caf\xE9", kBlue, false, false, false, true);
    QCOMPARE(window.Status()->StatusLine()->text(), QString::fromUtf8("Zo\u00EB"));
    QCOMPARE(window.Status()->Log()->document()->firstBlock().text(),
             QString::fromUtf8("caf\u00E9"));
    window.Login()->MessageBox(true, "Orb\xEFlo", "\xC0 bient\xF4t", BoxIcon::kInformation);
    QCOMPARE(boxes_.shown.last(), QString::fromUtf8("Orb\u00EFlo|\u00C0 bient\u00F4t"));
  }

 private:
  orbilo::ScratchDirectory scratch_;
  RecordedBoxes boxes_;
};

QTEST_MAIN(LoginPageTest)
#include "login_page_test.moc"
