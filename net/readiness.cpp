// The readiness set over one epoll instance, level-triggered, so that its
// descriptor stays readable for as long as a connection has work waiting.
#include "net/readiness.h"

#include <sys/epoll.h>
#include <unistd.h>

namespace orbilo {

namespace {

int set_descriptor = -1;

void control(int operation, int socket, bool write) {
  if (set_descriptor < 0 || socket < 0) return;
  epoll_event event{};
  event.events = EPOLLIN | (write ? EPOLLOUT : 0u);
  event.data.fd = socket;
  // A failure leaves the socket out of the set: the pump still finds it by
  // its own wait, only a program's own loop may then wake late.
  (void)epoll_ctl(set_descriptor, operation, socket, &event);
}

}  // namespace

int readiness_open() {
  if (set_descriptor < 0) set_descriptor = epoll_create1(EPOLL_CLOEXEC);
  return set_descriptor;
}

void readiness_close() {
  if (set_descriptor >= 0) close(set_descriptor);
  set_descriptor = -1;
}

int readiness_descriptor() {
  return set_descriptor;
}

void readiness_add(int socket) {
  control(EPOLL_CTL_ADD, socket, false);
}

void readiness_want_write(int socket, bool want) {
  control(EPOLL_CTL_MOD, socket, want);
}

void readiness_remove(int socket) {
  if (set_descriptor < 0 || socket < 0) return;
  epoll_event unused{};
  (void)epoll_ctl(set_descriptor, EPOLL_CTL_DEL, socket, &unused);
}

}  // namespace orbilo
