// CBotTabs: the window, "Simple Orbilo", with the pages Login, Status, Map
// and About, and a button row of Apply and Quit. It can be minimised but not
// resized or maximised; the close box acts as Quit.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QTabWidget>

class COrbLogin;
class COrbStatus;
class COrbMap;
class COrbAbout;

class CBotTabs : public QDialog {
  Q_OBJECT

 public:
  explicit CBotTabs(QWidget* parent = nullptr);
  ~CBotTabs() override;

  COrbLogin* Login() const { return login_; }
  COrbStatus* Status() const { return status_; }
  COrbMap* Map() const { return map_; }
  COrbAbout* About() const { return about_; }
  QTabWidget* Tabs() const { return tabs_; }
  QPushButton* ApplyButton() const { return apply_; }
  QPushButton* QuitButton() const { return quit_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QTabWidget* tabs_;
  COrbLogin* login_;
  COrbStatus* status_;
  COrbMap* map_;
  COrbAbout* about_;
  QPushButton* apply_;
  QPushButton* quit_;
};
