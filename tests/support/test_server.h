// The service's servers in the test's own process: a universe, the world
// "demo" and the version service on 127.0.0.1, at ports the system picks.
// A test steps them on its own thread (pump), or has them served on a
// thread of their own (Serving).
//
//   TestServer test;                     // citizens 1 "Demo" (demo), 7 "Owner Seven"
//   RawLink universe(test, test.universe_port());
//   Serving serving(test);               // or: stepped on a thread until serving goes
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "server/config.h"
#include "server/server.h"

namespace orbilo {

namespace server_testing {

// A configuration for tests: loopback only, ports chosen by the system, no
// stdin, log lines collected into *log.
inline ServerConfig test_config(std::vector<std::string>* log) {
  ServerConfig config;
  config.universe_address = config.version_address = "127.0.0.1";
  config.universe_port = config.version_port = 0;
  WorldConfig world;
  world.name = "demo";
  config.worlds.push_back(world);
  config.citizens.push_back({1, "Demo", "demo"});
  config.citizens.push_back({7, "Owner Seven", "seven"});
  config.admin_stdin = false;
  config.log = [log](const std::string& line) { log->push_back(line); };
  return config;
}

class TestServer {
 public:
  TestServer() : TestServer([](ServerConfig*) {}) {}
  template <typename Adjust>
  explicit TestServer(Adjust adjust) {
    ServerConfig config = test_config(&log);
    adjust(&config);
    create_error = server_create(config, &server, &error);
  }
  ~TestServer() { server_destroy(server); }
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  std::uint16_t universe_port() const { return server_universe_port(server); }
  std::uint16_t version_port() const { return server_version_port(server); }
  std::uint16_t world_port(const char* name) const { return server_world_port(server, name); }

  // Steps the server for about ms milliseconds (at least once).
  void pump(int ms = 0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      server_step(server, 1);
    } while (std::chrono::steady_clock::now() < end);
  }

  // The number of log lines that contain text.
  int logged(const std::string& text) const {
    int count = 0;
    for (const std::string& line : log) count += line.find(text) != std::string::npos;
    return count;
  }

  Server* server = nullptr;
  std::vector<std::string> log;
  std::string error;
  int create_error = 0;
};

// Steps a server on a thread of its own for the life of the object. The
// test may read the server's log only after it has stopped serving.
class Serving {
 public:
  explicit Serving(TestServer& test) : test_(test) { start(); }
  ~Serving() { stop(); }
  Serving(const Serving&) = delete;
  Serving& operator=(const Serving&) = delete;

  void start() {
    stop_ = false;
    thread_ = std::thread([this] {
      while (!stop_) server_step(test_.server, 5);
    });
  }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  TestServer& test_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace server_testing

}  // namespace orbilo
