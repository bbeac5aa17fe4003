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

Bytes universe_login() {
  return messages::universe_login(kBotName, kOwner, kPassword);
}

Bytes universe_attributes(int build) {
  return messages::universe_attributes(
      {{6, std::to_string(build)}, {4, "one"}, {1, "17"}, {99, "ignored"}});
}

Bytes login_reply(int build, int session) {
  return messages::login_reply(build, session, "Ball reply", 9, kCheck);
}

Bytes world_reply(const std::string& name, std::uint16_t port, int world_build,
                  int universe_build) {
  return messages::world_reply(name, ntohs(port), world_build, universe_build);
}

Bytes kicker_add() {
  return messages::avatar_add({12, "Kicker", 100, 0, -200, 1800, 1, 0, 5, 6, 7});
}

Bytes world_login(int world_build, std::uint16_t port, std::uint32_t session) {
  // Bytes 2 to 5 of the adapter, read as one value, are the machine's.
  messages::WorldLogin login{kWorld, session, 9, ntohs(port), 0x0e0d0c0b, 0, kLoginHash};
  if (world_build < 28) return messages::world_login_20(login);
  return world_build < 39 ? messages::world_login_27(login) : messages::world_login(login);
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
  ASSERT_EQ(first->bytes(), universe_login());
  ASSERT_TRUE(universe_link_.send_keys(true, 5, 7));
  ASSERT_TRUE(universe_link_.send(universe_attributes(build)));
  ASSERT_TRUE(universe_link_.send(login_reply(build)));
  ASSERT_TRUE(pump_until([&] { return calls.count_callback(CALLBACK_LOGIN) > 0; }));
  ASSERT_EQ(calls.last_rc(CALLBACK_LOGIN), 0);
  ASSERT_EQ(instance()->universe_state, kUniverseLoggedIn);
}

void SessionTest::enter(int world_build, int universe_build) {
  ASSERT_EQ(api_enter("MyWorld"), 0);
  auto lookup = universe_link_.receive();
  ASSERT_TRUE(lookup.has_value());
  ASSERT_EQ(lookup->bytes(), messages::world_lookup("MyWorld"));
  ASSERT_TRUE(universe_link_.send(world_reply(kWorld, world_.port(), world_build, universe_build)));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
  world_link_ = world_.accept();
  ASSERT_TRUE(world_link_.valid());
  auto first = world_link_.receive_first();
  ASSERT_TRUE(first.has_value());
  ASSERT_EQ(first->bytes(), world_login(world_build, world_.port()));
  ASSERT_TRUE(world_link_.send_keys(false, 3, 9));
  ASSERT_TRUE(world_link_.send(messages::world_attributes({{21, std::to_string(world_build)}})));
  ASSERT_TRUE(pump_until([&] { return calls.count_callback(CALLBACK_ENTER) > 0; }));
  ASSERT_EQ(calls.last_rc(CALLBACK_ENTER), 0);
  auto mask = world_link_.receive();
  ASSERT_TRUE(mask.has_value());
  ASSERT_EQ(mask->id, 14);
  entry_mask_ = mask->body;
}

void SessionTest::reenter() {
  world_link_ = world_.accept();
  ASSERT_TRUE(world_link_.valid());
  auto login = world_link_.receive_first();
  ASSERT_TRUE(login.has_value());
  ASSERT_EQ(login->bytes(), world_login(39, world_.port()));
  ASSERT_TRUE(world_link_.send_keys(false, 0, 0));
  ASSERT_TRUE(world_link_.send(messages::world_attributes({})));
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldEntered; }));
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
