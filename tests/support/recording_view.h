// A view that records what the application core shows, for tests: the
// status line, the log, message boxes, the control groups and the quit
// request; its controls are text that the test sets.
#pragma once

#include <string>
#include <vector>

#include "app/view.h"

struct RecordedBox {
  bool owned;
  std::string caption;
  std::string text;
  BoxIcon icon;
};

class RecordingView : public View {
 public:
  void SetStatus(const std::string& text) override { status = text; }
  void AppendLog(const std::string& text, Colour colour, bool, bool, bool, bool) override {
    log.push_back(text);
    colours.push_back(colour);
  }
  void MessageBox(bool owned, const std::string& caption, const std::string& text,
                  BoxIcon icon) override {
    boxes.push_back({owned, caption, text, icon});
  }
  std::string ApplicationName() const override { return "orbilo-test"; }
  void EnableLoginControls(bool enable) override { login_enabled = enable; }
  void EnableRunningControls(bool enable) override { running_enabled = enable; }
  void SetModified(bool value) override { modified = value; }
  ControlTexts ReadControls() override { return controls; }
  void FillControls(const ControlTexts& texts) override { controls = texts; }
  void RequestQuit() override { quit = true; }

  std::string status;
  std::vector<std::string> log;
  std::vector<Colour> colours;
  std::vector<RecordedBox> boxes;
  bool login_enabled = true;
  bool running_enabled = false;
  bool modified = false;
  bool quit = false;
  ControlTexts controls;
};
