// The library-wide record and the instance record: one bot session with its
// attribute store, its avatar name table, and its universe and world links.
// Every file of the session core works on these two records.
#pragma once

#include <cstdint>

#include "protocol/messages.h"
#include "protocol/values.h"
#include "sdk/sdk.h"

namespace orbilo {

struct AttributeStore;
struct HashTable;
struct Stream;

inline constexpr int kEventCount = 29;
inline constexpr int kCallbackCount = 32;

// Universe link states.
inline constexpr int kUniverseClosed = 0;            // nothing is done until a new login
inline constexpr int kUniverseReconnectPending = 1;  // reopened at the reconnect time
inline constexpr int kUniverseConnected = 2;         // open, not logged in: never read or timed
inline constexpr int kUniverseLoggingIn = 3;         // login sent, waiting for the reply
inline constexpr int kUniverseLoggedIn = 4;

// World link states.
inline constexpr int kWorldNone = 0;
inline constexpr int kWorldReconnectPending = 1;  // reopened once the universe is logged in
inline constexpr int kWorldLoggingIn = 3;         // world login sent, waiting for its reply
inline constexpr int kWorldEntered = 4;           // the world attributes have arrived

// Timings of the links, in library clock milliseconds.
inline constexpr std::uint32_t kLoginTimeoutMs = 30000;
inline constexpr std::uint32_t kUniverseIdleTimeoutMs = 120000;  // universe build 32 and above
inline constexpr std::uint32_t kWorldIdleTimeoutMs = 90000;
inline constexpr std::uint32_t kUniverseKeepAliveMs = 60000;
inline constexpr std::uint32_t kWorldKeepAliveMs = 45000;
inline constexpr std::uint32_t kReconnectDelayMs = 1000;
inline constexpr int kWaitSliceMs = 1000;

// What the next look at an instance covers: a link that has news (its
// steps, reads and unsent bytes), or everything (the timed work too).
inline constexpr std::uint8_t kLookUniverse = 1;
inline constexpr std::uint8_t kLookWorld = 2;
inline constexpr std::uint8_t kLookAll = 7;

struct Instance {
  Instance* next;
  // What a pump pass reads of every instance, first and together: an idle
  // instance is passed over on these alone. Attention is set where its links
  // may have work (a sweep found input or room, an operation ran on it, it
  // is new); next_due is the library clock of its first timed work.
  bool attention;
  std::uint8_t look_links;  // what a look covers: kLookUniverse, kLookWorld, kLookAll
  std::uint32_t next_due;
  std::uint32_t session_number;  // the universe gives its low 16 bits
  std::uint32_t login_number;
  std::uint8_t login_check[kLoginCheckBytes];  // hashed into the world login
  AttributeStore* attributes;
  HashTable* avatar_names;  // avatar session number -> name
  void* user_data;          // the program's own pointer (api_user_data_set)

  Stream* universe_stream;         // nullptr while closed
  std::uint32_t universe_address;  // network order
  std::uint16_t universe_port;     // network order
  int universe_state;
  int last_universe_message_id;
  int last_universe_result;
  std::uint32_t last_universe_receive;  // 0 until a message was read
  std::uint32_t universe_login_time;
  std::uint32_t universe_reconnect_time;
  int reconnect_enabled;  // 1 after a successful login: a lost link is reopened
  int universe_build;

  Stream* world_stream;
  std::uint32_t world_address;  // network order, from the world lookup reply
  std::uint16_t world_port;     // network order
  int world_state;
  int world_build;
  std::uint16_t cell_bound;    // 0: cells are not bounded
  std::uint16_t lookup_value;  // copied to attribute 89 when not 0
  int last_world_request_result;
  int state_sent;     // the bot has sent its position in this world
  int world_entered;  // the world attributes arrived after the world login
  int last_world_message_id;
  int last_world_result;
  std::uint32_t last_world_receive;  // 0 until a message was read
  std::uint32_t world_login_time;
  std::uint32_t world_reconnect_time;
  int world_name_length;
  char world_name[16];  // lower case, at most 8 characters
};

struct Library {
  int initialised;
  int build;
  std::uint32_t machine_id;  // bytes 2 to 5 of the adapter address, in memory order
  Instance* instances;       // newest first
  Instance* current;
  int instance_count;
  int instances_changed;  // set by api_destroy: the running pump pass ends
  int events_changed;     // set by api_event_set: the next pass recomputes the mask
  // The next pass looks at every instance, not only at those its sweep
  // found: one was marked for attention outside a sweep, or a pass ended
  // early. earliest_due: no instance's timed work falls due before it.
  bool look_at_all;
  std::uint32_t earliest_due;
  std::uint32_t event_mask;
  EventHandler events[kEventCount];
  CallbackHandler callbacks[kCallbackCount];
};

extern Library library;

// ---- Instances (library.cpp) ---------------------------------------------

// true when instance is in the list.
bool instance_is_live(const Instance* instance);

// Marks an instance for the next pass to look at, outside a sweep: it is
// new, or an operation ran on it.
inline void instance_attend(Instance* instance) {
  instance->attention = true;
  instance->look_links = kLookAll;
  library.look_at_all = true;
}

// ---- Events and callbacks (events.cpp) -----------------------------------

bool event_installed(int event);
bool callback_installed(int callback);
// Makes instance current and calls the handler, when one is installed.
void event_fire(Instance* instance, int event);
void callback_fire(Instance* instance, int callback, int rc);
// Recomputes the event mask from the installed handlers: true when it changed.
bool event_mask_update();

// ---- Links (universe_link.cpp, world_link.cpp) ---------------------------

int universe_connect(Instance* instance);
int universe_send_login(Instance* instance);
void universe_link_lost(Instance* instance);
int world_connect(Instance* instance);
int world_send_login(Instance* instance);
void world_link_lost(Instance* instance);
void world_reconnect_schedule(Instance* instance);
void world_disconnect(Instance* instance, int reason);
// Sends world message 14 with the event mask.
int world_send_event_mask(Instance* instance);

// ---- Pump (pump.cpp) -----------------------------------------------------

// One pass over every instance: 1 when a message was handled or an instance
// was destroyed, else 0.
int pump_pass(int wait_ms);

// Forgets an instance that is being destroyed, which a pass may have
// carried for the next one.
void pump_forget(const Instance* instance);

// Test hook: replaces the socket wait of a pass (nullptr restores it), so that
// a test can see how long each pass would wait without waiting.
using PumpSocketWait = Stream* (*)(int wait_ms);
void pump_set_socket_wait(PumpSocketWait wait);

// ---- Message handlers (universe.cpp, world.cpp) --------------------------

int receive_universe_message(Instance* instance);
int receive_world_message(Instance* instance);

// ---- Operations (operations.cpp) -----------------------------------------

// Continues a world entry once the universe's world reply has arrived.
int enter_complete(Instance* instance);

// ---- Avatar names (avatar_names.cpp) -------------------------------------

inline constexpr int kAvatarNameMax = 255;

// Stores name under session (an existing entry is overwritten): 0 or
// RC_OUT_OF_MEMORY.
int avatar_name_store(Instance* instance, std::uint32_t session, const char* name);
// The name stored under session, or nullptr.
const char* avatar_name_find(const Instance* instance, std::uint32_t session);
// Removes the entry: true when there was one.
bool avatar_name_remove(Instance* instance, std::uint32_t session);

}  // namespace orbilo
