// The version check: before each login the bot asks the maker's version
// server whether this build may run. One connection, one line sent
// ("BUILD:PRODUCT\n"), one answer received: a 5-character decimal length,
// then a body whose first byte is the verdict and whose rest is a message.
#pragma once

#include <functional>
#include <string>

class CVersionCheck {
 public:
  static constexpr int kDefaultPort = 8315;

  // The verdicts Query returns besides -1 (the exchange failed).
  static constexpr int kAccepted = 0;      // "+"
  static constexpr int kRefused = 1;       // "-"
  static constexpr int kRefusedEqual = 2;  // "="
  static constexpr int kRefusedOther = 3;  // any other first byte

  // Runs one query against host at the port: 0 to 3 with the body's message
  // in message, or -1 with the failure in ErrorText().
  int Query(const std::string& host, const std::string& product, int build, std::string& message);

  const std::string& ErrorText() const { return error_text_; }
  void SetPort(int port) { port_ = port; }
  // What the query runs while it waits for the server, at least every
  // ClientSocket::kServeIntervalMs: the front end serves its painting there.
  void SetWaitHook(std::function<void()> hook) { wait_hook_ = std::move(hook); }

 private:
  int Fail(const char* format, int code);

  std::string error_text_;
  int port_ = kDefaultPort;
  std::function<void()> wait_hook_;
};
