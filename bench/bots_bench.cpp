// Bots in one process: 1000 library instances in this process, all logged in
// and in one world of an orbilo-server (a child process) with a crowd of 50,
// pumped by one thread for 60 s of real time. Every bot shows itself once, so
// that the crowd walks up to the bots and asks them things and every bot sees
// every other; the crowd moves each member twice a second.
//
// Every bot keeps a tally of what its events delivered: avatar adds, changes
// and deletes, chat and whispers, and the digest the server keeps of them
// (FNV-1a over each report in order; server/admin.cpp gives its form). Each
// event is also checked: a name that is a crowd member's or a bot's, the same
// name for a session every time, positions within the crowd's reach, a yaw,
// type and gesture the crowd and the bots use, chat from the crowd that asks
// a bot for its owner or version. At the end the crowd is stopped, the server
// tells what it put into each bot's link, the bots read what is still on its
// way, and the tallies are compared.
//
// bots_in_one_process is the number of bots whose every count and digest
// match, with no damaged event and no lost link. ORBILO_BOTS_SECONDS shortens
// (or lengthens) the run for a quick try; ORBILO_BOTS sets another number of
// bots.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "bot_fleet.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/child_process.h"
#include "support/scratch_directory.h"

using namespace orbilo;

namespace {

constexpr int kBots = 1000;
constexpr int kRunSeconds = 60;
constexpr int kCrowd = 50;
// Per member and tick, in thousandths: a member asks a bot something about
// once in 25 s, the whole crowd about twice a second.
constexpr int kCrowdChatPerMille = 20;
constexpr auto kStartLimit = std::chrono::seconds(180);
// After the crowd stops, what is on its way arrives well within this.
constexpr auto kDrainLimit = std::chrono::seconds(60);
constexpr auto kDrainQuiet = std::chrono::seconds(5);
constexpr int kCommandLimitMs = 30000;
constexpr int kCountReadings = 120;
constexpr int kReportedBots = 5;  // bots whose mismatch is told on stderr
// The crowd keeps within a few thousand units of the world's centre and the
// bots stand within 2000 of it: anything beyond this is a damaged value.
constexpr int kReach = 20000;
constexpr int kBotSpacing = 125;  // the bots stand on a grid of this pitch

int setting(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  int value = std::atoi(text);
  return value > 0 ? value : fallback;
}

// What one bot's events delivered, tallied as the server tallies what it sent.
struct Tally {
  std::uint64_t adds = 0, changes = 0, deletes = 0, chats = 0, whispers = 0;
  std::uint64_t digest = 0xcbf29ce484222325ull;
  std::uint64_t damaged = 0;  // events that failed a check
  int disconnects = 0;

  std::uint64_t total() const { return adds + changes + deletes + chats + whispers; }

  void byte(std::uint8_t value) { digest = (digest ^ value) * 0x100000001b3ull; }
  void four(std::uint32_t value) {
    for (int k = 0; k < 4; ++k) byte(static_cast<std::uint8_t>(value >> (8 * k)));
  }
  void text(const char* value) {
    for (; *value != '\0'; ++value) byte(static_cast<std::uint8_t>(*value));
    byte(0);
  }
};

// What the server says it put into one bot's link.
struct Sent {
  std::uint64_t adds = 0, changes = 0, deletes = 0, chats = 0, whispers = 0;
  std::uint64_t digest = 0;

  std::uint64_t total() const { return adds + changes + deletes + chats + whispers; }
};

int bot_count = kBots;
std::unordered_map<void*, Tally> tallies;  // by instance
// The name each session has had in any bot's avatar add: every bot must see
// the same one, in its adds and in the names the library looks up for it.
std::vector<std::string> session_names(65536);

Tally& tally() {
  return tallies[api_instance()];
}

// "[botK]" with K a bot of this run, or a crowd member's name: a capital,
// small letters, then perhaps digits.
bool bot_name(const char* name, int* number = nullptr) {
  int length = static_cast<int>(std::strlen(name));
  if (length < 6 || std::strncmp(name, "[bot", 4) != 0 || name[length - 1] != ']') return false;
  int value = 0;
  for (int k = 4; k < length - 1; ++k) {
    if (name[k] < '0' || name[k] > '9' || value > 100000000) return false;
    value = value * 10 + (name[k] - '0');
  }
  if (number != nullptr) *number = value;
  return value < bot_count;
}

bool crowd_name(const char* name) {
  if (name[0] < 'A' || name[0] > 'Z' || name[1] < 'a' || name[1] > 'z') return false;
  const char* at = name + 1;
  while (*at >= 'a' && *at <= 'z') ++at;
  while (*at >= '0' && *at <= '9') ++at;
  return *at == '\0';
}

// The look of an avatar as the attributes give it: within reach, a yaw of a
// tenth of a degree, one of the eight types, standing or kicking.
bool well_formed_avatar() {
  int x = api_int(ATTR_AVATAR_X), y = api_int(ATTR_AVATAR_Y), z = api_int(ATTR_AVATAR_Z);
  int yaw = api_int(ATTR_AVATAR_YAW), type = api_int(ATTR_AVATAR_TYPE);
  int gesture = api_int(ATTR_AVATAR_GESTURE);
  return std::abs(x) <= kReach && std::abs(y) <= kReach && std::abs(z) <= kReach && yaw >= 0 &&
         yaw < 3600 && type >= 0 && type < 8 && (gesture == 0 || gesture == 1);
}

// The session of the event, known by the name the library gives with it.
bool known_session(int session) {
  return session > 0 && session < 65536 &&
         !session_names[static_cast<std::size_t>(session)].empty() &&
         session_names[static_cast<std::size_t>(session)] == api_string(ATTR_AVATAR_NAME);
}

void digest_avatar(Tally& bot, int id) {
  bot.byte(static_cast<std::uint8_t>(id));
  bot.four(static_cast<std::uint32_t>(api_int(ATTR_AVATAR_SESSION)));
  for (int attribute : {ATTR_AVATAR_X, ATTR_AVATAR_Y, ATTR_AVATAR_Z, ATTR_AVATAR_YAW,
                        ATTR_AVATAR_TYPE, ATTR_AVATAR_GESTURE}) {
    bot.four(static_cast<std::uint32_t>(api_int(attribute)));
  }
}

void on_avatar_add() {
  Tally& bot = tally();
  ++bot.adds;
  int session = api_int(ATTR_AVATAR_SESSION);
  const char* name = api_string(ATTR_AVATAR_NAME);
  digest_avatar(bot, 2);
  bot.text(name);
  bool good = session > 0 && session < 65536 && (crowd_name(name) || bot_name(name)) &&
              well_formed_avatar();
  if (good) {
    std::string& known = session_names[static_cast<std::size_t>(session)];
    if (known.empty()) known = name;
    good = known == name;
  }
  if (!good) ++bot.damaged;
}

void on_avatar_change() {
  Tally& bot = tally();
  ++bot.changes;
  digest_avatar(bot, 4);
  if (!known_session(api_int(ATTR_AVATAR_SESSION)) || !well_formed_avatar()) ++bot.damaged;
}

void on_avatar_delete() {
  Tally& bot = tally();
  ++bot.deletes;
  int session = api_int(ATTR_AVATAR_SESSION);
  bot.byte(3);
  bot.four(static_cast<std::uint32_t>(session));
  if (!known_session(session)) ++bot.damaged;
}

// The crowd asks "botK owner" or "botK version" in public; nobody whispers.
void on_chat() {
  Tally& bot = tally();
  int type = api_int(ATTR_CHAT_TYPE);
  int session = api_int(ATTR_CHAT_SESSION);
  const char* text = api_string(ATTR_CHAT_MESSAGE);
  ++(type == 2 ? bot.whispers : bot.chats);
  bot.byte(type == 2 ? 18 : 12);
  bot.four(static_cast<std::uint32_t>(session));
  bot.text(text);
  std::string asked = std::string("[") + text;
  std::size_t blank = asked.find(' ');
  bool good = type == 0 && known_session(session) && crowd_name(api_string(ATTR_AVATAR_NAME)) &&
              blank != std::string::npos &&
              (asked.compare(blank, std::string::npos, " owner") == 0 ||
               asked.compare(blank, std::string::npos, " version") == 0) &&
              bot_name((asked.substr(0, blank) + "]").c_str());
  if (!good) ++bot.damaged;
}

void on_disconnect() {
  ++tally().disconnects;
}

void install_handlers(bool on) {
  api_event_set(EVENT_AVATAR_ADD, on ? on_avatar_add : nullptr);
  api_event_set(EVENT_AVATAR_CHANGE, on ? on_avatar_change : nullptr);
  api_event_set(EVENT_AVATAR_DELETE, on ? on_avatar_delete : nullptr);
  api_event_set(EVENT_CHAT, on ? on_chat : nullptr);
  api_event_set(EVENT_WORLD_DISCONNECT, on ? on_disconnect : nullptr);
}

// The server's "counts" answer: one line per bot,
// "[botK] session S: adds A changes C deletes D chats T whispers W digest HEX".
std::map<int, Sent> parse_counts(const std::vector<std::string>& lines) {
  std::map<int, Sent> sent;
  for (const std::string& line : lines) {
    std::size_t end = line.find("] session ");
    int number = 0;
    if (end == std::string::npos || !bot_name(line.substr(0, end + 1).c_str(), &number)) continue;
    Sent counts;
    unsigned session = 0;
    if (std::sscanf(line.c_str() + end + 1,
                    " session %u: adds %" SCNu64 " changes %" SCNu64 " deletes %" SCNu64
                    " chats %" SCNu64 " whispers %" SCNu64 " digest %" SCNx64,
                    &session, &counts.adds, &counts.changes, &counts.deletes, &counts.chats,
                    &counts.whispers, &counts.digest) == 7) {
      sent[number] = counts;
    }
  }
  return sent;
}

std::uint64_t over(std::uint64_t a, std::uint64_t b) {
  return a > b ? a - b : 0;
}

void BM_BotsInOneProcess(benchmark::State& state) {
  bot_count = setting("ORBILO_BOTS", kBots);
  auto run = std::chrono::seconds(setting("ORBILO_BOTS_SECONDS", kRunSeconds));
  for (auto _ : state) {
    raise_descriptor_limit();
    api_term();  // whatever an earlier benchmark left
    malloc_trim(0);
    tallies.clear();
    for (std::string& name : session_names) name.clear();
    long resident_before = process_resident_kib();
    if (api_init(ORBILO_SDK_BUILD) != 0) return state.SkipWithError("api_init failed");
    // A configuration with the crowd's chance of asking.
    ScratchDirectory scratch;
    scratch.write("bots.conf",
                  "[server]\ncrowd_chat = " + std::to_string(kCrowdChatPerMille) + "\n");
    ChildProcess server(server_arguments(
        {"--world", "bench=127.0.0.1:0", "--crowd", std::to_string(kCrowd), "--seed", "1",
         "--max-clients", "5000", "--config", scratch.path("bots.conf")},
        true));
    int port = server.port("universe");
    if (port == 0) return state.SkipWithError("orbilo-server did not start");
    install_handlers(true);

    std::vector<void*> instances;
    int entered = bots_enter(port, bot_count, "bench", kStartLimit, &instances);
    // Each bot shows itself on a grid around the centre, where the crowd walks.
    int side = 1;
    while (side * side < bot_count) ++side;
    for (std::size_t k = 0; k < instances.size(); ++k) {
      int bot = static_cast<int>(k);
      api_instance_set(instances[k]);
      api_int_set(ATTR_MY_X, (bot % side - side / 2) * kBotSpacing);
      api_int_set(ATTR_MY_Y, 0);
      api_int_set(ATTR_MY_Z, (bot / side - side / 2) * kBotSpacing);
      api_int_set(ATTR_MY_YAW, (bot * 37) % 3600);
      api_int_set(ATTR_MY_TYPE, bot % 8);
      api_state_change();
      if (k % 50 == 49) api_wait(0);
    }

    // Every bot sees every other and the whole crowd before the run starts.
    auto settle_end = std::chrono::steady_clock::now() + kStartLimit;
    auto settled = [&] {
      for (void* instance : instances) {
        if (tallies[instance].adds < static_cast<std::uint64_t>(kCrowd + entered - 1)) return false;
      }
      return true;
    };
    while (!settled() && std::chrono::steady_clock::now() < settle_end) api_wait(50);
    // The measurement: the pump over every bot, for the whole run.
    double cpu_before = process_cpu_seconds();
    double server_cpu_before = server.cpu_seconds();
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < run) api_wait(50);
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    double cpu = process_cpu_seconds() - cpu_before;
    double server_cpu = server.cpu_seconds() - server_cpu_before;
    long resident_after = process_resident_kib();

    // The crowd stops. What the bots sent before (their states, each reported
    // to every other bot) may still be on its way through the server: the
    // tally is final once two readings a second apart agree.
    server.ask("crowd stop", "crowd stopped in 1 world", kCommandLimitMs);
    std::vector<std::string> answer, before;
    for (int reading = 0; reading < kCountReadings; ++reading) {
      answer = server.ask("counts", "counts end", kCommandLimitMs);
      if (!answer.empty() && answer.size() == before.size() &&
          std::equal(answer.begin() + 1, answer.end(), before.begin() + 1))
        break;
      before = answer;
      api_wait(1000);
    }
    std::map<int, Sent> sent = parse_counts(answer);
    if (sent.empty()) std::fprintf(stderr, "bots_in_one_process: the server gave no counts\n");
    auto received_all = [&] {
      for (const auto& [bot, counts] : sent) {
        if (bot >= static_cast<int>(instances.size()) ||
            tallies[instances[static_cast<std::size_t>(bot)]].total() < counts.total())
          return false;
      }
      return true;
    };
    auto drain_end = std::chrono::steady_clock::now() + kDrainLimit;
    auto quiet_end = std::chrono::steady_clock::now() + kDrainQuiet;
    std::uint64_t last_total = 0;
    while (!received_all() && std::chrono::steady_clock::now() < std::min(drain_end, quiet_end)) {
      api_wait(20);
      std::uint64_t total = 0;
      for (const auto& [instance, bot] : tallies) total += bot.total();
      if (total != last_total) quiet_end = std::chrono::steady_clock::now() + kDrainQuiet;
      last_total = total;
    }

    std::uint64_t messages_sent = 0, received = 0, lost = 0, damaged = 0;
    int held = 0, disconnected = 0, reported = 0;
    for (std::size_t k = 0; k < instances.size(); ++k) {
      const Tally& bot = tallies[instances[k]];
      auto* record = static_cast<Instance*>(instances[k]);
      bool linked = record->world_state == kWorldEntered && bot.disconnects == 0;
      disconnected += !linked;
      auto found = sent.find(static_cast<int>(k));
      if (found == sent.end()) {
        // Never entered, or its world link was closed: the server no longer
        // knows what it sent. It is not held, and counted as disconnected.
        disconnected += linked;
        continue;
      }
      const Sent& to = found->second;
      messages_sent += to.total();
      received += bot.total();
      damaged += bot.damaged;
      lost += over(to.adds, bot.adds) + over(to.changes, bot.changes) +
              over(to.deletes, bot.deletes) + over(to.chats, bot.chats) +
              over(to.whispers, bot.whispers);
      // More than was sent can only be damage; so is a digest that differs
      // where every count matches.
      std::uint64_t extra = over(bot.adds, to.adds) + over(bot.changes, to.changes) +
                            over(bot.deletes, to.deletes) + over(bot.chats, to.chats) +
                            over(bot.whispers, to.whispers);
      bool counts_match = bot.adds == to.adds && bot.changes == to.changes &&
                          bot.deletes == to.deletes && bot.chats == to.chats &&
                          bot.whispers == to.whispers;
      damaged += extra + (counts_match && bot.digest != to.digest ? 1 : 0);
      bool good = linked && counts_match && bot.digest == to.digest && bot.damaged == 0;
      if (!good && ++reported <= kReportedBots) {
        std::fprintf(stderr,
                     "bots_in_one_process: bot%zu%s was sent adds %" PRIu64 " changes %" PRIu64
                     " deletes %" PRIu64 " chats %" PRIu64 " whispers %" PRIu64
                     " digest %016" PRIx64 ", received %" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRIu64
                     " %" PRIu64 " digest %016" PRIx64 ", %" PRIu64 " damaged\n",
                     k, linked ? "" : " (its link was lost)", to.adds, to.changes, to.deletes,
                     to.chats, to.whispers, to.digest, bot.adds, bot.changes, bot.deletes,
                     bot.chats, bot.whispers, bot.digest, bot.damaged);
      }
      held += good;
    }

    double bots = std::max(1, entered);
    state.counters["figure:bots_in_one_process"] = held;
    state.counters["figure:bots_entered"] = entered;
    state.counters["figure:bots_disconnected"] = disconnected;
    state.counters["figure:bots_messages_sent"] = static_cast<double>(messages_sent);
    state.counters["figure:bots_messages_received"] = static_cast<double>(received);
    state.counters["figure:bots_messages_lost"] = static_cast<double>(lost);
    state.counters["figure:bots_messages_corrupted"] = static_cast<double>(damaged);
    state.counters["figure:bots_seconds"] = spent.count();
    state.counters["figure:pump_cpu_us_per_bot_per_s"] = cpu * 1e6 / bots / spent.count();
    state.counters["figure:bots_server_cpu_percent"] = 100.0 * server_cpu / spent.count();
    state.counters["figure:memory_kib_per_bot"] =
        static_cast<double>(resident_after - resident_before) / bots;
    install_handlers(false);
    api_term();
  }
}
BENCHMARK(BM_BotsInOneProcess)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
