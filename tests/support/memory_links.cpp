#include "support/memory_links.h"

#include "sdk/attributes.h"
#include "sdk/stream.h"

namespace orbilo {

namespace memory_links {
namespace {

constexpr int kMark = 12345;  // written where a message must not write

// Frames what build() writes on a stream of its own and moves it to the
// receiving end.
template <typename Build>
void deliver(Stream* to, Build build) {
  Stream* sender = nullptr;
  ASSERT_EQ(stream_create_unconnected(&sender), 0);
  EXPECT_EQ(build(sender), 0);
  EXPECT_EQ(stream_deliver(sender, to), 0);
  stream_destroy_attached(sender);
}

void uninstall_everything() {
  for (int event = 0; event < kEventCount; ++event) api_event_set(event, nullptr);
  for (int callback = 0; callback < kCallbackCount; ++callback) {
    api_callback_set(callback, nullptr);
  }
}

}  // namespace

void Links::release() {
  // The library lets go of the streams first; a handler may have swapped
  // them for its own already (a redirect, a renumbering).
  if (instance_ != nullptr && instance_is_live(instance_)) {
    if (instance_->universe_stream == universe_) instance_->universe_stream = nullptr;
    if (instance_->world_stream == world_) instance_->world_stream = nullptr;
  }
  stream_destroy_attached(universe_);
  stream_destroy_attached(world_);
  universe_ = world_ = nullptr;
}

void Links::reset(Instance* instance, int universe_build, int world_build) {
  release();
  instance_ = instance;
  // The library's own streams, if any, are in its list and closed by it.
  stream_destroy(instance->universe_stream);
  stream_destroy(instance->world_stream);
  ASSERT_EQ(stream_create_unconnected(&universe_), 0);
  ASSERT_EQ(stream_create_unconnected(&world_), 0);
  instance->universe_stream = universe_;
  instance->world_stream = world_;
  instance->universe_state = kUniverseLoggedIn;
  instance->universe_build = universe_build;
  instance->world_state = kWorldEntered;
  instance->world_build = world_build;
  instance->world_entered = 1;
  instance->state_sent = 0;
  instance->cell_bound = 0;
  instance->lookup_value = 0;
}

int Links::universe(int result, int id, const Bytes& fields) {
  deliver(universe_, [&](Stream* sender) {
    return stream_send(sender, FIELD_BEGIN, result, FIELD_BYTE, id, FIELD_BYTES,
                       static_cast<int>(fields.size()), fields.data(), FIELD_END);
  });
  return receive_universe_message(instance_);
}

int Links::world(int id, const Bytes& fields) {
  deliver(world_, [&](Stream* sender) {
    return stream_send(sender, FIELD_BEGIN, id, FIELD_BYTES, static_cast<int>(fields.size()),
                       fields.data(), FIELD_END);
  });
  return receive_world_message(instance_);
}

void MemoryLinkTest::SetUp() {
  SessionTest::SetUp();
  create();
}

namespace {

// Shared by both links: receive(body) resets the links and reads the message.
template <typename Receive>
void run_case(Instance* instance, const ShortCase& each, Receive receive) {
  SCOPED_TRACE(each.name);
  uninstall_everything();
  AttributeStore* attributes = instance->attributes;
  if (each.untouched >= 0) attribute_set_int(attributes, each.untouched, kMark);
  EXPECT_EQ(receive(each.body), 0);
  if (each.untouched >= 0) {
    EXPECT_EQ(attribute_get_int(attributes, each.untouched), kMark);
  }

  session::install_everything();
  session::calls = session::Calls{};
  ASSERT_FALSE(each.body.empty());
  EXPECT_NE(receive(Bytes(each.body.begin(), each.body.end() - 1)), 0);
  EXPECT_EQ(session::calls.events, each.events);
  EXPECT_EQ(session::calls.callbacks, each.callbacks);
}

}  // namespace

void MemoryLinkTest::run_world(const ShortCase& each) {
  run_case(instance(), each, [&](const Bytes& body) {
    links_.reset(instance(), 35, each.build);
    return links_.world(each.id, body);
  });
}

void MemoryLinkTest::run_universe(const ShortCase& each, int result) {
  run_case(instance(), each, [&](const Bytes& body) {
    links_.reset(instance(), each.build, 39);
    return links_.universe(result, each.id, body);
  });
}

}  // namespace memory_links

}  // namespace orbilo
