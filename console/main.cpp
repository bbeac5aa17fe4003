// orbilo-console: Simple Orbilo without a window, for servers. It starts as
// the window does (the library, then the settings from orbilo.ini in the
// working directory), presses Login at once, and runs the pump and home
// timers. Commands on stdin, one a line:
//   login        presses Login again (after a refused login, a failed entry or
//                "You must input a world."), refused while Login is disabled
//   home         presses Return home, while the bot runs
//   set KEY=VALUE  changes a setting (the settings file's key names)
//   apply        presses Apply, once a setting has changed
//   avatars      lists the avatars the bot sees, one a line: name and location
//   quit         ends the program as closing the window does
// SIGTERM and SIGINT end it as quit does, the settings saved.
//
//   orbilo-console [-C DIR] [--help]
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <orbilo/sdk.h>
#include "app/session.h"
#include "console/console_view.h"

namespace {

volatile sig_atomic_t stopping = 0;

// How long the library may wait before stdin is looked at again.
constexpr int kStdinCheckMs = 20;

constexpr const char* kUsage = "usage: orbilo-console [-C DIR] [--help]\n";

constexpr const char* kHelp =
    "Simple Orbilo without a window: the bot logs in at once with the settings of\n"
    "orbilo.ini in the working directory, and saves them when it ends.\n"
    "\n"
    "Options:\n"
    "  -C DIR          run in DIR, where its orbilo.ini is\n"
    "  --help          show this text and end\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  login           press Login again, once it is enabled\n"
    "  home            press Return home, while the bot runs\n"
    "  set KEY=VALUE   change a setting: World, CenterCoords, Avatar,\n"
    "                  DisableBotKicking or ReturnHome (0 or 1)\n"
    "  apply           press Apply, once a setting has changed\n"
    "  avatars         list the avatars in view, one a line: name and location\n"
    "  quit            end, saving the settings, as closing the window does\n"
    "\n"
    "SIGTERM and SIGINT end it as quit does. Log lines go to standard output,\n"
    "status lines and messages to standard error.\n";

void on_signal(int) {
  stopping = 1;
}

// Runs one command line; false when it asks the program to end.
bool run_command(const std::string& line, LoginPage& page, ConsoleView& view) {
  std::string command = line;
  while (!command.empty() && (command.back() == '\r' || command.back() == ' ')) command.pop_back();
  std::size_t start = command.find_first_not_of(' ');
  if (start == std::string::npos) return true;
  command.erase(0, start);
  if (command == "quit") return false;
  if (command == "login") {
    if (!view.login_enabled()) {
      std::fprintf(stderr, "login: Login is not available now\n");
    } else {
      page.OnLogin();
    }
  } else if (command == "home") {
    if (!view.running_enabled()) {
      std::fprintf(stderr, "home: the bot is not running\n");
    } else {
      page.OnReturnHome();
    }
  } else if (command == "avatars") {
    for (const auto& by_session : page.map().avatars()) {
      std::printf("%s\n", AvatarText(by_session.second).c_str());
    }
    std::fflush(stdout);
  } else if (command == "apply") {
    if (!view.modified()) {
      std::fprintf(stderr, "apply: nothing to apply\n");
    } else {
      page.OnApply();
    }
  } else if (command.rfind("set ", 0) == 0 && command.find('=') != std::string::npos) {
    std::string assignment = command.substr(4);
    std::size_t equals = assignment.find('=');
    std::string why = view.SetControl(assignment.substr(0, equals), assignment.substr(equals + 1));
    if (!why.empty()) {
      std::fprintf(stderr, "set: %s\n", why.c_str());
    } else {
      page.OnSettingChanged();
    }
  } else {
    std::fprintf(stderr, "unknown command: %s (login, home, set KEY=VALUE, apply, avatars, quit)\n",
                 command.c_str());
  }
  std::fflush(stderr);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--help") == 0) {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      return 0;
    }
  }
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "-C") == 0 && k + 1 < argc) {
      if (chdir(argv[++k]) != 0) {
        std::fprintf(stderr, "orbilo-console: cannot change to %s\n", argv[k]);
        return 2;
      }
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  ConsoleView view(stdout, stderr, isatty(STDOUT_FILENO) != 0);
  if (api_init(ORBILO_SDK_BUILD) != 0) {
    view.MessageBox(false, "Simple Orbilo", "Unable to initialize API \n", BoxIcon::kError);
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  LoginPage page(&view);
  page.Init();
  if (!page.settings_readable()) {
    std::fprintf(stderr,
                 "orbilo-console: cannot read %s: starting with the defaults; the file will not "
                 "be written\n",
                 IniPath.c_str());
    std::fflush(stderr);
  }
  page.OnLogin();

  using Clock = std::chrono::steady_clock;
  auto next_pump = Clock::now() + std::chrono::milliseconds(kPumpIntervalMs);
  auto next_home = Clock::now() + std::chrono::milliseconds(kHomeIntervalMs);
  bool reading = true;  // an empty stdin is no command: the bot keeps running
  std::string pending;
  while (!stopping && !view.quit_requested()) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (reading && poll(&input, 1, 0) > 0) {
      char buffer[512];
      ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
      if (count <= 0) {
        reading = false;
      } else {
        pending.append(buffer, static_cast<std::size_t>(count));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
          std::string line = pending.substr(0, end);
          pending.erase(0, end + 1);
          if (!run_command(line, page, view)) stopping = 1;
        }
      }
    }
    auto now = Clock::now();
    if (now >= next_pump) {
      page.OnTimer(kPumpTimer);
      next_pump = now + std::chrono::milliseconds(kPumpIntervalMs);
    }
    if (now >= next_home) {
      page.OnTimer(kHomeTimer);
      next_home = now + std::chrono::milliseconds(kHomeIntervalMs);
    }
    // Until the next tick, wait on the library's links, so that what arrives
    // is handled at once rather than at the tick; with no bot, on stdin.
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next_pump - Clock::now());
    int wait_ms = wait.count() > 0 ? static_cast<int>(wait.count()) : 0;
    if (wait_ms > 0 && api_instance() != nullptr) {
      api_wait(wait_ms < kStdinCheckMs ? wait_ms : kStdinCheckMs);
    } else if (wait_ms > 0) {
      poll(&input, reading ? 1 : 0, wait_ms);
    }
  }
  page.Destroy();
  if (!page.settings_saved()) {
    std::fprintf(stderr, "orbilo-console: could not save the settings to %s\n", IniPath.c_str());
  }
  return page.exit_status();
}
