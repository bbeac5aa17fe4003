// The event pump: api_wait and the pump pass, which opens, times out, reads
// and keeps alive the universe and world links of every instance. All network
// work of the library happens here, on the caller's thread.
#include <poll.h>

#include "net/clock.h"
#include "net/readiness.h"
#include "net/tunnel.h"
#include "protocol/messages.h"
#include "sdk/instance.h"
#include "sdk/library.h"
#include "sdk/stream.h"

namespace orbilo {

namespace {

// true when now is later than since + span, on the wrapping clock.
bool later_than(std::uint32_t now, std::uint32_t since, std::uint32_t span) {
  return static_cast<std::int32_t>(now - (since + span)) > 0;
}

// true when now is at or after due.
bool reached(std::uint32_t now, std::uint32_t due) {
  return static_cast<std::int32_t>(now - due) >= 0;
}

// Set by a pass that leaves a link with a whole message received ahead.
bool messages_waiting = false;

// After a read of stream that did not end the pass: true when the link has
// more received ahead, which the next pass reads without its socket (after a
// passed-over empty message, or a message handled from a burst).
bool more_waiting(const Stream* stream) {
  bool waiting = stream_message_waiting(stream);
  messages_waiting = messages_waiting || waiting;
  return waiting;
}

// Reads one universe message: true when one was handled, or when more is
// waiting. A failure other than "not yet" loses the link.
bool universe_read(Instance* instance) {
  int rc = receive_universe_message(instance);
  if (library.instances_changed) return rc == RC_SUCCESS;
  if (rc != RC_SUCCESS && rc != RC_NOT_YET) {
    universe_link_lost(instance);
    return false;
  }
  return more_waiting(instance->universe_stream) || rc == RC_SUCCESS;
}

bool world_read(Instance* instance) {
  int rc = receive_world_message(instance);
  if (library.instances_changed) return rc == RC_SUCCESS;
  if (rc != RC_SUCCESS && rc != RC_NOT_YET) {
    world_link_lost(instance);
    return false;
  }
  return more_waiting(instance->world_stream) || rc == RC_SUCCESS;
}

// The universe step of one instance: true when a message was handled.
bool universe_step(Instance* instance, std::uint32_t now) {
  switch (instance->universe_state) {
    case kUniverseReconnectPending:
      if (reached(now, instance->universe_reconnect_time)) {
        if (universe_connect(instance) != 0 || universe_send_login(instance) != 0) {
          universe_link_lost(instance);
        } else {
          instance->universe_state = kUniverseLoggingIn;
        }
      }
      return false;
    case kUniverseLoggingIn:
      if (later_than(now, instance->universe_login_time, kLoginTimeoutMs)) {
        universe_link_lost(instance);
        return false;
      }
      [[fallthrough]];
    case kUniverseLoggedIn: {
      if (stream_status(instance->universe_stream) != 0) {
        universe_link_lost(instance);
        return false;
      }
      bool handled = universe_read(instance);
      if (library.instances_changed) return handled;
      // Universes from kUniverseBuildIdleTimeout on keep talking; a silent one is gone.
      if (instance->universe_stream != nullptr &&
          instance->universe_build >= kUniverseBuildIdleTimeout &&
          instance->last_universe_receive != 0 &&
          later_than(now, instance->last_universe_receive, kUniverseIdleTimeoutMs)) {
        universe_link_lost(instance);
      }
      return handled;
    }
    default:
      return false;
  }
}

// The world step of one instance: true when a message was handled.
bool world_step(Instance* instance, std::uint32_t now) {
  switch (instance->world_state) {
    case kWorldReconnectPending:
      if (instance->universe_state == kUniverseLoggedIn &&
          reached(now, instance->world_reconnect_time)) {
        if (world_connect(instance) != 0 || world_send_login(instance) != 0) {
          world_link_lost(instance);
        }
      }
      return false;
    case kWorldLoggingIn:
      if (later_than(now, instance->world_login_time, kLoginTimeoutMs)) {
        world_link_lost(instance);
        return false;
      }
      [[fallthrough]];
    case kWorldEntered: {
      if (stream_status(instance->world_stream) != 0) {
        world_link_lost(instance);
        return false;
      }
      bool handled = world_read(instance);
      if (library.instances_changed) return handled;
      if (instance->world_stream != nullptr && instance->last_world_receive != 0 &&
          later_than(now, instance->last_world_receive, kWorldIdleTimeoutMs)) {
        world_link_lost(instance);
      }
      return handled;
    }
    default:
      return false;
  }
}

// Sends the new event mask to every entered world.
void event_mask_broadcast() {
  for (Instance* instance = library.instances; instance != nullptr;) {
    Instance* next = instance->next;
    if (instance->world_state == kWorldEntered && world_send_event_mask(instance) != 0) {
      world_link_lost(instance);
      if (library.instances_changed) return;
    }
    instance = next;
  }
}

// Waits on every open stream; an idle library sleeps instead.
Stream* socket_wait_default(int wait_ms) {
  if (tunnel_count() > 0) return stream_wait(wait_ms);
  poll(nullptr, 0, wait_ms);
  return nullptr;
}

PumpSocketWait socket_wait = socket_wait_default;

// Reads one message from the stream that the socket wait reported, as the
// link steps would: a universe link that is open but not logged in is never
// read. Its instance is looked at again by the next pass.
bool read_ready(Stream* ready) {
  auto* instance = static_cast<Instance*>(stream_user(ready));
  if (instance == nullptr) return false;
  instance_attend(instance);
  if (ready == instance->universe_stream) {
    return instance->universe_state != kUniverseConnected && universe_read(instance);
  }
  return ready == instance->world_stream && world_read(instance);
}

// Bytes that a full socket left in a send buffer go out as soon as it takes
// them again, rather than with the link's next message; a link whose socket
// has taken nothing for too long is lost. Only the links the look covers.
void flush_pending(Instance* instance, std::uint8_t links) {
  if ((links & kLookUniverse) != 0 && stream_pending_send(instance->universe_stream) > 0 &&
      stream_flush(instance->universe_stream) != 0) {
    universe_link_lost(instance);
    if (library.instances_changed) return;
  }
  if ((links & kLookWorld) != 0 && stream_pending_send(instance->world_stream) > 0 &&
      stream_flush(instance->world_stream) != 0) {
    world_link_lost(instance);
  }
}

// Quiet links get an empty keep-alive message.
void keep_alive(Instance* instance, std::uint32_t now) {
  Stream* universe = instance->universe_stream;
  if (instance->universe_state == kUniverseLoggedIn &&
      later_than(now, stream_last_send(universe), kUniverseKeepAliveMs) &&
      stream_send(universe, FIELD_BEGIN, to_universe::kKeepAlive, FIELD_END) != 0) {
    universe_link_lost(instance);
  }
  if (library.instances_changed) return;
  if (instance->world_state == kWorldEntered &&
      later_than(now, stream_last_send(instance->world_stream), kWorldKeepAliveMs) &&
      stream_send(instance->world_stream, FIELD_BEGIN, to_world::kKeepAlive, FIELD_END) != 0) {
    world_link_lost(instance);
  }
}

// While a link holds bytes its socket would not take, the pump looks again
// this often, so that the send time-out is found without new traffic.
constexpr std::int32_t kPendingSendCheckMs = 1000;

// The milliseconds from now until a moment that is due after a span: the
// pump's tests are "later than", so the moment itself is one past it.
std::int32_t until(std::uint32_t now, std::uint32_t since, std::uint32_t span) {
  auto left = static_cast<std::int32_t>(since + span - now) + 1;
  return left > 0 ? left : 0;
}

std::int32_t until_due(std::uint32_t now, std::uint32_t due) {
  auto left = static_cast<std::int32_t>(due - now);
  return left > 0 ? left : 0;
}

// The first timed work of one instance's links, or -1 when they have none.
std::int32_t instance_next_timeout(const Instance* instance, std::uint32_t now) {
  std::int32_t next = -1;
  auto take = [&](std::int32_t left) {
    if (next < 0 || left < next) next = left;
  };
  switch (instance->universe_state) {
    case kUniverseReconnectPending:
      take(until_due(now, instance->universe_reconnect_time));
      break;
    case kUniverseLoggingIn:
      take(until(now, instance->universe_login_time, kLoginTimeoutMs));
      break;
    case kUniverseLoggedIn:
      take(until(now, stream_last_send(instance->universe_stream), kUniverseKeepAliveMs));
      if (instance->universe_build >= kUniverseBuildIdleTimeout &&
          instance->last_universe_receive != 0) {
        take(until(now, instance->last_universe_receive, kUniverseIdleTimeoutMs));
      }
      break;
    default:
      break;
  }
  switch (instance->world_state) {
    case kWorldReconnectPending:
      if (instance->universe_state == kUniverseLoggedIn) {
        take(until_due(now, instance->world_reconnect_time));
      }
      break;
    case kWorldLoggingIn:
      take(until(now, instance->world_login_time, kLoginTimeoutMs));
      break;
    case kWorldEntered:
      take(until(now, stream_last_send(instance->world_stream), kWorldKeepAliveMs));
      if (instance->last_world_receive != 0) {
        take(until(now, instance->last_world_receive, kWorldIdleTimeoutMs));
      }
      break;
    default:
      break;
  }
  // With bytes still to send, the send time-out runs inside api_wait; a link
  // with work now is told apart (instance_has_work_now).
  for (const Stream* stream : {instance->universe_stream, instance->world_stream}) {
    if (stream_pending_send(stream) > 0) take(kPendingSendCheckMs);
  }
  return next;
}

// A link whose status has failed (the loss is handled), or that holds a
// whole message received ahead (read without the socket), has work now.
bool link_has_work_now(const Stream* stream) {
  return (stream != nullptr && stream_status(stream) != 0) || stream_message_waiting(stream);
}

std::uint8_t links_with_work_now(const Instance* instance) {
  return (link_has_work_now(instance->universe_stream) ? kLookUniverse : 0) |
         (link_has_work_now(instance->world_stream) ? kLookWorld : 0);
}

bool instance_has_work_now(const Instance* instance) {
  return links_with_work_now(instance) != 0;
}

// An instance whose links have no news and whose first timed work is not due
// is passed over on its first fields alone, so that idle instances cost a
// pass next to nothing.
bool needs_look(const Instance* instance, std::uint32_t now) {
  return instance->attention || reached(now, instance->next_due);
}

// The instances a sweep found, for a pass that need not look at them all.
struct Swept {
  static constexpr int kMost = 256;
  Instance* instances[kMost];
  int count = 0;
  bool overflow = false;  // more than kMost: the pass looks at all
};
Swept* sweeping = nullptr;  // the list of the sweep being made

void list_add(Swept& list, Instance* instance) {
  if (list.count < Swept::kMost) {
    list.instances[list.count++] = instance;
  } else {
    list.overflow = true;
  }
}

// A sweep found input on the stream, or room for its unsent bytes.
void attend(void* stream) {
  auto* instance = static_cast<Instance*>(stream_user(static_cast<Stream*>(stream)));
  if (instance == nullptr || sweeping == nullptr) return;
  instance->look_links |= stream == instance->universe_stream ? kLookUniverse : kLookWorld;
  if (instance->attention) return;  // listed already
  instance->attention = true;
  list_add(*sweeping, instance);
}

// The instances left with work now by their last look, for the next pass.
Swept carried;

// After a look: passed over until its links have news or its first timed
// work falls due (a time without any is looked at again in a while); one
// with work now stays marked and is carried to the next pass.
constexpr std::uint32_t kNothingDueMs = 0x40000000;

void settle(Instance* instance, std::uint32_t now) {
  std::int32_t left = instance_next_timeout(instance, now);
  instance->next_due = now + (left < 0 ? kNothingDueMs : static_cast<std::uint32_t>(left));
  instance->look_links = links_with_work_now(instance);
  instance->attention = instance->look_links != 0;
  if (instance->attention) list_add(carried, instance);
}

}  // namespace

void pump_forget(const Instance* instance) {
  int kept = 0;
  for (int k = 0; k < carried.count; ++k) {
    if (carried.instances[k] != instance) carried.instances[kept++] = carried.instances[k];
  }
  carried.count = kept;
}

void pump_set_socket_wait(PumpSocketWait wait) {
  socket_wait = wait != nullptr ? wait : socket_wait_default;
}

namespace {

int pump_depth = 0;  // passes running, the outermost included

// One look at an instance: its link steps, unsent bytes and keep-alives,
// then the clock of its first timed work. True when a message was handled.
bool look(Instance* instance, std::uint32_t now) {
  // Due timed work widens the look to everything; a link with news alone is
  // read (and handed its unsent bytes) without the other.
  std::uint8_t links = reached(now, instance->next_due) ? kLookAll : instance->look_links;
  bool handled = false;
  if ((links & kLookUniverse) != 0) {
    handled = universe_step(instance, now);
    if (library.instances_changed) return handled;
  }
  if ((links & kLookWorld) != 0) {
    handled |= world_step(instance, now);
    if (library.instances_changed) return handled;
  }
  flush_pending(instance, links);
  if (library.instances_changed) return handled;
  if (links == kLookAll) {
    keep_alive(instance, now);
    if (library.instances_changed) return handled;
  }
  settle(instance, now);
  return handled;
}

int pump_pass_steps(int wait_ms, const Swept& swept) {
  messages_waiting = false;
  if (library.events_changed) {
    library.events_changed = 0;
    library.instances_changed = 0;
    if (event_mask_update()) event_mask_broadcast();
    if (library.instances_changed) return 1;
  }
  library.instances_changed = 0;
  std::uint32_t now = clock_now();
  bool handled = false;
  if (library.look_at_all || swept.overflow || reached(now, library.earliest_due)) {
    // Every instance, each looked at where it has news or work due; the
    // earliest due time is found anew.
    library.look_at_all = false;
    std::uint32_t earliest = now + kNothingDueMs;
    for (Instance* instance = library.instances; instance != nullptr;) {
      Instance* next = instance->next;
      if (needs_look(instance, now)) {
        handled |= look(instance, now);
        if (library.instances_changed) return 1;
      }
      if (static_cast<std::int32_t>(instance->next_due - earliest) < 0) {
        earliest = instance->next_due;
      }
      instance = next;
    }
    library.earliest_due = earliest;
  } else {
    // Only those whose links the sweep found busy: nothing else is due.
    for (int k = 0; k < swept.count; ++k) {
      Instance* instance = swept.instances[k];
      if (!instance->attention) continue;  // a pass run from a handler looked already
      handled |= look(instance, now);
      if (library.instances_changed) return 1;
      if (static_cast<std::int32_t>(instance->next_due - library.earliest_due) < 0) {
        library.earliest_due = instance->next_due;
      }
    }
  }
  if (!handled && wait_ms > 0) {
    // The socket wait ends by the first timed work that falls due, so that a
    // link is reopened, kept alive or timed out on time.
    auto bound = static_cast<std::int32_t>(library.earliest_due - clock_now());
    if (bound > wait_ms) bound = wait_ms;
    Stream* ready = socket_wait(bound < 1 ? 1 : bound);
    if (ready != nullptr) handled = read_ready(ready);
    if (library.instances_changed) return 1;
  }
  return handled ? 1 : 0;
}

}  // namespace

int pump_pass(int wait_ms) {
  if (!library.initialised || library.instances == nullptr) return 0;
  // A pass run from a handler clears the flag for its own steps. A destroy
  // that the handler made before it must still end the pass that called the
  // handler, which may hold a pointer to the destroyed instance.
  int changed_before = library.instances_changed;
  ++pump_depth;
  // One look at every link first: the instances whose links have news are
  // marked, and the links with nothing waiting are passed over without a
  // receive each.
  // The instances carried from the last pass first, then the sweep's.
  Swept swept = carried;
  carried.count = 0;
  carried.overflow = false;
  Swept* outer = sweeping;
  sweeping = &swept;
  tunnel_sweep(attend);
  sweeping = outer;
  int result = pump_pass_steps(wait_ms, swept);
  tunnel_sweep_end();
  // A pass that ended early leaves marks that only a look at all finds.
  if (library.instances_changed) library.look_at_all = true;
  // The library's descriptor stays readable while a pass may have left work:
  // messages received ahead, or what a busy pass did not get to.
  readiness_signal(result == 1 || messages_waiting);
  --pump_depth;
  if (pump_depth > 0) library.instances_changed |= changed_before;
  return result;
}

extern "C" ORBILO_SDK_API int api_wait(int milliseconds) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  if (library.instances == nullptr) return RC_NO_INSTANCE;
  if (milliseconds < 0) {
    // Runs for as long as the program does; ends only when no instance is left.
    while (library.initialised && library.instances != nullptr) pump_pass(kWaitSliceMs);
    return RC_SUCCESS;
  }
  if (milliseconds == 0) {
    while (pump_pass(0) == 1) {
    }
    return RC_SUCCESS;
  }
  int left = milliseconds;
  while (left > 0) {
    int slice = left < kWaitSliceMs ? left : kWaitSliceMs;
    std::uint32_t start = clock_now();
    pump_pass(slice);
    std::uint32_t spent = clock_now() - start;
    left -= spent > static_cast<std::uint32_t>(left) ? left : static_cast<int>(spent);
    if (library.instances == nullptr) break;
  }
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API int api_next_timeout() {
  if (!library_initialised()) return -1;
  // A new event mask goes out to the worlds, when there is an instance.
  if (library.events_changed && library.instances != nullptr) return 0;
  std::uint32_t now = clock_now();
  std::int32_t next = -1;
  for (const Instance* instance = library.instances; instance != nullptr;
       instance = instance->next) {
    std::int32_t left = instance_has_work_now(instance) ? 0 : instance_next_timeout(instance, now);
    if (left >= 0 && (next < 0 || left < next)) next = left;
  }
  return next;
}

}  // namespace orbilo
