// COrbLogin: the settings and the session controls, and the window's side of
// the application core: it is the core's view, it runs the pump and home
// timers, and it turns Enter into Space.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "app/session.h"
#include "app/view.h"

class COrbStatus;

class COrbLogin : public QWidget, public View {
  Q_OBJECT

 public:
  COrbLogin(COrbStatus* status, QWidget* parent = nullptr);
  ~COrbLogin() override;

  // Page initialisation: timers started, settings loaded, controls filled.
  void Initialise();
  // Page destruction: the session ended, the settings saved, the library
  // shut down. Runs once.
  void Finish();

  // What the window does with the modified state and the quit request.
  std::function<void(bool)> on_modified;
  std::function<void()> on_quit;

  LoginPage& Core() { return core_; }
  QLineEdit* Edit(int id) const;
  QCheckBox* Box(int id) const;
  QPushButton* Button(int id) const;

  // View
  void SetStatus(const std::string& text) override;
  void AppendLog(const std::string& text, Colour colour, bool bold, bool italic, bool underline,
                 bool newline) override;
  void MessageBox(bool owned, const std::string& caption, const std::string& text,
                  BoxIcon icon) override;
  std::string ApplicationName() const override;
  void EnableLoginControls(bool enable) override;
  void EnableRunningControls(bool enable) override;
  void SetModified(bool modified) override;
  ControlTexts ReadControls() override;
  void FillControls(const ControlTexts& texts) override;
  void RequestQuit() override;
  // Paints the window, and serves its timers and other events but no user
  // input, while the version query waits; the page's own timers wait too.
  void ServePainting() override;
  // True while ServePainting runs: the window then puts off closing.
  bool Serving() const { return serving_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* AddEdit(int id, const char* label, int lx, int ly, int x, int y, int w, int h);

  COrbStatus* status_;
  LoginPage core_{this};
  QTimer pump_timer_;
  QTimer home_timer_;
  bool finished_ = false;
  bool filling_ = false;
  bool serving_ = false;
};
