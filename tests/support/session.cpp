#include "support/session.h"

#include <arpa/inet.h>

#include <array>
#include <chrono>
#include <cstring>
#include <utility>

#include "net/identity.h"
#include "sdk/stream.h"

namespace orbilo {

namespace session {

Calls calls;

int Calls::count_event(int event) const {
  int count = 0;
  for (int each : events) count += each == event;
  return count;
}

int Calls::count_callback(int callback) const {
  int count = 0;
  for (const auto& each : callbacks) count += each.first == callback;
  return count;
}

int Calls::last_rc(int callback) const {
  int rc = -1;
  for (const auto& each : callbacks) {
    if (each.first == callback) rc = each.second;
  }
  return rc;
}

namespace {

template <int N>
void record_callback(int rc) {
  calls.callbacks.emplace_back(N, rc);
}

template <int N>
void record_event() {
  calls.events.push_back(N);
}

constexpr EventHandler kEventRecorders[kEventCount] = {
    record_event<0>,  record_event<1>,  record_event<2>,  record_event<3>,  record_event<4>,
    record_event<5>,  record_event<6>,  record_event<7>,  record_event<8>,  record_event<9>,
    record_event<10>, record_event<11>, record_event<12>, record_event<13>, record_event<14>,
    record_event<15>, record_event<16>, record_event<17>, record_event<18>, record_event<19>,
    record_event<20>, record_event<21>, record_event<22>, record_event<23>, record_event<24>,
    record_event<25>, record_event<26>, record_event<27>, record_event<28>,
};

int test_adapters(AdapterAddress* adapters, int capacity) {
  if (capacity < 1) return 0;
  adapters[0].index = 1;
  std::memcpy(adapters[0].address, kAdapter, 6);
  return 1;
}

}  // namespace

void install_callbacks() {
  api_callback_set(CALLBACK_LOGIN, record_callback<CALLBACK_LOGIN>);
  api_callback_set(CALLBACK_ENTER, record_callback<CALLBACK_ENTER>);
  api_callback_set(CALLBACK_CITIZEN_LOOKUP, record_callback<CALLBACK_CITIZEN_LOOKUP>);
}

template <int... N>
constexpr std::array<CallbackHandler, sizeof...(N)> callback_recorders(
    std::integer_sequence<int, N...>) {
  return {record_callback<N>...};
}

void install_everything() {
  static constexpr auto recorders =
      callback_recorders(std::make_integer_sequence<int, kCallbackCount>());
  for (int callback = 0; callback < kCallbackCount; ++callback) {
    api_callback_set(callback, recorders[callback]);
  }
  for (int event = 0; event < kEventCount; ++event) install_event(event);
}

void install_event(int event) {
  api_event_set(event, kEventRecorders[event]);
}

Bytes universe_login_body() {
  return Body()
      .long_(ORBILO_SDK_BUILD)
      .string(kBotName)
      .long_(kOwner)
      .string(kPassword)
      .string("")
      .bytes_;
}

Bytes universe_attributes_body(int build) {
  return Body()
      .byte(6)
      .string(std::to_string(build))
      .byte(4)
      .string("one")
      .byte(1)
      .string("17")
      .byte(99)
      .string("ignored")
      .bytes_;
}

Bytes login_reply_body(int build) {
  Body body;
  body.word(77).string("Ball reply");
  if (build > 22) body.long_(9);
  if (build > 34) body.bytes(Bytes(kCheck, kCheck + 4));
  return body.bytes_;
}

Bytes world_reply_body(const std::string& name, std::uint16_t port, int world_build,
                       int universe_build) {
  Body body;
  body.string(name).long_(0x7f000001).word(ntohs(port)).word(world_build);
  if (universe_build >= 32) body.word(0).word(0);
  return body.bytes_;
}

Bytes kicker_add_body() {
  return Body()
      .long_(12)
      .string("Kicker")
      .long_(100)
      .long_(0)
      .long_(-200)
      .word(1800)
      .byte(1)
      .byte(0)
      .word(5)
      .long_(6)
      .long_(7)
      .bytes_;
}

Bytes world_login_body(int world_build, std::uint16_t port, std::uint32_t session) {
  Body body;
  if (world_build < 28) {
    body.string(kWorld).word(static_cast<int>(session)).byte(50).long_(9);
  } else if (world_build < 39) {
    body.string(kWorld).long_(session).long_(9).word(ORBILO_SDK_BUILD);
  } else {
    const auto* port_bytes = reinterpret_cast<const std::uint8_t*>(&port);
    body.string(kWorld)
        .long_(session)
        .long_(9)
        .word(ORBILO_SDK_BUILD)
        .bytes({127, 0, 0, 1})
        .bytes({port_bytes[0], port_bytes[1]})
        .bytes({0x0e, 0x0d, 0x0c, 0x0b})  // bytes 2-5 of the adapter, read as one value
        .byte(0)
        .long_(kLoginHash);
  }
  return body.bytes_;
}

void SessionTest::SetUp() {
  calls = Calls{};
  identity_forget();
  identity_set_adapter_source(test_adapters);
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
}

void SessionTest::TearDown() {
  for (int event = 0; event < kEventCount; ++event) api_event_set(event, nullptr);
  for (int callback = 0; callback < kCallbackCount; ++callback) {
    api_callback_set(callback, nullptr);
  }
  api_term();
  pump_set_socket_wait(nullptr);
  identity_set_adapter_source(nullptr);
  identity_forget();
}

void SessionTest::create() {
  ASSERT_EQ(api_create("127.0.0.1", universe_.host_port(), &instance_), 0);
  universe_link_ = universe_.accept();
  ASSERT_TRUE(universe_link_.valid());
}

void SessionTest::login(int build) {
  install_callbacks();
  ASSERT_EQ(api_string_set(ATTR_LOGIN_NAME, kBotName), 0);
  ASSERT_EQ(api_int_set(ATTR_LOGIN_OWNER, kOwner), 0);
  ASSERT_EQ(api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, kPassword), 0);
  ASSERT_EQ(api_login(), 0);
  auto first = universe_link_.receive_first();
  ASSERT_TRUE(first.has_value());
  ASSERT_EQ(first->id, 47);
  ASSERT_EQ(first->body, universe_login_body());
  ASSERT_TRUE(universe_link_.send_keys(true, 5, 7));
  ASSERT_TRUE(universe_link_.send_universe(0, 21, universe_attributes_body(build)));
  ASSERT_TRUE(universe_link_.send_universe(0, 20, login_reply_body(build)));
  ASSERT_TRUE(pump_until([&] { return calls.count_callback(CALLBACK_LOGIN) > 0; }));
  ASSERT_EQ(calls.last_rc(CALLBACK_LOGIN), 0);
  ASSERT_EQ(instance()->universe_state, kUniverseLoggedIn);
}

void SessionTest::enter(int world_build, int universe_build) {
  ASSERT_EQ(api_enter("MyWorld"), 0);
  auto lookup = universe_link_.receive();
  ASSERT_TRUE(lookup.has_value());
  ASSERT_EQ(lookup->id, 24);
  ASSERT_EQ(lookup->body, Body().string("MyWorld").bytes_);
  ASSERT_TRUE(universe_link_.send_universe(
      0, 0, world_reply_body(kWorld, world_.port(), world_build, universe_build)));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
  world_link_ = world_.accept();
  ASSERT_TRUE(world_link_.valid());
  auto first = world_link_.receive_first();
  ASSERT_TRUE(first.has_value());
  ASSERT_EQ(first->body, world_login_body(world_build, world_.port()));
  ASSERT_TRUE(world_link_.send_keys(false, 3, 9));
  std::string build = std::to_string(world_build);
  ASSERT_TRUE(
      world_link_.send_world(1, Body().byte(21).data(Bytes(build.begin(), build.end())).bytes_));
  ASSERT_TRUE(pump_until([&] { return calls.count_callback(CALLBACK_ENTER) > 0; }));
  ASSERT_EQ(calls.last_rc(CALLBACK_ENTER), 0);
  auto mask = world_link_.receive();
  ASSERT_TRUE(mask.has_value());
  ASSERT_EQ(mask->id, 14);
  entry_mask_ = mask->body;
}

bool SessionTest::pump_until(const std::function<bool()>& done, int timeout_ms) {
  // The deadline is on the real clock: the library clock may be held still.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (api_instance() == nullptr || std::chrono::steady_clock::now() >= deadline) return done();
    pump_pass(kPumpWaitMs);
  }
  return true;
}

}  // namespace session

}  // namespace orbilo
