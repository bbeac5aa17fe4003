// orbilo-server: the universe server, the world servers with their crowds and
// the version service in one process. See --help.
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "net/clock.h"
#include "net/tcp.h"
#include "server/config.h"
#include "server/server.h"

using namespace orbilo;

namespace {

volatile sig_atomic_t stop_requested = 0;

void on_stop_signal(int) {
  stop_requested = 1;
}

void log_line(const std::string& line) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
  std::printf("%s %s\n", stamp, line.c_str());
  std::fflush(stdout);
}

// Many bots mean many sockets: take every descriptor the system allows.
void raise_descriptor_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ServerConfig config;
  CommandLine command_line;
  std::string error;
  if (!config_parse_arguments(argc, argv, &config, &command_line, &error)) {
    std::fprintf(stderr, "orbilo-server: %s\n", error.c_str());
    return 2;
  }
  if (command_line.help) {
    std::fputs(config_help_text(), stdout);
    return 0;
  }
  if (!config.seed_given) {
    bool crowds = false;
    for (const WorldConfig& world : config.worlds) crowds = crowds || world.crowd > 0;
    if (crowds) config.seed = std::random_device{}();
  }
  config.log = log_line;
  clock_init();
  net_startup();
  raise_descriptor_limit();
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  Server* server = nullptr;
  if (server_create(config, &server, &error) != 0) {
    std::fprintf(stderr, "orbilo-server: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& line : command_line.defaults) log_line("serving the default " + line);
  if (config.universe_enabled) {
    log_line("universe: " + config.universe_address + ":" +
             std::to_string(server_universe_port(server)) + ", build " +
             std::to_string(config.universe_build));
  }
  for (const WorldConfig& world : config.worlds) {
    log_line("world \"" + world.name + "\": " + world.listen_address + ":" +
             std::to_string(server_world_port(server, world.name)) + ", build " +
             std::to_string(world.build) + ", crowd " + std::to_string(world.crowd) +
             (world.crowd > 0 ? ", seed " + std::to_string(config.seed) : ""));
  }
  for (const CitizenConfig& citizen : config.citizens) {
    log_line("citizen " + std::to_string(citizen.number) + " \"" + citizen.name + "\"");
  }
  if (config.version_enabled) {
    log_line("version service: " + config.version_address + ":" +
             std::to_string(server_version_port(server)));
  }
  while (!stop_requested && server_step(server, 1000) == 0) {
  }
  log_line("stopped");
  server_destroy(server);
  net_cleanup();
  return 0;
}
