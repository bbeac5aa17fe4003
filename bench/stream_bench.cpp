// Message stream throughput: world message 4 (an avatar's move: a word, three
// longs, a word and two bytes) built, enciphered, deciphered and decoded,
// first in memory on one core, then through a loopback TCP connection.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "net/clock.h"
#include "sdk/stream.h"

using namespace orbilo;

namespace {

constexpr int BENCH_MOVE_ID = 4;

struct Move {
  std::uint16_t session;
  std::uint32_t x, y, z;
  std::uint16_t yaw;
  std::uint8_t type, gesture;
};

int bench_send_move(Stream* stream, const Move& move) {
  return stream_send(stream, FIELD_BEGIN, BENCH_MOVE_ID, FIELD_WORD, move.session, FIELD_LONG,
                     move.x, FIELD_LONG, move.y, FIELD_LONG, move.z, FIELD_WORD, move.yaw,
                     FIELD_BYTE, move.type, FIELD_BYTE, move.gesture, FIELD_END);
}

int bench_receive_move(Stream* stream, Move* move) {
  std::uint8_t id = 0;
  int rc = stream_receive(stream, FIELD_BYTE, &id, FIELD_WORD, &move->session, FIELD_LONG, &move->x,
                          FIELD_LONG, &move->y, FIELD_LONG, &move->z, FIELD_WORD, &move->yaw,
                          FIELD_BYTE, &move->type, FIELD_BYTE, &move->gesture, FIELD_END);
  return rc == 0 && id != BENCH_MOVE_ID ? RC_PROTOCOL_ERROR : rc;
}

Move bench_move(std::uint32_t n) {
  return Move{static_cast<std::uint16_t>(n),
              n,
              n * 3,
              n * 7,
              static_cast<std::uint16_t>(n % 3600),
              static_cast<std::uint8_t>(n),
              static_cast<std::uint8_t>(n >> 8)};
}

bool bench_same(const Move& a, const Move& b) {
  return a.session == b.session && a.x == b.x && a.y == b.y && a.z == b.z && a.yaw == b.yaw &&
         a.type == b.type && a.gesture == b.gesture;
}

// Both directions keyed as after a key message, with discards on each side.
void bench_key(Stream* sender, Stream* receiver) {
  stream_set_ciphers(sender, kSessionKey, 16, 300, 500);
  stream_set_ciphers(receiver, kSessionKey, 16, 500, 300);
}

void BM_StreamCodec(benchmark::State& state) {
  clock_init();
  Stream* sender = nullptr;
  Stream* receiver = nullptr;
  if (stream_create_unconnected(&sender) != 0 || stream_create_unconnected(&receiver) != 0) {
    state.SkipWithError("no streams");
    return;
  }
  bench_key(sender, receiver);
  std::uint32_t n = 0;
  for (auto _ : state) {
    Move sent = bench_move(n++);
    Move got{};
    if (bench_send_move(sender, sent) != 0 || stream_deliver(sender, receiver) != 0 ||
        stream_read_message(receiver) != 0 || bench_receive_move(receiver, &got) != 0 ||
        !bench_same(sent, got)) {
      state.SkipWithError("the codec lost a message");
      break;
    }
    benchmark::DoNotOptimize(got);
  }
  state.counters["figure:stream_codec_msgs_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  stream_destroy_attached(sender);
  stream_destroy_attached(receiver);
}
BENCHMARK(BM_StreamCodec);

// A listening socket on 127.0.0.1 with a port the OS picks: the accepted end
// becomes the receiving stream.
int bench_listen(std::uint16_t* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    return -1;
  }
  *port = address.sin_port;
  return fd;
}

// A keyed pair of streams over a loopback TCP connection: the library's
// own stream sends, and the accepted end, attached as a stream, receives.
struct Link {
  int listener = -1;
  Stream* sender = nullptr;
  Stream* receiver = nullptr;

  bool open() {
    clock_init();
    std::uint16_t port = 0;
    listener = bench_listen(&port);
    if (listener < 0 || stream_create(htonl(INADDR_LOOPBACK), port, &sender) != 0) return false;
    int accepted = accept(listener, nullptr, nullptr);
    if (accepted < 0) return false;
    if (stream_attach(accepted, &receiver) != 0) {
      close(accepted);
      return false;
    }
    bench_key(sender, receiver);
    return true;
  }
  ~Link() {
    stream_destroy(sender);
    stream_destroy_attached(receiver);
    if (listener >= 0) close(listener);
  }
};

// The sender runs on a thread of its own, as a peer program would, and keeps
// at most kWindow messages ahead of the reader. The reader, the benchmark's
// thread, takes them one per stream_read_message, each read asking the socket
// for that message only (its length, then its body). Every syscall of both
// sides is in the time, which is wall-clock time. A side that has to wait for
// the other spins for a moment (the other is most likely running on the
// second core), then sleeps (when both share one core, it then leaves it to
// the other): the sender until the reader has taken half the window, the
// reader in poll() until bytes arrive.
constexpr std::uint32_t kWindow = 1024;
constexpr auto kSpinTime = std::chrono::microseconds(10);

// Waits until ready() holds, spinning for up to kSpinTime: true when it does,
// false when the time is up first.
template <typename Ready>
bool bench_spin_until(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kSpinTime;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::yield();
  }
  return true;
}

void BM_StreamLoopback(benchmark::State& state) {
  Link link;
  if (!link.open()) {
    state.SkipWithError("no loopback connection");
    return;
  }
  Stream* sender = link.sender;
  Stream* receiver = link.receiver;
  std::atomic<std::uint32_t> read_count{0};
  std::atomic<std::uint32_t> wake_at{0};  // the read count at which the sender wants waking
  std::atomic<bool> stop{false};
  std::atomic<bool> sender_failed{false};
  // Each stream is used by one thread only; the streams were made, and are
  // destroyed, while no other thread runs.
  std::thread sending([&] {
    std::uint32_t sent_count = 0;
    while (!stop.load()) {
      if (sent_count - read_count.load() < kWindow) {
        if (bench_send_move(sender, bench_move(sent_count)) != 0) break;
        ++sent_count;
        continue;
      }
      if (stream_pending_send(sender) > 0) {
        // A full socket held bytes back: wait until it takes more.
        pollfd writable{stream_socket(sender), POLLOUT, 0};
        poll(&writable, 1, 50);
        if (stream_flush(sender) != 0) break;
        continue;
      }
      if (bench_spin_until([&] { return sent_count - read_count.load() < kWindow; })) continue;
      // Far enough ahead: sleep until the reader has taken half the window.
      // The reader looks at wake_at after each count it stores, and this
      // side at the count after storing wake_at, so one of them sees the
      // other and no wake-up is lost.
      const std::uint32_t wake = sent_count - kWindow / 2;
      wake_at.store(wake);
      for (std::uint32_t seen = read_count.load();
           static_cast<std::int32_t>(seen - wake) < 0 && !stop.load(); seen = read_count.load()) {
        read_count.wait(seen);
      }
    }
    sender_failed.store(!stop.load());
  });
  std::uint32_t read = 0;
  for (auto _ : state) {
    int rc = stream_read_message(receiver);
    while (rc == RC_NOT_YET && !sender_failed.load()) {
      // The reader has caught up with the sender.
      if (!bench_spin_until([&] { return (rc = stream_read_message(receiver)) != RC_NOT_YET; })) {
        pollfd readable{stream_socket(receiver), POLLIN, 0};
        poll(&readable, 1, 50);
        rc = stream_read_message(receiver);
      }
    }
    Move got{};
    if (rc != 0 || bench_receive_move(receiver, &got) != 0 || !bench_same(got, bench_move(read))) {
      state.SkipWithError(sender_failed.load() ? "send failed" : "the stream lost a message");
      break;
    }
    read_count.store(++read);
    if (wake_at.load() == read) read_count.notify_one();
  }
  stop.store(true);
  read_count.store(read + kWindow);  // wakes a sleeping sender, which then sees stop
  read_count.notify_one();
  sending.join();
  state.counters["figure:stream_loopback_msgs_per_s"] =
      benchmark::Counter(static_cast<double>(read), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamLoopback)->UseRealTime();

// For comparison, both sides on the benchmark's thread, the figure on its
// processor time: the messages go out in bursts, and the reader then takes
// them one per stream_read_message. Every message costs three syscalls here
// (one send, two receives), and this rate stays put when the machine is busy,
// where the two-thread figure above depends on a second free core.
constexpr int kBurst = 64;

void BM_StreamLoopbackOneThread(benchmark::State& state) {
  Link link;
  if (!link.open()) {
    state.SkipWithError("no loopback connection");
    return;
  }
  std::uint32_t sent_count = 0;
  std::uint32_t read_count = 0;
  for (auto _ : state) {
    for (int k = 0; k < kBurst; ++k) {
      if (bench_send_move(link.sender, bench_move(sent_count++)) != 0) {
        state.SkipWithError("send failed");
        return;
      }
    }
    while (read_count != sent_count) {
      int rc = stream_read_message(link.receiver);
      if (rc == RC_NOT_YET) continue;  // the rest is still in flight
      Move got{};
      if (rc != 0 || bench_receive_move(link.receiver, &got) != 0 ||
          !bench_same(got, bench_move(read_count))) {
        state.SkipWithError("the stream lost a message");
        return;
      }
      ++read_count;
    }
  }
  state.counters["msgs_per_s"] =
      benchmark::Counter(static_cast<double>(read_count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamLoopbackOneThread);

}  // namespace
