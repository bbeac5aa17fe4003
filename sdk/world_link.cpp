// The world link of an instance: opening it, the world login by the world's
// build, the event mask, and the loss, reopening and closing of the link.
#include <cstring>

#include "net/clock.h"
#include "protocol/messages.h"
#include "protocol/values.h"
#include "sdk/attributes.h"
#include "sdk/hash_table.h"
#include "sdk/instance.h"
#include "sdk/stream.h"

namespace orbilo {

namespace {

// The login hash: the table hash of the four check bytes followed by the
// world name padded with zero bytes to 8.
std::uint32_t login_hash(const Instance* instance) {
  std::uint8_t bytes[kLoginCheckBytes + kWorldNameMax] = {};
  std::memcpy(bytes, instance->login_check, kLoginCheckBytes);
  std::memcpy(bytes + kLoginCheckBytes, instance->world_name,
              static_cast<std::size_t>(instance->world_name_length));
  return table_hash(bytes, sizeof bytes);
}

}  // namespace

int world_connect(Instance* instance) {
  int rc = stream_create(instance->world_address, instance->world_port, &instance->world_stream);
  stream_set_user(instance->world_stream, instance);  // the pump's sweep finds it by this
  return rc;
}

int world_send_login(Instance* instance) {
  std::uint32_t hash = login_hash(instance);
  Stream* stream = instance->world_stream;
  if (stream == nullptr) return RC_NO_STREAM;
  if (!stream_is_enciphered(stream)) {
    int rc = stream_send(stream, FIELD_CIPHER, kSessionKey, kSessionKeyLength, FIELD_STATUS);
    if (rc != 0) return rc;
  }
  const char* name = instance->world_name;
  int build = instance->world_build;
  int rc;
  if (build < kWorldBuildOldest) {
    return RC_WORLD_BUILD_TOO_OLD;
  } else if (build < kWorldBuildLongSession) {
    rc = stream_send(stream, FIELD_BEGIN, to_world::kLoginShortSession, FIELD_STRING, name,
                     FIELD_WORD, static_cast<int>(instance->session_number & 0xffff), FIELD_BYTE,
                     kWorldLoginShortSessionByte, FIELD_LONG, instance->login_number, FIELD_END);
  } else if (build < kWorldBuildHashedLogin) {
    rc = stream_send(stream, FIELD_BEGIN, to_world::kLoginLongSession, FIELD_STRING, name,
                     FIELD_LONG, instance->session_number, FIELD_LONG, instance->login_number,
                     FIELD_WORD, ORBILO_SDK_BUILD, FIELD_END);
  } else {
    rc = stream_send(stream, FIELD_BEGIN, to_world::kLoginHashed, FIELD_STRING, name, FIELD_LONG,
                     instance->session_number, FIELD_LONG, instance->login_number, FIELD_WORD,
                     ORBILO_SDK_BUILD, FIELD_RAW4, instance->world_address, FIELD_WORD_LE,
                     static_cast<int>(instance->world_port), FIELD_LONG, library.machine_id,
                     FIELD_BYTE, attribute_get_int(instance->attributes, ATTR_WORLD_LOGIN_OPTION),
                     FIELD_LONG, hash, FIELD_END);
  }
  if (rc != 0) return rc;
  instance->world_login_time = clock_now();
  instance->world_state = kWorldLoggingIn;
  return RC_SUCCESS;
}

int world_send_event_mask(Instance* instance) {
  return stream_send(instance->world_stream, FIELD_BEGIN, to_world::kEventMask, FIELD_LONG,
                     library.event_mask, FIELD_END);
}

void world_reconnect_schedule(Instance* instance) {
  stream_destroy(instance->world_stream);
  instance->world_stream = nullptr;
  instance->world_state = kWorldReconnectPending;
  instance->world_reconnect_time = clock_now() + kReconnectDelayMs;
  instance->last_world_receive = 0;
}

void world_link_lost(Instance* instance) {
  if (instance->world_state == kWorldEntered) world_disconnect(instance, RC_CONNECTION_LOST);
  // The disconnect event may have destroyed this instance; another one's
  // destruction leaves this link to be reopened.
  if (instance_is_live(instance)) world_reconnect_schedule(instance);
}

void world_disconnect(Instance* instance, int reason) {
  int state = instance->world_state;
  stream_destroy(instance->world_stream);
  instance->world_stream = nullptr;
  instance->world_state = kWorldNone;
  attribute_set_int(instance->attributes, ATTR_DISCONNECT_REASON, reason);
  if (state == kWorldEntered || (state == kWorldLoggingIn && instance->world_entered)) {
    event_fire(instance, EVENT_WORLD_DISCONNECT);
  } else if (!instance->world_entered) {
    callback_fire(instance, CALLBACK_ENTER, reason);
  }
}

}  // namespace orbilo
