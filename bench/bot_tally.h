// What the benchmark bots' events delivered, against what orbilo-server says
// it sent them. Every bot keeps a tally of its avatar adds, changes and
// deletes, chat and whispers, and the digest the server keeps of them
// (FNV-1a over each report in order; server/admin.cpp gives its form). Each
// event is also checked: a name that is a crowd member's or a bot's, the
// same name for a session in a world every time, positions within the
// crowd's reach, a yaw, type and gesture the crowd and the bots use, chat
// from the crowd that asks a bot for its owner or version.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace orbilo {

class ChildProcess;

// What one bot's events delivered, tallied as the server tallies what it sent.
struct Tally {
  std::uint64_t adds = 0, changes = 0, deletes = 0, chats = 0, whispers = 0;
  std::uint64_t digest = 0xcbf29ce484222325ull;
  std::uint64_t damaged = 0;  // events that failed a check
  int disconnects = 0;
  int world_entries = 0;  // world attributes received

  std::uint64_t total() const { return adds + changes + deletes + chats + whispers; }
  void byte(std::uint8_t value) { digest = (digest ^ value) * 0x100000001b3ull; }
  void four(std::uint32_t value) {
    for (int k = 0; k < 4; ++k) byte(static_cast<std::uint8_t>(value >> (8 * k)));
  }
  void text(const char* value) {
    for (; *value != '\0'; ++value) byte(static_cast<std::uint8_t>(*value));
    byte(0);
  }
  // Starts the counts and the digest over, as a new world link does.
  void restart() {
    adds = changes = deletes = chats = whispers = damaged = 0;
    digest = 0xcbf29ce484222325ull;
  }
};

// What the server says it put into one bot's link.
struct Sent {
  std::uint64_t adds = 0, changes = 0, deletes = 0, chats = 0, whispers = 0;
  std::uint64_t digest = 0;
  std::uint64_t total() const { return adds + changes + deletes + chats + whispers; }
};

// The comparison of every bot's tally with the server's counts.
struct TallyResult {
  int held = 0;          // every count and the digest match, nothing damaged, link kept
  int disconnected = 0;  // its world link was lost, or the server no longer knows it
  std::uint64_t sent = 0, received = 0, lost = 0, damaged = 0;
};

// Starts every tally over for bot_count bots in at most world_count worlds
// (the names of each world's sessions are kept apart). Each instance keeps
// its tally as its user data: start over only once the instances are gone.
void tally_reset(int bot_count, int world_count);
// Forgets the names seen for every session (a restarted server numbers anew).
void tally_forget_sessions();
// The tally of an instance.
Tally& tally_of(void* instance);
// Installs (or removes) the avatar, chat, world attribute and disconnect
// handlers that keep the tallies. With restart_on_entry, world attributes
// start a bot's tally over (a new world link: the server counts anew).
void tally_install(bool on, bool restart_on_entry = false);

// "[botK]" with K below the bot count, or a crowd member's name.
bool tally_bot_name(const char* name, int* number = nullptr);

// The server's final counts: the crowd is stopped, then "counts" is asked
// until two readings a second apart agree, and the bots read what is still
// on its way (at most drain_limit_s, or 5 s without news). By bot number.
std::map<int, Sent> tally_final_counts(ChildProcess& server, const std::vector<void*>& instances,
                                       int drain_limit_s);

// Compares the tallies of instances (bot K at index K) with sent. A bot is
// held when it still stands in its world with no disconnect and every count
// and the digest match. Mismatches of the first few bots are told on stderr
// under label.
TallyResult tally_compare(const std::vector<void*>& instances, const std::map<int, Sent>& sent,
                          const char* label);

}  // namespace orbilo
