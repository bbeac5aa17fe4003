// The configuration file, the command line and the defaults.
//
// The file looks like the bot's profile file (bracketed sections, key=value
// lines), but shares no code with its reader in app/profile_file.cpp, and
// cannot: that reader keeps the legacy rules of profile files (a missing or
// unreadable file and every odd line are quietly passed over, the first of
// two equal keys wins, a value may be quoted, every byte of a file it
// rewrites is kept), and it lives above the library, which the server does
// not share. This one reads a file it never writes, names the line of each
// mistake and refuses it, takes sections with a name ("[world demo]"), and
// lets a later key override an earlier one.
#include "server/config.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace orbilo {

namespace {

std::string trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// A whole decimal number within [minimum, maximum].
bool parse_number(const std::string& text, long long minimum, long long maximum, long long* value) {
  std::string t = trim(text);
  if (t.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || end == t.c_str() || *end != '\0') return false;
  if (parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

bool parse_int(const std::string& text, int minimum, int maximum, int* value) {
  long long parsed = 0;
  if (!parse_number(text, minimum, maximum, &parsed)) return false;
  *value = static_cast<int>(parsed);
  return true;
}

bool parse_bool(const std::string& text, bool* value) {
  std::string t = lower_case(trim(text));
  if (t == "yes" || t == "on" || t == "true" || t == "1") {
    *value = true;
    return true;
  }
  if (t == "no" || t == "off" || t == "false" || t == "0") {
    *value = false;
    return true;
  }
  return false;
}

// A comma-separated list of builds: "4" or "4, 5" or "3-5".
bool parse_build_list(const std::string& text, std::set<int>* builds) {
  builds->clear();
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    item = trim(item);
    if (item.empty()) continue;
    std::size_t dash = item.find('-', 1);
    int first = 0;
    int last = 0;
    if (dash == std::string::npos) {
      if (!parse_int(item, 0, INT_MAX, &first)) return false;
      last = first;
    } else if (!parse_int(item.substr(0, dash), 0, INT_MAX, &first) ||
               !parse_int(item.substr(dash + 1), 0, INT_MAX, &last) || last < first ||
               last - first > 10000) {
      return false;
    }
    for (int build = first; build <= last; ++build) builds->insert(build);
  }
  return true;
}

// "-text" or "=text": the verdict character, then the message.
bool parse_refusal(const std::string& text, VersionRefusal* refusal) {
  std::string t = trim(text);
  if (t.empty()) return false;
  refusal->verdict = t[0];
  refusal->message = trim(t.substr(1));
  return refusal->verdict != '+';
}

bool valid_world_name(const std::string& name) {
  if (name.empty() || name.size() > 8) return false;
  for (char c : name) {
    if (std::isspace(static_cast<unsigned char>(c)) || !std::isprint(static_cast<unsigned char>(c)))
      return false;
  }
  return true;
}

// The entry of a list whose key member has the value; nullptr when none has.
template <typename Entry, typename Key>
Entry* find_entry(std::vector<Entry>* entries, Key Entry::*key, const Key& value) {
  for (Entry& entry : *entries) {
    if (entry.*key == value) return &entry;
  }
  return nullptr;
}

// The same, with an entry of that value added at the end when none has it.
template <typename Entry, typename Key>
Entry* find_or_add_entry(std::vector<Entry>* entries, Key Entry::*key, const Key& value) {
  Entry* found = find_entry(entries, key, value);
  if (found != nullptr) return found;
  entries->push_back(Entry{});
  entries->back().*key = value;
  return &entries->back();
}

std::string bad_value(const char* what, const std::string& value) {
  return std::string("bad ") + what + " \"" + value + "\"";
}

// A key that takes a whole number within [low, high] into a member of its
// section; what names the number in the problem with a bad one.
template <typename Section>
struct NumberKey {
  const char* key;
  int low, high;
  int Section::*member;
  const char* what;
};

constexpr NumberKey<ServerConfig> kServerNumbers[] = {
    {"max_clients", 1, 1000000, &ServerConfig::max_clients, "client count"},
    {"max_message", 64, 32765, &ServerConfig::max_message, "message length"},
    {"crowd_tick", 10, 60000, &ServerConfig::crowd_tick_ms, "tick in ms"},
    {"crowd_chat", 0, 1000, &ServerConfig::crowd_chat_per_mille, "chance"},
};

constexpr NumberKey<WorldConfig> kWorldNumbers[] = {
    {"build", 26, 255, &WorldConfig::build, "world build (26 or more)"},
    {"crowd", 0, 5000, &WorldConfig::crowd, "crowd size"},
    {"lookup_value", 0, 65535, &WorldConfig::lookup_value, "number"},
    {"cell_bound", 0, 65535, &WorldConfig::cell_bound, "number"},
};

// Sets key when the table has it: true, with the problem (or "") in *problem;
// false when the key is not one of the table's.
template <typename Section, std::size_t N>
bool apply_number_key(const NumberKey<Section> (&table)[N], Section* section,
                      const std::string& key, const std::string& value, std::string* problem) {
  for (const NumberKey<Section>& number : table) {
    if (key != number.key) continue;
    bool parsed = parse_int(value, number.low, number.high, &(section->*number.member));
    *problem = parsed ? "" : bad_value(number.what, value);
    return true;
  }
  return false;
}

// The keys of each section, one function a section: each returns the
// problem, or "" when fine. First a [citizen NUMBER] section.
std::string apply_citizen_key(CitizenConfig* citizen, const std::string& key,
                              const std::string& value) {
  if (key == "name") {
    citizen->name = trim(value);
  } else if (key == "password") {
    citizen->password = value;
  } else {
    return "unknown key \"" + key + "\" in a citizen section";
  }
  return "";
}

// The keys of [server].
std::string apply_server_key(ServerConfig* config, const std::string& key,
                             const std::string& value) {
  std::string problem;
  if (apply_number_key(kServerNumbers, config, key, value, &problem)) return problem;
  if (key == "login_timeout" || key == "idle_timeout") {
    int seconds = 0;
    if (!parse_int(value, 1, 86400, &seconds)) return bad_value("number of seconds", value);
    (key == "login_timeout" ? config->login_timeout_ms : config->idle_timeout_ms) = seconds * 1000;
  } else if (key == "seed") {
    long long seed = 0;
    if (!parse_number(value, 0, UINT32_MAX, &seed)) return bad_value("seed", value);
    config->seed = static_cast<std::uint32_t>(seed);
    config->seed_given = true;
  } else if (key == "trace" || key == "admin_stdin") {
    bool& flag = key == "trace" ? config->trace : config->admin_stdin;
    if (!parse_bool(value, &flag)) return bad_value("yes/no value", value);
  } else {
    return "unknown key \"" + key + "\" in [server]";
  }
  return "";
}

// The version service's policy keys of [version].
std::string apply_policy_key(VersionPolicy* policy, const std::string& key,
                             const std::string& value) {
  if (key == "product") {
    policy->product = trim(value);
  } else if (key == "accept") {
    if (!parse_build_list(value, &policy->accepted)) return bad_value("build list", value);
  } else if (key == "accept_message") {
    policy->accept_message = trim(value);
  } else if (key == "other") {
    if (!parse_refusal(value, &policy->other)) return bad_value("verdict", value);
  } else if (key.rfind("refuse.", 0) == 0) {
    int build = 0;
    VersionRefusal refusal;
    if (!parse_int(key.substr(7), 0, INT_MAX, &build)) return "bad build in \"" + key + "\"";
    if (!parse_refusal(value, &refusal)) return bad_value("verdict", value);
    policy->refused[build] = refusal;
  } else {
    return "unknown key \"" + key + "\" in [version]";
  }
  return "";
}

// The keys of [universe] and [version]: both listen, and the version service
// has its policy.
std::string apply_service_key(ServerConfig* config, const std::string& section,
                              const std::string& key, const std::string& value) {
  bool is_universe = section == "universe";
  if (key == "listen") {
    bool& enabled = is_universe ? config->universe_enabled : config->version_enabled;
    std::string& address = is_universe ? config->universe_address : config->version_address;
    int& port = is_universe ? config->universe_port : config->version_port;
    if (lower_case(trim(value)) == "off") {
      enabled = false;
    } else if (config_split_address(trim(value), &address, &port)) {
      enabled = true;
    } else {
      return bad_value("address", value);
    }
  } else if (is_universe && key == "build") {
    if (!parse_int(value, 1, 255, &config->universe_build)) return bad_value("build", value);
  } else if (!is_universe) {
    return apply_policy_key(&config->version_policy, key, value);
  } else {
    return "unknown key \"" + key + "\" in [" + section + "]";
  }
  return "";
}

// The keys of a [world NAME] section.
std::string apply_world_key(WorldConfig* world, const std::string& key, const std::string& value) {
  std::string problem;
  if (apply_number_key(kWorldNumbers, world, key, value, &problem)) return problem;
  if (key == "listen") {
    if (!config_split_address(trim(value), &world->listen_address, &world->port))
      return bad_value("address", value);
  } else if (key == "address") {
    world->public_address = trim(value);
  } else if (key.rfind("setting.", 0) == 0) {
    int setting = 0;
    if (!parse_int(key.substr(8), 0, 255, &setting)) return "bad setting key \"" + key + "\"";
    if (value.size() > 255) return "setting value longer than 255 bytes";
    world->settings[setting] = value;
  } else {
    return "unknown key \"" + key + "\" in a world section";
  }
  return "";
}

// Sets one key of the current section; returns the problem, or "" when fine.
std::string apply_key(ServerConfig* config, const std::string& section, WorldConfig* world,
                      CitizenConfig* citizen, const std::string& key, const std::string& value) {
  if (section == "server") return apply_server_key(config, key, value);
  if (section == "universe" || section == "version")
    return apply_service_key(config, section, key, value);
  if (world != nullptr) return apply_world_key(world, key, value);
  if (citizen != nullptr) return apply_citizen_key(citizen, key, value);
  return "key outside a known section";
}

}  // namespace

std::string lower_case(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool config_split_address(const std::string& text, std::string* host, int* port) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string name = trim(text.substr(0, colon));
  int number = 0;
  if (name.empty() || !parse_int(text.substr(colon + 1), 0, 65535, &number)) return false;
  *host = name;
  *port = number;
  return true;
}

bool config_read_text(const std::string& text, const std::string& name, ServerConfig* config,
                      std::string* error) {
  std::stringstream stream(text);
  std::string raw;
  int line_number = 0;
  std::string section;
  std::string world_name;
  std::uint32_t citizen_number = 0;
  bool in_world = false;
  bool in_citizen = false;
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = name + ":" + std::to_string(line_number) + ": " + what;
    return false;
  };
  while (std::getline(stream, raw)) {
    ++line_number;
    std::string line = trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return fail("section header without \"]\"");
      std::string header = trim(line.substr(1, line.size() - 2));
      std::size_t blank = header.find_first_of(" \t");
      std::string kind = lower_case(header.substr(0, blank));
      std::string argument = blank == std::string::npos ? "" : trim(header.substr(blank));
      in_world = in_citizen = false;
      section = kind;
      if (kind == "world") {
        world_name = lower_case(argument);
        if (!valid_world_name(world_name)) return fail("a world name has 1 to 8 characters");
        find_or_add_entry(&config->worlds, &WorldConfig::name, world_name);
        in_world = true;
      } else if (kind == "citizen") {
        long long number = 0;
        if (!parse_number(argument, 1, UINT32_MAX, &number)) return fail("bad citizen number");
        citizen_number = static_cast<std::uint32_t>(number);
        find_or_add_entry(&config->citizens, &CitizenConfig::number, citizen_number);
        in_citizen = true;
      } else if (kind != "server" && kind != "universe" && kind != "version") {
        return fail("unknown section [" + header + "]");
      } else if (!argument.empty()) {
        return fail("section [" + kind + "] takes no name");
      }
      continue;
    }
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) return fail("expected key = value");
    if (section.empty()) return fail("key before the first section");
    std::string key = lower_case(trim(line.substr(0, equals)));
    std::string value = trim(line.substr(equals + 1));
    WorldConfig* world =
        in_world ? find_entry(&config->worlds, &WorldConfig::name, world_name) : nullptr;
    CitizenConfig* citizen =
        in_citizen ? find_entry(&config->citizens, &CitizenConfig::number, citizen_number)
                   : nullptr;
    std::string problem = apply_key(config, section, world, citizen, key, value);
    if (!problem.empty()) return fail(problem);
  }
  return true;
}

bool config_read_file(const std::string& path, ServerConfig* config, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error != nullptr) *error = path + ": cannot be read";
    return false;
  }
  std::stringstream contents;
  contents << file.rdbuf();
  if (contents.str().size() > 1 << 20) {
    if (error != nullptr) *error = path + ": larger than 1 MiB";
    return false;
  }
  return config_read_text(contents.str(), path, config, error);
}

bool config_parse_arguments(int argc, const char* const* argv, ServerConfig* config,
                            CommandLine* command_line, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what;
    return false;
  };
  // The file first, so that flags override it wherever they stand.
  for (int k = 1; k < argc; ++k) {
    std::string flag = argv[k];
    if (flag == "--config") {
      if (k + 1 >= argc) return fail("--config needs a file name");
      command_line->config_path = argv[++k];
      if (!config_read_file(command_line->config_path, config, error)) return false;
    } else if (flag == "--help" || flag == "-h") {
      command_line->help = true;
      return true;
    }
  }
  bool worlds_from_flags = false;
  int crowd = -1;
  int world_build = 0;
  for (int k = 1; k < argc; ++k) {
    std::string flag = argv[k];
    auto value = [&](std::string* out) {
      if (k + 1 >= argc) return false;
      *out = argv[++k];
      return true;
    };
    std::string text;
    if (flag == "--config") {
      ++k;
    } else if (flag == "--trace") {
      config->trace = true;
    } else if (flag == "--no-admin") {
      config->admin_stdin = false;
    } else if (flag == "--universe" || flag == "--version-server") {
      if (!value(&text)) return fail(flag + " needs ADDRESS:PORT or off");
      std::string section = flag == "--universe" ? "universe" : "version";
      std::string problem = apply_key(config, section, nullptr, nullptr, "listen", text);
      if (!problem.empty()) return fail(flag + ": " + problem);
    } else if (flag == "--universe-build") {
      if (!value(&text) || !parse_int(text, 1, 255, &config->universe_build))
        return fail("--universe-build needs a build from 1 to 255");
    } else if (flag == "--world-build") {
      if (!value(&text) || !parse_int(text, 26, 255, &world_build))
        return fail("--world-build needs a build from 26 to 255");
    } else if (flag == "--world") {
      if (!value(&text)) return fail("--world needs NAME or NAME=ADDRESS:PORT");
      if (!worlds_from_flags) config->worlds.clear();  // flags replace the file's worlds
      worlds_from_flags = true;
      WorldConfig world;
      std::size_t equals = text.find('=');
      world.name = lower_case(text.substr(0, equals));
      if (!valid_world_name(world.name)) return fail("--world: a name has 1 to 8 characters");
      if (equals != std::string::npos &&
          !config_split_address(text.substr(equals + 1), &world.listen_address, &world.port))
        return fail("--world: bad address \"" + text.substr(equals + 1) + "\"");
      config->worlds.push_back(world);
    } else if (flag == "--citizen") {
      if (!value(&text)) return fail("--citizen needs NUMBER:NAME:PASSWORD");
      std::size_t first = text.find(':');
      std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
      long long number = 0;
      if (second == std::string::npos ||
          !parse_number(text.substr(0, first), 1, UINT32_MAX, &number))
        return fail("--citizen needs NUMBER:NAME:PASSWORD");
      CitizenConfig* citizen = find_or_add_entry(&config->citizens, &CitizenConfig::number,
                                                 static_cast<std::uint32_t>(number));
      citizen->name = text.substr(first + 1, second - first - 1);
      citizen->password = text.substr(second + 1);
    } else if (flag == "--crowd") {
      if (!value(&text) || !parse_int(text, 0, 5000, &crowd))
        return fail("--crowd needs a count from 0 to 5000");
    } else if (flag == "--seed") {
      long long seed = 0;
      if (!value(&text) || !parse_number(text, 0, UINT32_MAX, &seed))
        return fail("--seed needs a number from 0 to 4294967295");
      config->seed = static_cast<std::uint32_t>(seed);
      config->seed_given = true;
    } else if (flag == "--idle-timeout" || flag == "--login-timeout") {
      int seconds = 0;
      if (!value(&text) || !parse_int(text, 1, 86400, &seconds))
        return fail(flag + " needs a number of seconds");
      (flag == "--idle-timeout" ? config->idle_timeout_ms : config->login_timeout_ms) =
          seconds * 1000;
    } else if (flag == "--max-clients") {
      if (!value(&text) || !parse_int(text, 1, 1000000, &config->max_clients))
        return fail("--max-clients needs a count");
    } else {
      return fail("unknown argument \"" + flag + "\" (see --help)");
    }
  }
  // --crowd and --world-build apply to every world, the defaults' included.
  command_line->defaults = config_apply_defaults(config);
  for (WorldConfig& world : config->worlds) {
    if (crowd >= 0) world.crowd = crowd;
    if (world_build > 0) world.build = world_build;
  }
  return true;
}

std::vector<std::string> config_apply_defaults(ServerConfig* config) {
  std::vector<std::string> added;
  if (config->worlds.empty()) {
    WorldConfig world;
    world.name = "demo";
    config->worlds.push_back(world);
    added.push_back("world \"demo\" (build 39), no configuration names one");
  }
  if (config->citizens.empty()) {
    CitizenConfig citizen;
    citizen.number = 1;
    citizen.name = "Demo";
    citizen.password = "demo";
    config->citizens.push_back(citizen);
    added.push_back(
        "citizen 1 \"Demo\" with privilege password \"demo\", no configuration names one");
  }
  return added;
}

bool config_validate(const ServerConfig& config, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what;
    return false;
  };
  std::set<std::string> names;
  for (const WorldConfig& world : config.worlds) {
    if (!valid_world_name(world.name)) return fail("world \"" + world.name + "\": bad name");
    if (!names.insert(world.name).second) return fail("world \"" + world.name + "\" twice");
    if (world.build < 26) return fail("world \"" + world.name + "\": build below 26");
  }
  std::set<std::uint32_t> numbers;
  for (const CitizenConfig& citizen : config.citizens) {
    if (citizen.number == 0) return fail("citizen number 0");
    if (!numbers.insert(citizen.number).second)
      return fail("citizen " + std::to_string(citizen.number) + " twice");
    if (citizen.name.empty() || citizen.name.size() > 255)
      return fail("citizen " + std::to_string(citizen.number) + ": name of 1 to 255 characters");
  }
  return true;
}

const char* config_help_text() {
  return R"(Usage: orbilo-server [OPTION]...
Runs the service's servers in one process: a universe server, one world
server per world, a crowd of simulated citizens in each world, and the
version service.

  --config FILE           read the configuration file FILE (INI format; see
                          orbilo-server.example.conf); flags override it
  --universe ADDR:PORT    where the universe server listens (127.0.0.1:5670);
                          "off" turns it off
  --universe-build N      the universe build sent to clients (35)
  --version-server ADDR:PORT
                          where the version service listens (127.0.0.1:8315);
                          "off" turns it off
  --world NAME[=ADDR:PORT]
                          serve world NAME (1 to 8 characters); repeatable;
                          replaces the worlds of the file. Port 0 or none:
                          the system picks a port
  --world-build N         the build of every world (39)
  --citizen NUMBER:NAME:PASSWORD
                          add a citizen with its privilege password; repeatable
  --crowd N               N simulated citizens walk about in each world
  --seed N                the crowd's random seed, to replay a run
  --login-timeout S       drop a connection that has not logged in after S
                          seconds (30)
  --idle-timeout S        drop a link that sends nothing for S seconds (150)
  --max-clients N         the most connections held at once (4096)
  --trace                 log every message, decoded
  --no-admin              do not read administrative commands from stdin
  --help                  show this text

With no configuration the server serves one world "demo" and one citizen,
number 1, name "Demo", privilege password "demo", and says so.

Log lines go to standard output: one for each login, world entry,
departure, refusal and dropped connection.

Administrative commands, one a line on standard input:
  list                              the logged-in sessions and world avatars
  redirect SESSION|all ADDR PORT    send a universe redirect (message 18)
  renumber SESSION [NEW]            give a session a new number (message 27)
  quit                              stop the server
  help                              list the commands
SIGINT and SIGTERM stop the server too.
)";
}

}  // namespace orbilo
