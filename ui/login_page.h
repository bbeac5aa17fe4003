// COrbLogin: the settings and the session controls, and the window's side of
// the application core: it is the core's view, it runs the pump and home
// timers, and it turns Enter into Space.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

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
  // What the window does when the session's world map has changed.
  std::function<void()> on_map_changed;

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
  void MapChanged() override;
  // Paints the window, and serves its timers and other events but no user
  // input, while the version query waits; the page's own timers wait too.
  void ServePainting() override;
  // True while ServePainting runs: the window then puts off closing.
  bool Serving() const { return serving_; }

  // The pump timer, whose interval a test or a bench may change.
  QTimer& PumpTimer() { return pump_timer_; }
  // Whether the pump also runs as soon as the library's descriptor is
  // readable (on by default); off, it runs on the pump timer alone.
  void SetDescriptorWake(bool on);
  // Whether the descriptor is being watched right now.
  bool WatchingDescriptor() const { return wake_ != nullptr && wake_->isEnabled(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* AddEdit(int id, const char* label, int lx, int ly, int x, int y, int w, int h);
  // Watches the library's descriptor once the library is up, when wanted.
  void WatchDescriptor();
  // One step of the pump, unless the version query is serving painting.
  void Pump();

  COrbStatus* status_;
  LoginPage core_{this};
  QTimer pump_timer_;
  QTimer home_timer_;
  std::unique_ptr<QSocketNotifier> wake_;  // readable: api_wait(0) has work
  bool descriptor_wake_ = true;
  bool finished_ = false;
  bool filling_ = false;
  bool serving_ = false;
};
