#include "console/console_view.h"

#include <strings.h>

void ConsoleView::SetStatus(const std::string& text) {
  std::fprintf(err_, "status: %s\n", text.c_str());
  std::fflush(err_);
}

void ConsoleView::AppendLog(const std::string& text, Colour colour, bool bold, bool italic,
                            bool underline, bool newline) {
  if (colour_) {
    std::fprintf(out_, "\033[38;2;%d;%d;%dm%s%s%s", colour.red, colour.green, colour.blue,
                 bold ? "\033[1m" : "", italic ? "\033[3m" : "", underline ? "\033[4m" : "");
  }
  std::fputs(text.c_str(), out_);
  if (colour_) std::fputs("\033[0m", out_);
  if (newline) std::fputc('\n', out_);
  std::fflush(out_);
}

void ConsoleView::MessageBox(bool, const std::string& caption, const std::string& text, BoxIcon) {
  std::fprintf(err_, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(err_);
}

std::string ConsoleView::SetControl(const std::string& key, const std::string& value) {
  // The running controls are world, location, avatar and the two boxes; they
  // take edits while either group is enabled, as the page's controls do.
  if (!login_enabled_ && !running_enabled_) return "the settings cannot be changed now";
  auto is = [&](const char* name) { return strcasecmp(key.c_str(), name) == 0; };
  auto flag = [&](bool* box) {
    if (value != "0" && value != "1") return std::string("expects 0 or 1");
    *box = value == "1";
    return std::string();
  };
  if (is("World")) {
    controls_.world = value;
  } else if (is("CenterCoords")) {
    controls_.location = value;
  } else if (is("Avatar")) {
    controls_.avatar = value;
  } else if (is("DisableBotKicking")) {
    return flag(&controls_.disable_bot_kicking);
  } else if (is("ReturnHome")) {
    return flag(&controls_.return_home);
  } else {
    return "unknown key (World, CenterCoords, Avatar, DisableBotKicking, ReturnHome)";
  }
  return "";
}
