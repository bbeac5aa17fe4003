// The console's view: log lines on stdout (coloured only on a terminal),
// status changes and message boxes on stderr, and the login page's controls
// held as text that the commands on stdin change.
#pragma once

#include <cstdio>
#include <string>

#include "app/view.h"

class ConsoleView : public View {
 public:
  ConsoleView(std::FILE* out, std::FILE* err, bool colour)
      : out_(out), err_(err), colour_(colour) {}

  void SetStatus(const std::string& text) override;
  void AppendLog(const std::string& text, Colour colour, bool bold, bool italic, bool underline,
                 bool newline) override;
  void MessageBox(bool owned, const std::string& caption, const std::string& text,
                  BoxIcon icon) override;
  std::string ApplicationName() const override { return "orbilo-console"; }
  void EnableLoginControls(bool enable) override { login_enabled_ = enable; }
  void EnableRunningControls(bool enable) override { running_enabled_ = enable; }
  void SetModified(bool modified) override { modified_ = modified; }
  ControlTexts ReadControls() override { return controls_; }
  void FillControls(const ControlTexts& texts) override { controls_ = texts; }
  void RequestQuit() override { quit_requested_ = true; }

  // Sets a control from a settings key (World, CenterCoords, Avatar,
  // DisableBotKicking, ReturnHome): "" on success, else why not.
  std::string SetControl(const std::string& key, const std::string& value);

  bool login_enabled() const { return login_enabled_; }
  bool running_enabled() const { return running_enabled_; }
  bool modified() const { return modified_; }
  bool quit_requested() const { return quit_requested_; }

 private:
  std::FILE* out_;
  std::FILE* err_;
  bool colour_;
  ControlTexts controls_;
  bool login_enabled_ = true;
  bool running_enabled_ = false;
  bool modified_ = false;
  bool quit_requested_ = false;
};
