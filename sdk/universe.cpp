// The universe's messages: receive_universe_message reads one and hands it to
// the handler of its id. The handlers complete the program's requests through
// callbacks, report news through events, keep what the universe says in the
// attributes, and drive the links (login reply, world lookup reply, cipher
// keys, redirect, session renumbering).
#include <arpa/inet.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "net/clock.h"
#include "protocol/messages.h"
#include "protocol/values.h"
#include "sdk/attributes.h"
#include "sdk/handlers.h"
#include "sdk/instance.h"
#include "sdk/stream.h"
#include "sdk/universe_replies.h"

namespace orbilo {

// The session's own handlers, beside the table that names them all.
namespace universe_handlers {

// Message 0: the world lookup reply for the world being entered.
void world_lookup_reply(Instance* instance, Stream* stream, int) {
  char name[256];
  std::uint32_t address = 0;
  std::uint16_t port = 0, build = 0, lookup_value = 0, cell_bound = 0;
  if (stream_receive(stream, FIELD_STRING, name, FIELD_STATUS) != 0) return;
  bool found = instance->last_universe_result == 0;
  if (found) {
    stream_receive(stream, FIELD_LONG, &address, FIELD_WORD, &port, FIELD_WORD, &build,
                   FIELD_STATUS);
    if (instance->universe_build >= kUniverseBuildCellBound) {
      stream_receive(stream, FIELD_WORD, &lookup_value, FIELD_WORD, &cell_bound, FIELD_STATUS);
    }
  }
  if (stream_receive(stream, FIELD_END) != 0) return;
  std::size_t length = std::strlen(name);
  bool same = length == static_cast<std::size_t>(instance->world_name_length);
  for (std::size_t k = 0; same && k < length; ++k) {
    same = std::tolower(static_cast<unsigned char>(name[k])) ==
           static_cast<unsigned char>(instance->world_name[k]);
  }
  if (!same) {
    // A reply for another world completes nothing: a blocking entry keeps
    // waiting for its own.
    instance->last_universe_message_id = -1;
    return;
  }
  if (found) {
    // Both arrived most significant byte first; they are kept in network order.
    instance->world_address = htonl(address);
    instance->world_port = htons(port);
    instance->world_build = build;
    instance->lookup_value = lookup_value;
    instance->cell_bound = cell_bound;
  }
  if (callback_installed(CALLBACK_ENTER)) enter_complete(instance);
}

// Message 18: the universe moves this link to another address.
void redirect(Instance* instance, Stream* stream, int) {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  if (stream_receive(stream, FIELD_RAW4, &address, FIELD_WORD, &port, FIELD_END) != 0) return;
  stream_destroy(instance->universe_stream);
  instance->universe_stream = nullptr;
  instance->universe_address = address;
  instance->universe_port = htons(port);  // the address came in network order already
  if (universe_connect(instance) != 0 || universe_send_login(instance) != 0) {
    universe_link_lost(instance);
    return;
  }
  instance->universe_state = kUniverseLoggingIn;
}

// Message 20: the login reply.
void login_reply(Instance* instance, Stream* stream, int remaining) {
  int result = instance->last_universe_result;
  if (remaining > 0) {
    std::uint16_t session = 0;
    char name[256];
    std::uint32_t login_number = 0;
    std::uint8_t check[kLoginCheckBytes] = {};
    stream_receive(stream, FIELD_WORD, &session, FIELD_STRING, name, FIELD_STATUS);
    if (instance->universe_build >= kUniverseBuildLoginNumber) {
      stream_receive(stream, FIELD_LONG, &login_number, FIELD_STATUS);
    }
    if (instance->universe_build >= kUniverseBuildLoginCheck) {
      stream_receive(stream, FIELD_RAW4, check, FIELD_STATUS);
    }
    int rc = stream_status(stream);
    if (rc != 0) {
      callback_fire(instance, CALLBACK_LOGIN, rc);
      return;
    }
    instance->session_number = (instance->session_number & 0xffff0000u) | session;
    if (instance->universe_build >= kUniverseBuildLoginNumber) {
      instance->login_number = login_number;
    }
    if (instance->universe_build >= kUniverseBuildLoginCheck) {
      std::memcpy(instance->login_check, check, kLoginCheckBytes);
    }
    attribute_set_from_text(instance->attributes, ATTR_LOGIN_REPLY_NAME, name);
  }
  int rc = stream_receive(stream, FIELD_END);
  if (rc != 0) {
    callback_fire(instance, CALLBACK_LOGIN, rc);
    return;
  }
  if (result == 0) {
    instance->reconnect_enabled = 1;
    instance->universe_state = kUniverseLoggedIn;
    // The universe link was reopened while the bot stayed in its world: the
    // world hears of the new login. A send that fails leaves its failure on
    // the world stream, where the world step finds it after the login
    // callback; a world too old for any login keeps its link as it is.
    if (instance->world_state == kWorldEntered) world_send_login(instance);
  } else {
    instance->universe_state = kUniverseClosed;
    instance->reconnect_enabled = 0;
    stream_destroy(instance->universe_stream);
    instance->universe_stream = nullptr;
  }
  callback_fire(instance, CALLBACK_LOGIN, result);
}

namespace {

// One universe setting: the build and setting 9 are numbers of their own.
void universe_setting_apply(Instance* instance, int key, const char* value) {
  AttributeStore* attributes = instance->attributes;
  if (key == universe_setting::kBuild) {
    instance->universe_build = std::atoi(value);
    attribute_set_int(attributes, ATTR_UNIVERSE_BUILD, instance->universe_build);
  } else if (key == universe_setting::kNumber9) {
    attribute_set_int(attributes, ATTR_UNIVERSE_SETTING_9, std::atoi(value));
  } else {
    int number = universe_setting_attribute(key);
    if (number >= 0) attribute_set_from_text(attributes, number, value);
  }
}

void citizen_setting_apply(Instance* instance, int key, const char* value) {
  int target = citizen_setting_attribute(key);
  if (target >= 0) attribute_set_from_text(instance->attributes, target, value);
}

}  // namespace

// Message 21: the universe's attributes.
void universe_attributes(Instance* instance, Stream* stream, int remaining) {
  AttributeStore* attributes = instance->attributes;
  attribute_set_int(attributes, ATTR_UNIVERSE_SETTING_9, 0);
  attribute_set_int(attributes, ATTR_UNIVERSE_SETTING_10, 1);
  attribute_set_int(attributes, ATTR_UNIVERSE_SETTING_15, 1);
  if (!settings_receive(stream, remaining, universe_setting_apply, instance)) return;
  if (stream_receive(stream, FIELD_END) != 0) return;
  event_fire(instance, EVENT_UNIVERSE_ATTRIBUTES);
}

// Message 22: the cipher keys of the universe link.
void cipher_keys(Instance*, Stream* stream, int) {
  cipher_keys_receive(stream);
}

// Message 25: a citizen record.
void citizen_record(Instance* instance, Stream* stream, int) {
  AttributeStore* attributes = instance->attributes;
  std::int32_t number = 0;
  int remaining = 0;
  if (stream_receive(stream, FIELD_LONG, &number, FIELD_REMAINING, &remaining, FIELD_STATUS) != 0) {
    return;
  }
  attribute_set_int(attributes, ATTR_CITIZEN_NUMBER, number);
  if (!settings_receive(stream, remaining, citizen_setting_apply, instance)) return;
  if (stream_receive(stream, FIELD_END) != 0) return;
  callback_fire(instance, CALLBACK_CITIZEN_LOOKUP, instance->last_universe_result);
}

// Message 27: a new session number (its low 16 bits). The world hears of it
// through a new world login.
void session_renumber(Instance* instance, Stream* stream, int) {
  std::uint16_t session = 0;
  if (stream_receive(stream, FIELD_WORD, &session, FIELD_STATUS) != 0) return;
  instance->session_number = (instance->session_number & 0xffff0000u) | session;
  if (instance->world_stream != nullptr) world_reconnect_schedule(instance);
}

}  // namespace universe_handlers

namespace {

// Every universe message with a handler, by id.
constexpr UniverseHandlerEntry kHandlers[] = {
    {from_universe::kWorldReply, universe_handlers::world_lookup_reply},
    {from_universe::kReply1, universe_handlers::reply_1},
    {from_universe::kReply4, universe_handlers::reply_4},
    {from_universe::kAcknowledgeRequest, universe_handlers::message_9},
    {from_universe::kNotice10, universe_handlers::message_10},
    {from_universe::kReply11, universe_handlers::reply_11},
    {from_universe::kWorldList, universe_handlers::world_list},
    {from_universe::kEntries15, universe_handlers::message_15},
    {from_universe::kNotice16, universe_handlers::message_16},
    {from_universe::kReply17, universe_handlers::message_17},
    {from_universe::kRedirect, universe_handlers::redirect},
    {from_universe::kReply19, universe_handlers::message_19},
    {from_universe::kLoginReply, universe_handlers::login_reply},
    {from_universe::kAttributes, universe_handlers::universe_attributes},
    {from_universe::kCipherKeys, universe_handlers::cipher_keys},
    {from_universe::kRecord23, universe_handlers::message_23},
    {from_universe::kRecordText24, universe_handlers::message_24},
    {from_universe::kCitizenRecord, universe_handlers::citizen_record},
    {from_universe::kCitizenNumber26, universe_handlers::message_26},
    {from_universe::kRenumber, universe_handlers::session_renumber},
    {from_universe::kNotice28, universe_handlers::message_28},
    {from_universe::kReply29, universe_handlers::reply_29},
    {from_universe::kEntry30, universe_handlers::message_30},
    {from_universe::kReply31, universe_handlers::reply_31},
    {from_universe::kKeepAlive, universe_handlers::nothing},
    {from_universe::kWorldListPage, universe_handlers::world_list_page},
    {from_universe::kReply41, universe_handlers::message_41},
    {from_universe::kIgnored42, universe_handlers::nothing},
    {from_universe::kEvent43, universe_handlers::message_43},
};

UniverseHandler handler_of(int id) {
  for (const UniverseHandlerEntry& entry : kHandlers) {
    if (entry.id == id) return entry.handler;
  }
  return nullptr;
}

}  // namespace

int receive_universe_message(Instance* instance) {
  Stream* stream = instance->universe_stream;
  if (message_open(stream)) return RC_NOT_YET;
  int rc = stream_read_message(stream);
  if (rc != 0) return rc;
  std::uint8_t result = 0, id = 0;
  int remaining = 0;
  rc = stream_receive(stream, FIELD_BYTE, &result, FIELD_BYTE, &id, FIELD_REMAINING, &remaining,
                      FIELD_STATUS);
  if (rc != 0) return rc;
  instance->last_universe_message_id = id;
  instance->last_universe_result = result;
  std::uint32_t now = clock_now();
  instance->last_universe_receive = now != 0 ? now : 1;

  UniverseHandler handler = handler_of(id);
  if (handler != nullptr) {
    handler(instance, stream, remaining);
  } else {
    stream_receive(stream, FIELD_SKIP, remaining, FIELD_END);
  }
  // A handler may have destroyed an instance (this one too) or closed this
  // link. A link that lives on still has its message finished, so that the
  // next one starts where it should.
  if (library.instances_changed && !instance_is_live(instance)) return RC_SUCCESS;
  if (instance->universe_stream != stream) return RC_SUCCESS;
  if (stream_status(stream) == 0) message_finish(stream);
  return stream_status(stream);
}

}  // namespace orbilo
