// A connected pair of Unix stream sockets for the tests that attach a socket
// the library did not open: `ours` goes to the code under test, which owns it
// from then on; the test works the other end, `peer`, which closes with the
// pair. Both are -1 when the system gives no pair (an attach then refuses).
#pragma once

#include <sys/socket.h>
#include <unistd.h>

namespace orbilo {

struct SocketPair {
  int ours = -1;
  int peer = -1;

  SocketPair() {
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0) return;
    ours = sockets[0];
    peer = sockets[1];
  }
  ~SocketPair() {
    if (peer >= 0) close(peer);
  }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;
};

}  // namespace orbilo
