// The servers' configuration: what a configuration file and the command line
// give, with the defaults that make `orbilo-server` with no arguments serve a
// demo world to a demo citizen.
//
// The file is INI-like:
//
//   [server]            timeouts, limits, crowd seed
//   [universe]          listen address, universe build
//   [version]           listen address and the version policy
//   [world NAME]        one section per world
//   [citizen NUMBER]    one section per citizen
//
// server/orbilo-server.example.conf documents every key.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace orbilo {

struct CitizenConfig {
  std::uint32_t number = 0;
  std::string name;
  std::string password;  // the privilege password a bot logs in with
};

struct WorldConfig {
  std::string name;  // lower case, 1 to 8 characters
  int build = 39;    // selects the login message (20, 27 or 53) and the avatar add form
  std::string listen_address = "127.0.0.1";
  int port = 0;                // 0: the operating system picks one
  std::string public_address;  // given in lookup replies; empty: the listen address
  int crowd = 0;               // simulated citizens
  int lookup_value = 0;        // sent in lookup replies from universe build 32 on
  int cell_bound = 0;
  std::map<int, std::string> settings;  // world attribute key -> value text
};

struct VersionRefusal {
  char verdict = '-';
  std::string message;
};

struct VersionPolicy {
  std::string product = "Orbilo";
  std::set<int> accepted = {4};
  std::string accept_message;  // shown to an accepted build when not empty
  std::map<int, VersionRefusal> refused;
  VersionRefusal other = {'-', "This build is not supported by this server."};
};

struct ServerConfig {
  bool universe_enabled = true;
  std::string universe_address = "127.0.0.1";
  int universe_port = 5670;
  int universe_build = 35;

  bool version_enabled = true;
  std::string version_address = "127.0.0.1";
  int version_port = 8315;
  VersionPolicy version_policy;

  std::vector<WorldConfig> worlds;
  std::vector<CitizenConfig> citizens;

  int login_timeout_ms = 30000;  // a connection that has not logged in by then
  int idle_timeout_ms = 150000;  // a logged-in link that sends nothing for this long
  int max_clients = 4096;        // open connections of all kinds
  int max_message = 1024;        // the longest message body a client may send
  int crowd_tick_ms = 500;       // how often the crowd moves
  int crowd_chat_per_mille = 3;  // chance per member and tick of asking a bot something
  std::uint32_t seed = 1;        // drives the crowd (and nothing else)
  bool seed_given = false;
  bool trace = false;       // log every message decoded
  bool admin_stdin = true;  // read administrative commands from standard input

  // Receives each log line, without a time stamp; empty: no logging.
  std::function<void(const std::string&)> log;
};

// What the command line asked for besides the configuration.
struct CommandLine {
  bool help = false;
  std::string config_path;
  std::vector<std::string> defaults;  // what config_apply_defaults() added
};

// Reads a configuration file into config (keys it does not give keep their
// values): true, or false with "file:line: what is wrong" in *error.
bool config_read_file(const std::string& path, ServerConfig* config, std::string* error);

// Parses INI text as config_read_file does; name is used in messages.
bool config_read_text(const std::string& text, const std::string& name, ServerConfig* config,
                      std::string* error);

// Parses the command line: reads the file of --config first, then applies the
// other flags over it. true, or false with the message in *error.
bool config_parse_arguments(int argc, const char* const* argv, ServerConfig* config,
                            CommandLine* command_line, std::string* error);

// Adds the demo world and the demo citizen when none is configured; returns
// the lines that describe what was added (empty when nothing was).
std::vector<std::string> config_apply_defaults(ServerConfig* config);

// Checks the whole configuration (names, ports, builds, duplicates): true, or
// false with the first problem in *error.
bool config_validate(const ServerConfig& config, std::string* error);

// The text of --help.
const char* config_help_text();

// The text with the letters A to Z in lower case, whatever the locale: world
// names, section kinds and keys compare this way.
std::string lower_case(std::string text);

// "a.b.c.d:port" or "host:port": true with the parts, false when malformed.
bool config_split_address(const std::string& text, std::string* host, int* port);

}  // namespace orbilo
