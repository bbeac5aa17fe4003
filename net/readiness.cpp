// The readiness set over one epoll instance, level-triggered, so that its
// descriptor stays readable for as long as a connection has work waiting.
#include "net/readiness.h"

#include <errno.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "net/memory.h"

namespace orbilo {

namespace {

// Up to this many ready sockets a wait needs no memory of its own.
constexpr int kFixedEvents = 64;

int set_descriptor = -1;
int members = 0;  // sockets in the set
// A counter in the set (with no tag) that keeps it readable while work that
// no socket shows is waiting; signalled tells whether it is raised.
int signal_descriptor = -1;
bool signalled = false;
// The ready sockets of the last wait: the fixed slots, or a block that holds
// one event for every member.
epoll_event fixed_events[kFixedEvents];
epoll_event* events = fixed_events;
int event_capacity = kFixedEvents;
int event_count = 0;

bool control(int operation, int socket, void* tag, bool write) {
  if (set_descriptor < 0 || socket < 0) return false;
  epoll_event event{};
  event.events = EPOLLIN | (write ? EPOLLOUT : 0u);
  event.data.ptr = tag;
  // A failure leaves the socket out of the set: the caller then waits on it
  // by itself.
  return epoll_ctl(set_descriptor, operation, socket, &event) == 0;
}

void release_events() {
  if (events != fixed_events) mem_free(events);
  events = fixed_events;
  event_capacity = kFixedEvents;
  event_count = 0;
}

// Room for one event per member, so that a wait sees every ready socket; a
// wait with less room sees the rest at the next one.
void reserve_events() {
  if (members <= event_capacity) return;
  int capacity = event_capacity;
  while (capacity < members) capacity *= 2;
  auto* grown = static_cast<epoll_event*>(mem_alloc(sizeof(epoll_event) * capacity));
  if (grown == nullptr) return;
  if (events != fixed_events) mem_free(events);
  events = grown;
  event_capacity = capacity;
}

}  // namespace

int readiness_open() {
  if (set_descriptor >= 0) return set_descriptor;
  set_descriptor = epoll_create1(EPOLL_CLOEXEC);
  if (set_descriptor < 0) return -1;
  signal_descriptor = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (signal_descriptor >= 0 && !control(EPOLL_CTL_ADD, signal_descriptor, nullptr, false)) {
    close(signal_descriptor);
    signal_descriptor = -1;
  }
  signalled = false;
  return set_descriptor;
}

void readiness_close() {
  if (set_descriptor >= 0) close(set_descriptor);
  if (signal_descriptor >= 0) close(signal_descriptor);
  set_descriptor = signal_descriptor = -1;
  signalled = false;
  members = 0;
  release_events();
}

int readiness_descriptor() {
  return set_descriptor;
}

bool readiness_add(int socket, void* tag) {
  if (!control(EPOLL_CTL_ADD, socket, tag, false)) return false;
  ++members;
  return true;
}

void readiness_want_write(int socket, void* tag, bool want) {
  control(EPOLL_CTL_MOD, socket, tag, want);
}

void readiness_remove(int socket) {
  if (set_descriptor < 0 || socket < 0) return;
  epoll_event unused{};
  if (epoll_ctl(set_descriptor, EPOLL_CTL_DEL, socket, &unused) == 0 && members > 0) --members;
}

void readiness_signal(bool work_waiting) {
  if (signal_descriptor < 0 || work_waiting == signalled) return;
  std::uint64_t value = 1;
  ssize_t done = work_waiting ? write(signal_descriptor, &value, sizeof value)
                              : read(signal_descriptor, &value, sizeof value);
  // A counter that could not be raised leaves the set as the sockets show it;
  // one that was not raised reads as nothing.
  if (done == static_cast<ssize_t>(sizeof value) || !work_waiting) signalled = work_waiting;
}

int readiness_wait(int timeout_ms) {
  event_count = 0;
  if (set_descriptor < 0) return -1;
  reserve_events();
  int ready = epoll_wait(set_descriptor, events, event_capacity, timeout_ms < 0 ? -1 : timeout_ms);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  event_count = ready;
  return ready;
}

void* readiness_tag(int k) {
  return k >= 0 && k < event_count ? events[k].data.ptr : nullptr;
}

bool readiness_readable(int k) {
  return k >= 0 && k < event_count &&
         (events[k].events & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP)) != 0;
}

}  // namespace orbilo
