// The public operations: logging in, entering and leaving a world, sending
// the bot's state, whispering and looking a citizen up. An operation that
// waits for a reply blocks, running the pump, unless its callback is
// installed; then it returns at once and the reply reaches the callback.
#include <cctype>
#include <cstring>

#include "protocol/messages.h"
#include "sdk/attributes.h"
#include "sdk/handlers.h"
#include "sdk/instance.h"
#include "sdk/library.h"
#include "sdk/stream.h"

namespace orbilo {

namespace {

// The longest message an operation sends: a whisper with 255 characters
// (length field, id, session, text length, text).
constexpr int kLargestOperationMessage = 2 + 1 + 2 + 1 + 255;

// Makes sure that the send buffer has room for the message of an operation
// behind the messages that still wait for the socket. When they leave no
// room, the socket has not taken them yet: they are offered to it again, and
// if it still takes too few the operation is refused with RC_NOT_YET while
// the link stays as it is; the caller may try again later. Once the socket
// has taken nothing for 20 s that offer answers RC_TIMEOUT, which fails the
// stream, and the pump gives the link up. Without this check the message
// would run the buffer over, and the link would be dropped at once for a
// peer that merely stopped reading for a moment.
int send_room(Stream* stream) {
  if (stream_pending_send(stream) <= kStreamBufferSize - kLargestOperationMessage) return 0;
  int rc = stream_flush(stream);
  if (rc != 0) return rc;
  return stream_pending_send(stream) <= kStreamBufferSize - kLargestOperationMessage ? 0
                                                                                     : RC_NOT_YET;
}

// The common precondition of the operations: 0 and *instance, or the code.
int operation_check(Instance** instance) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  *instance = library.current;
  if (*instance == nullptr) return RC_NO_INSTANCE;
  instance_attend(*instance);  // its links have news for the next pass
  if ((*instance)->universe_address != 0 && (*instance)->universe_state != kUniverseLoggedIn) {
    return RC_NO_CONNECTION;
  }
  return RC_SUCCESS;
}

// A call that would wait for a universe reply (its callback not installed),
// made from a handler that is still reading a universe message, could never
// read that reply behind the message: RC_QUERY_IN_PROGRESS. The operations
// ask before they change or send anything, so that the refusal changes
// nothing.
int blocking_refused(const Instance* instance, int callback) {
  if (callback_installed(callback) || !message_open(instance->universe_stream)) return 0;
  return RC_QUERY_IN_PROGRESS;
}

// Runs pump passes until universe message id arrives (0), or until the
// universe link is closed for good (RC_UNABLE_TO_CONNECT). A destroyed
// instance ends the wait too (RC_NO_INSTANCE): there is nothing left to wait
// on. A request made on a logged-in link (every one but the login) is lost
// with that link, whose reopened successor never answers it: the wait ends
// then with RC_CONNECTION_LOST, where it would otherwise never end.
int wait_reply(Instance* instance, from_universe::Id id) {
  // The operations refuse this case before they send (blocking_refused); a
  // wait that got here anyway must not wait for ever.
  if (message_open(instance->universe_stream)) return RC_QUERY_IN_PROGRESS;
  bool on_logged_in_link = instance->universe_state == kUniverseLoggedIn;
  instance->last_universe_message_id = -1;
  for (;;) {
    pump_pass(kWaitSliceMs);
    if (!instance_is_live(instance)) return RC_NO_INSTANCE;
    if (instance->universe_state == kUniverseClosed) return RC_UNABLE_TO_CONNECT;
    if (instance->last_universe_message_id == id) return RC_SUCCESS;
    if (on_logged_in_link && instance->universe_state != kUniverseLoggedIn) {
      return RC_CONNECTION_LOST;
    }
  }
}

// Closes the world link, if any, and forgets that the state was sent.
void world_leave(Instance* instance) {
  stream_destroy(instance->world_stream);
  instance->world_stream = nullptr;
  instance->world_state = kWorldNone;
  instance->state_sent = 0;
}

}  // namespace

extern "C" ORBILO_SDK_API int api_login() {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  Instance* instance = library.current;
  if (instance == nullptr) return RC_NO_INSTANCE;
  instance_attend(instance);  // its links have news for the next pass
  if (instance->universe_state == kUniverseClosed) return RC_NO_CONNECTION;
  int rc = blocking_refused(instance, CALLBACK_LOGIN);
  if (rc != 0) return rc;
  rc = universe_send_login(instance);
  if (rc != 0) return rc;
  instance->universe_state = kUniverseLoggingIn;
  if (callback_installed(CALLBACK_LOGIN)) return RC_SUCCESS;
  instance->last_universe_result = 0;
  rc = wait_reply(instance, from_universe::kLoginReply);
  if (!instance_is_live(instance)) return rc;
  return instance->last_universe_result != 0 ? instance->last_universe_result : rc;
}

extern "C" ORBILO_SDK_API int api_enter(const char* world) {
  Instance* instance = nullptr;
  int rc = operation_check(&instance);
  if (rc != 0) return rc;
  if ((rc = blocking_refused(instance, CALLBACK_ENTER)) != 0) return rc;
  if (world != nullptr && (rc = send_room(instance->universe_stream)) != 0) return rc;
  world_leave(instance);
  if (world == nullptr) return RC_NULL_POINTER;
  std::size_t length = std::strlen(world);
  if (length > static_cast<std::size_t>(kWorldNameMax)) return RC_INVALID_WORLD_NAME;
  for (std::size_t k = 0; k < length; ++k) {
    instance->world_name[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(world[k])));
  }
  instance->world_name[length] = '\0';
  instance->world_name_length = static_cast<int>(length);
  attribute_set_from_text(instance->attributes, ATTR_WORLD_NAME, instance->world_name);
  instance->world_address = 0;
  instance->world_port = 0;
  instance->world_entered = 0;
  instance->state_sent = 0;
  instance->last_world_receive = 0;
  rc = stream_send(instance->universe_stream, FIELD_BEGIN, to_universe::kWorldLookup, FIELD_STRING,
                   world, FIELD_END);
  if (rc != 0) return rc;
  if (callback_installed(CALLBACK_ENTER)) return RC_SUCCESS;
  rc = wait_reply(instance, from_universe::kWorldReply);
  return rc != 0 ? rc : enter_complete(instance);
}

int enter_complete(Instance* instance) {
  int outcome = instance->last_universe_result;
  if (outcome == kUniverseResultNotWelcome) outcome = RC_NOT_WELCOME;
  if (outcome == 0 && instance->world_build < kWorldBuildOldest) outcome = RC_WORLD_BUILD_TOO_OLD;
  if (outcome == 0) {
    outcome = world_connect(instance);
    if (outcome == 0) outcome = world_send_login(instance);
    if (outcome == 0) {
      if (callback_installed(CALLBACK_ENTER)) return RC_SUCCESS;
      while (instance->world_state == kWorldLoggingIn) {
        pump_pass(kWaitSliceMs);
        if (!instance_is_live(instance)) return RC_NO_INSTANCE;
      }
      if (instance->world_state == kWorldEntered) return RC_SUCCESS;
      return attribute_get_int(instance->attributes, ATTR_DISCONNECT_REASON);
    }
    // A stream that opened but could not carry the login is not kept.
    stream_destroy(instance->world_stream);
    instance->world_stream = nullptr;
  }
  callback_fire(instance, CALLBACK_ENTER, outcome);
  return outcome;
}

extern "C" ORBILO_SDK_API int api_exit() {
  Instance* instance = nullptr;
  int rc = operation_check(&instance);
  if (rc != 0) return rc;
  world_leave(instance);
  return RC_SUCCESS;
}

extern "C" ORBILO_SDK_API int api_state_change() {
  Instance* instance = nullptr;
  int rc = operation_check(&instance);
  if (rc != 0) return rc;
  if (instance->world_state != kWorldEntered) return RC_NO_CONNECTION;
  if ((rc = send_room(instance->world_stream)) != 0) return rc;
  instance->state_sent = 1;
  const AttributeStore* attributes = instance->attributes;
  return stream_send(instance->world_stream, FIELD_BEGIN, to_world::kStateChange, FIELD_LONG,
                     attribute_get_int(attributes, ATTR_MY_X), FIELD_LONG,
                     attribute_get_int(attributes, ATTR_MY_Y), FIELD_LONG,
                     attribute_get_int(attributes, ATTR_MY_Z), FIELD_WORD,
                     attribute_get_int(attributes, ATTR_MY_YAW), FIELD_BYTE,
                     attribute_get_int(attributes, ATTR_MY_TYPE), FIELD_BYTE,
                     attribute_get_int(attributes, ATTR_MY_GESTURE), FIELD_END);
}

extern "C" ORBILO_SDK_API int api_whisper(int session, const char* text) {
  Instance* instance = nullptr;
  int rc = operation_check(&instance);
  if (rc != 0) return rc;
  if (instance->world_state != kWorldEntered) return RC_NO_CONNECTION;
  if (text != nullptr && std::strlen(text) > 255) return RC_STRING_TOO_LONG;
  if ((rc = send_room(instance->world_stream)) != 0) return rc;
  return stream_send(instance->world_stream, FIELD_BEGIN, to_world::kWhisper, FIELD_WORD, session,
                     FIELD_STRING, text, FIELD_END);
}

extern "C" ORBILO_SDK_API int api_citizen_lookup(int citizen) {
  Instance* instance = nullptr;
  int rc = operation_check(&instance);
  if (rc != 0) return rc;
  if ((rc = blocking_refused(instance, CALLBACK_CITIZEN_LOOKUP)) != 0) return rc;
  if ((rc = send_room(instance->universe_stream)) != 0) return rc;
  rc = stream_send(instance->universe_stream, FIELD_BEGIN, to_universe::kCitizenLookup, FIELD_LONG,
                   citizen, FIELD_END);
  if (rc != 0) return rc;
  if (callback_installed(CALLBACK_CITIZEN_LOOKUP)) return RC_SUCCESS;
  rc = wait_reply(instance, from_universe::kCitizenRecord);
  return rc != 0 ? rc : instance->last_universe_result;
}

}  // namespace orbilo
