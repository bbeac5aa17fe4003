// The universe link of an instance: opening it, the login that starts it, and
// what happens when it is lost.
#include "net/clock.h"
#include "protocol/messages.h"
#include "protocol/values.h"
#include "sdk/attributes.h"
#include "sdk/instance.h"
#include "sdk/stream.h"

namespace orbilo {

int universe_connect(Instance* instance) {
  instance->last_universe_receive = 0;
  int rc = stream_create(instance->universe_address, instance->universe_port,
                         &instance->universe_stream);
  stream_set_user(instance->universe_stream, instance);  // the pump's sweep finds it by this
  return rc;
}

int universe_send_login(Instance* instance) {
  Stream* stream = instance->universe_stream;
  // No stream while the link waits to be reopened: the stream layer's answer
  // for a link that does not exist.
  if (stream == nullptr) return RC_NO_STREAM;
  // The first message of a link goes out under a send cipher keyed with the
  // session key, enciphered from the byte after its id.
  if (!stream_is_enciphered(stream)) {
    int rc = stream_send(stream, FIELD_CIPHER, kSessionKey, kSessionKeyLength, FIELD_STATUS);
    if (rc != 0) return rc;
  }
  const AttributeStore* attributes = instance->attributes;
  int rc =
      stream_send(stream, FIELD_BEGIN, to_universe::kLogin, FIELD_LONG, ORBILO_SDK_BUILD,
                  FIELD_STRING, attribute_get_string(attributes, ATTR_LOGIN_NAME), FIELD_LONG,
                  attribute_get_int(attributes, ATTR_LOGIN_OWNER), FIELD_STRING,
                  attribute_get_string(attributes, ATTR_LOGIN_PRIVILEGE_PASSWORD), FIELD_STRING,
                  attribute_get_string(attributes, ATTR_LOGIN_APPLICATION), FIELD_END);
  // The login time-out counts from a login that went out.
  if (rc == 0) instance->universe_login_time = clock_now();
  return rc;
}

void universe_link_lost(Instance* instance) {
  if (!instance_is_live(instance) || instance->universe_address == 0) return;
  stream_destroy(instance->universe_stream);
  instance->universe_stream = nullptr;
  if (instance->reconnect_enabled) {
    instance->universe_state = kUniverseReconnectPending;
    instance->universe_reconnect_time = clock_now() + kReconnectDelayMs;
    return;
  }
  instance->universe_state = kUniverseClosed;
  callback_fire(instance, CALLBACK_LOGIN, RC_UNABLE_TO_CONNECT);
}

}  // namespace orbilo
