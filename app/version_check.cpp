#include "version_check.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "client_socket.h"

namespace {

constexpr int kLengthField = 5;

// The length field's decimal value: leading blanks, then digits up to the
// first character that is not one. -1 when it has no digits.
int length_value(const char* field) {
  int at = 0;
  while (at < kLengthField && field[at] == ' ') ++at;
  if (at == kLengthField || field[at] < '0' || field[at] > '9') return -1;
  int value = 0;
  for (; at < kLengthField && field[at] >= '0' && field[at] <= '9'; ++at) {
    value = value * 10 + (field[at] - '0');
  }
  return value;
}

}  // namespace

int CVersionCheck::Fail(const char* format, int code) {
  char text[128];
  std::snprintf(text, sizeof text, format, code);
  error_text_ = text;
  return -1;
}

int CVersionCheck::Query(const std::string& host, const std::string& product, int build,
                         std::string& message) {
  ClientSocket socket;  // a connection of its own for every query
  socket.SetWaitHook(wait_hook_);
  if (!socket.Connect(host, port_)) {
    return Fail("Unable to connect to host. Error %d", socket.LastError());
  }
  std::string line = std::to_string(build) + ":" + product + "\n";
  if (!socket.Send(line.data(), line.size())) {
    return Fail("Cannot send query. Error %d", socket.LastError());
  }
  char field[kLengthField];
  if (!socket.Receive(field, sizeof field)) {
    return Fail("Error while waiting for Server. Code %d", socket.LastError());
  }
  // A length without digits, or of 0, leaves no verdict to read.
  int length = length_value(field);
  if (length <= 0) {
    return Fail("Error while waiting for Server. Code %d", ClientSocket::kErrorBase + EPROTO);
  }
  std::vector<char> body;
  try {
    body.resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    error_text_ = "Ran out of memory.";
    return -1;
  }
  if (!socket.Receive(body.data(), body.size())) {
    return Fail("Error while receiving data. Code %d", socket.LastError());
  }
  socket.Close();
  // The message ends early at a NUL byte if the body holds one.
  message.assign(body.data() + 1, strnlen(body.data() + 1, body.size() - 1));
  switch (body[0]) {
    case '+':
      return kAccepted;
    case '-':
      return kRefused;
    case '=':
      return kRefusedEqual;
    default:
      return kRefusedOther;
  }
}
