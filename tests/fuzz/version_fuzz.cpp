// Arbitrary bytes as the version server's answer: a loopback peer reads the
// query line, sends the input and closes its side, and the bot's version
// check reads it. The check must end with the verdict the bytes hold, or
// with the failure they call for, and never wait out its time-out: the peer
// has always finished.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/client_socket.h"
#include "app/version_check.h"
#include "support/loopback.h"

using namespace orbilo;

namespace {

loopback::Listener* listener = nullptr;

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "version_fuzz: %s\n", what);
  std::abort();
}

// What the check must end with, read from the bytes the peer sends: the
// 5-character length (leading blanks, then digits up to the first other
// character), then the body, its first byte the verdict.
struct Expected {
  int result = -1;
  std::string message;
  std::string error;
};

Expected expected_of(const std::uint8_t* data, std::size_t size) {
  Expected expected;
  if (size < 5) {
    expected.error = "Error while waiting for Server. Code 10104";  // closed early
    return expected;
  }
  std::size_t at = 0;
  while (at < 5 && data[at] == ' ') ++at;
  long length = 0;
  bool digits = false;
  for (; at < 5 && data[at] >= '0' && data[at] <= '9'; ++at) {
    length = length * 10 + (data[at] - '0');
    digits = true;
  }
  if (!digits || length == 0) {
    expected.error = "Error while waiting for Server. Code 10071";  // no verdict to read
    return expected;
  }
  if (size - 5 < static_cast<std::size_t>(length)) {
    expected.error = "Error while receiving data. Code 10104";
    return expected;
  }
  switch (data[5]) {
    case '+':
      expected.result = CVersionCheck::kAccepted;
      break;
    case '-':
      expected.result = CVersionCheck::kRefused;
      break;
    case '=':
      expected.result = CVersionCheck::kRefusedEqual;
      break;
    default:
      expected.result = CVersionCheck::kRefusedOther;
      break;
  }
  const char* message = reinterpret_cast<const char*>(data) + 6;
  expected.message.assign(message, strnlen(message, static_cast<std::size_t>(length) - 1));
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  listener = new loopback::Listener(4);
  check(listener->ok(), "cannot listen on the loopback interface");
  // Longer than any exchange here takes; a check that waits this long is a
  // finding.
  ClientSocket::SetTimeoutForTests(3000);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bool query_read = false;
  std::thread server([&] {
    loopback::Peer peer = listener->accept();
    if (!peer.valid()) return;
    loopback::Bytes query = peer.receive(9);
    query_read = std::string(query.begin(), query.end()) == "4:Orbilo\n";
    peer.send(data, size);
    peer.shutdown_write();
    // The bot closes first, so that nothing the input holds is cut off by a
    // reset of this side.
    peer.closed();
  });
  CVersionCheck version;
  version.SetPort(ntohs(listener->port()));
  std::string message = "unchanged";
  int result = version.Query("127.0.0.1", "Orbilo", 4, message);
  server.join();

  check(query_read, "the query line was not \"4:Orbilo\\n\"");
  Expected expected = expected_of(data, size);
  check(result == expected.result, "the verdict differs from the one the bytes hold");
  check(version.ErrorText() == expected.error, "the failure's text differs from its cause");
  if (result >= 0) check(message == expected.message, "the message differs from the body's");
  return 0;
}
