#include "bot_tally.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "support/child_process.h"

namespace orbilo {

namespace {

constexpr int kCommandLimitMs = 30000;
constexpr int kCountReadings = 120;
constexpr auto kDrainQuiet = std::chrono::seconds(5);
constexpr int kReportedBots = 5;  // bots whose mismatch is told on stderr
// The crowd keeps within a few thousand units of the world's centre and the
// bots stand near it: anything beyond this is a damaged value.
constexpr int kReach = 20000;
constexpr std::size_t kSessions = 65536;

int bot_count = 0;
bool restart_on_entry = false;
std::unordered_map<void*, Tally> tallies;  // by instance
// The name each session of a world has had in any bot's avatar add: every
// bot there must see the same one, in its adds and in the names the library
// looks up for it.
std::vector<std::vector<std::string>> session_names;
std::unordered_map<std::string, std::size_t> world_indexes;  // by world name

// The session names of the world the current instance stands in.
std::vector<std::string>& world_sessions() {
  const char* world = static_cast<Instance*>(api_instance())->world_name;
  auto [at, added] = world_indexes.try_emplace(world, world_indexes.size());
  return session_names[at->second < session_names.size() ? at->second : 0];
}

// The current instance's tally, found once through the map and kept as the
// instance's own pointer from then on (the map's nodes stay where they are).
Tally& tally() {
  if (void* kept = api_user_data()) return *static_cast<Tally*>(kept);
  Tally& bot = tallies[api_instance()];
  api_user_data_set(&bot);
  return bot;
}

std::string& name_of(int session) {
  return world_sessions()[static_cast<std::size_t>(session)];
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
  if (session <= 0 || session >= static_cast<int>(kSessions)) return false;
  const std::string& known = name_of(session);
  return !known.empty() && known == api_string(ATTR_AVATAR_NAME);
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
  bool good = session > 0 && session < static_cast<int>(kSessions) &&
              (crowd_name(name) || tally_bot_name(name)) && well_formed_avatar();
  if (good) {
    std::string& known = name_of(session);
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
              tally_bot_name((asked.substr(0, blank) + "]").c_str());
  if (!good) ++bot.damaged;
}

void on_world_attributes() {
  Tally& bot = tally();
  ++bot.world_entries;
  if (restart_on_entry) bot.restart();
}

void on_disconnect() {
  ++tally().disconnects;
}

// The server's "counts" answer: one line per bot,
// "[botK] session S: adds A changes C deletes D chats T whispers W digest HEX".
std::map<int, Sent> parse_counts(const std::vector<std::string>& lines) {
  std::map<int, Sent> sent;
  for (const std::string& line : lines) {
    std::size_t end = line.find("] session ");
    int number = 0;
    if (end == std::string::npos || !tally_bot_name(line.substr(0, end + 1).c_str(), &number))
      continue;
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

}  // namespace

void tally_reset(int bots, int world_count) {
  bot_count = bots;
  tallies.clear();
  world_indexes.clear();
  session_names.assign(static_cast<std::size_t>(std::max(1, world_count)),
                       std::vector<std::string>(kSessions));
}

void tally_forget_sessions() {
  for (auto& world : session_names) {
    for (std::string& name : world) name.clear();
  }
}

Tally& tally_of(void* instance) {
  return tallies[instance];
}

void tally_install(bool on, bool restart) {
  restart_on_entry = restart;
  api_event_set(EVENT_AVATAR_ADD, on ? on_avatar_add : nullptr);
  api_event_set(EVENT_AVATAR_CHANGE, on ? on_avatar_change : nullptr);
  api_event_set(EVENT_AVATAR_DELETE, on ? on_avatar_delete : nullptr);
  api_event_set(EVENT_CHAT, on ? on_chat : nullptr);
  api_event_set(EVENT_WORLD_ATTRIBUTES, on ? on_world_attributes : nullptr);
  api_event_set(EVENT_WORLD_DISCONNECT, on ? on_disconnect : nullptr);
}

bool tally_bot_name(const char* name, int* number) {
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

std::map<int, Sent> tally_final_counts(ChildProcess& server, const std::vector<void*>& instances,
                                       int drain_limit_s) {
  // What the bots sent before (their states, each reported to every other
  // bot) may still be on its way through the server: the counts are final
  // once two readings a second apart agree.
  server.ask("crowd stop", "crowd stopped in", kCommandLimitMs);
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
  if (sent.empty()) std::fprintf(stderr, "the server gave no counts\n");
  auto received_all = [&] {
    for (const auto& [bot, counts] : sent) {
      if (bot >= static_cast<int>(instances.size()) ||
          tallies[instances[static_cast<std::size_t>(bot)]].total() < counts.total())
        return false;
    }
    return true;
  };
  auto now = [] { return std::chrono::steady_clock::now(); };
  auto drain_end = now() + std::chrono::seconds(drain_limit_s);
  auto quiet_end = now() + kDrainQuiet;
  std::uint64_t last_total = 0;
  while (!received_all() && now() < std::min(drain_end, quiet_end)) {
    api_wait(20);
    std::uint64_t total = 0;
    for (const auto& [instance, bot] : tallies) total += bot.total();
    if (total != last_total) quiet_end = now() + kDrainQuiet;
    last_total = total;
  }
  return sent;
}

TallyResult tally_compare(const std::vector<void*>& instances, const std::map<int, Sent>& sent,
                          const char* label) {
  TallyResult result;
  int reported = 0;
  for (std::size_t k = 0; k < instances.size(); ++k) {
    const Tally& bot = tallies[instances[k]];
    auto* record = static_cast<Instance*>(instances[k]);
    bool linked = record->world_state == kWorldEntered && bot.disconnects == 0;
    result.disconnected += !linked;
    auto found = sent.find(static_cast<int>(k));
    if (found == sent.end()) {
      // Never entered, or its world link was closed: the server no longer
      // knows what it sent. It is not held, and counted as disconnected.
      result.disconnected += linked;
      continue;
    }
    const Sent& to = found->second;
    result.sent += to.total();
    result.received += bot.total();
    result.damaged += bot.damaged;
    result.lost += over(to.adds, bot.adds) + over(to.changes, bot.changes) +
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
    result.damaged += extra + (counts_match && bot.digest != to.digest ? 1 : 0);
    bool good = linked && counts_match && bot.digest == to.digest && bot.damaged == 0;
    if (!good && ++reported <= kReportedBots) {
      std::fprintf(stderr,
                   "%s: bot%zu%s was sent adds %" PRIu64 " changes %" PRIu64 " deletes %" PRIu64
                   " chats %" PRIu64 " whispers %" PRIu64 " digest %016" PRIx64
                   ", received %" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRIu64
                   " digest %016" PRIx64 ", %" PRIu64 " damaged\n",
                   label, k, linked ? "" : " (its link was lost)", to.adds, to.changes, to.deletes,
                   to.chats, to.whispers, to.digest, bot.adds, bot.changes, bot.deletes, bot.chats,
                   bot.whispers, bot.digest, bot.damaged);
    }
    result.held += good;
  }
  return result;
}

}  // namespace orbilo
