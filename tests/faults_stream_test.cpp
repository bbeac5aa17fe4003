// The library's links when the bytes arrive in awkward pieces or stop
// arriving: frames cut at every byte boundary, a peer that sends one byte at
// a time, a peer that closes or resets in the middle of a message, and peers
// that keep the connection open but never say anything again.
#include <poll.h>

#include <optional>
#include <string>
#include <vector>

#include "net/clock.h"
#include "sdk/stream.h"
#include "support/session.h"
#include "support/steady_clock.h"

using namespace orbilo;

namespace {

using scripted::Bytes;
using scripted::Message;
using scripted::Rc4;
using session::calls;
using session::SessionTest;

constexpr int kSecond = 1000;

using messages::frame;

Bytes joined(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The server end of a link whose bytes the test frames and enciphers itself,
// so that it can cut them anywhere: the key message goes plain, and every
// byte after it is enciphered in the order the calls are made.
class RawLink {
 public:
  // The key message (universe 22 with result 0, or world 17) for the
  // client's receive and send discards; both directions are keyed after it.
  Bytes keys(bool universe, int receive_discard, int send_discard) {
    out_ = Rc4(receive_discard);
    in_ = Rc4(send_discard);
    return frame(universe ? messages::universe_keys(receive_discard, send_discard)
                          : messages::world_keys(receive_discard, send_discard));
  }
  // A framed message, enciphered.
  Bytes message(const Bytes& body) {
    Bytes bytes = frame(body);
    out_.apply(bytes.data(), bytes.size());
    return bytes;
  }
  // The library's next message on peer, deciphered.
  std::optional<Message> receive(loopback::Peer& peer) {
    Bytes head = peer.receive(2);
    if (head.size() != 2) return std::nullopt;
    in_.apply(head.data(), 2);
    std::size_t length = (static_cast<std::size_t>(head[0]) << 8) | head[1];
    Bytes body = peer.receive(length);
    if (length == 0 || body.size() != length) return std::nullopt;
    in_.apply(body.data(), body.size());
    return Message{body[0], Bytes(body.begin() + 1, body.end())};
  }

 private:
  Rc4 out_;
  Rc4 in_;
};

class FaultsStreamTest : public SessionTest {
 protected:
  // The library's socket of the universe link (universe true) or the world's.
  int link_socket(bool universe) {
    return stream_socket(universe ? instance()->universe_stream : instance()->world_stream);
  }

  // Sends bytes to the library and runs the pump until it has read every
  // byte that reached its socket (nothing is left waiting there).
  void deliver(loopback::Peer& peer, const Bytes& bytes, bool universe) {
    ASSERT_TRUE(peer.send(bytes));
    pollfd entry{link_socket(universe), POLLIN, 0};
    ASSERT_EQ(poll(&entry, 1, 2000), 1) << "the bytes never reached the library";
    for (int round = 0; round < 100; ++round) {
      api_wait(0);
      entry = pollfd{link_socket(universe), POLLIN, 0};
      if (entry.fd < 0 || poll(&entry, 1, 0) == 0) return;
    }
    FAIL() << "the library left bytes unread on its socket";
  }

  // Sends bytes one at a time, the library reading each before the next.
  void deliver_bytewise(loopback::Peer& peer, const Bytes& bytes, bool universe) {
    for (std::uint8_t byte : bytes) {
      deliver(peer, {byte}, universe);
      if (testing::Test::HasFatalFailure()) return;
    }
  }

  // Sends bytes cut in two at split (either part may be empty).
  void deliver_split(loopback::Peer& peer, const Bytes& bytes, std::size_t split, bool universe) {
    if (split > 0) deliver(peer, Bytes(bytes.begin(), bytes.begin() + split), universe);
    if (split < bytes.size()) deliver(peer, Bytes(bytes.begin() + split, bytes.end()), universe);
  }

  // The universe's answer to a login, from the key message on: keys,
  // attributes of build 35 and the login reply.
  Bytes universe_answer(RawLink& raw) {
    return joined({raw.keys(true, 5, 7), raw.message(session::universe_attributes(35)),
                   raw.message(session::login_reply(35))});
  }

  // How many bytes world_answer (world true) or universe_answer sends.
  std::size_t answer_length(bool world) {
    RawLink raw;
    return (world ? world_answer(raw) : universe_answer(raw)).size();
  }

  // The world's answer to a world login, from the key message on: keys, the
  // world attributes, an avatar that arrives and moves, its chat, and a
  // keep-alive answer.
  Bytes world_answer(RawLink& raw) {
    return joined({
        raw.keys(false, 3, 9),
        raw.message(messages::world_attributes({{21, "39"}, {3, "xy"}})),
        raw.message(session::kicker_add()),
        raw.message(messages::avatar_change(
            {.session = 12, .x = 150, .z = -250, .yaw = 900, .type = 1, .gesture = 2})),
        raw.message(messages::chat(12, "Ball owner")),
        raw.message(messages::keep_alive_from_world()),
    });
  }

  // What the library made of universe_answer().
  void expect_logged_in() {
    EXPECT_EQ(calls.count_callback(CALLBACK_LOGIN), 1);
    EXPECT_EQ(calls.last_rc(CALLBACK_LOGIN), 0);
    EXPECT_EQ(calls.count_event(EVENT_UNIVERSE_ATTRIBUTES), 1);
    EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
    EXPECT_EQ(api_int(ATTR_UNIVERSE_BUILD), 35);
    EXPECT_EQ(instance()->session_number, 77u);
    EXPECT_EQ(instance()->login_number, 9u);
    EXPECT_EQ(Bytes(instance()->login_check, instance()->login_check + 4),
              Bytes(session::kCheck, session::kCheck + 4));
    EXPECT_STREQ(api_string(ATTR_LOGIN_REPLY_NAME), "Ball reply");
  }

  // What the library made of world_answer().
  void expect_entered() {
    EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
    EXPECT_EQ(calls.last_rc(CALLBACK_ENTER), 0);
    EXPECT_EQ(instance()->world_state, kWorldEntered);
    EXPECT_EQ(api_int(ATTR_WORLD_BUILD), 39);
    EXPECT_EQ(calls.count_event(EVENT_AVATAR_ADD), 1);
    EXPECT_EQ(calls.count_event(EVENT_AVATAR_CHANGE), 1);
    EXPECT_EQ(calls.count_event(EVENT_CHAT), 1);
    EXPECT_EQ(api_int(ATTR_AVATAR_X), 150);
    EXPECT_EQ(api_int(ATTR_AVATAR_Z), -250);
    EXPECT_EQ(api_int(ATTR_AVATAR_YAW), 900);
    EXPECT_EQ(api_int(ATTR_AVATAR_GESTURE), 2);
    EXPECT_STREQ(api_string(ATTR_CHAT_MESSAGE), "Ball owner");
    EXPECT_STREQ(api_string(ATTR_AVATAR_NAME), "Kicker");
    EXPECT_EQ(instance()->last_world_message_id, 16);
  }

  // Creates the instance and sends the login; the universe has read it.
  void start_login() {
    create();
    if (HasFatalFailure()) return;
    session::install_everything();
    ASSERT_EQ(api_string_set(ATTR_LOGIN_NAME, session::kBotName), 0);
    ASSERT_EQ(api_int_set(ATTR_LOGIN_OWNER, session::kOwner), 0);
    ASSERT_EQ(api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, session::kPassword), 0);
    ASSERT_EQ(api_login(), 0);
    auto first = universe_link_.receive_first();
    ASSERT_TRUE(first.has_value());
    ASSERT_EQ(first->bytes(), session::universe_login());
  }

  // Asks for the world after a login through universe_link_; the world has
  // accepted the link and read its world login.
  void start_enter() {
    ASSERT_EQ(api_enter("MyWorld"), 0);
    auto lookup = universe_link_.receive();
    ASSERT_TRUE(lookup.has_value());
    ASSERT_EQ(lookup->id, 24);
    ASSERT_TRUE(universe_link_.send(session::world_reply(session::kWorld, world_.port(), 39, 35)));
    ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
    world_link_ = world_.accept();
    ASSERT_TRUE(world_link_.valid());
    auto first = world_link_.receive_first();
    ASSERT_TRUE(first.has_value());
    ASSERT_EQ(first->bytes(), session::world_login(39, world_.port()));
  }
};

// Every cut of the universe's first bytes (its key message, its attributes
// and the login reply) in two pieces, read apart: each message is parsed.
TEST_F(FaultsStreamTest, UniverseFramesCutAtEveryByteAreAllParsed) {
  const std::size_t length = answer_length(false);
  ASSERT_GT(length, 40u);
  for (std::size_t split = 0; split <= length; ++split) {
    SCOPED_TRACE("split at " + std::to_string(split));
    calls = session::Calls{};
    start_login();
    ASSERT_FALSE(HasFatalFailure());
    RawLink raw;
    deliver_split(universe_link_.peer(), universe_answer(raw), split, true);
    ASSERT_FALSE(HasFatalFailure());
    expect_logged_in();
    // The link goes on in step: the next message of the library deciphers.
    ASSERT_EQ(api_citizen_lookup(3), 0);
    auto lookup = raw.receive(universe_link_.peer());
    ASSERT_TRUE(lookup.has_value());
    EXPECT_EQ(lookup->bytes(), messages::citizen_lookup(3));
    ASSERT_EQ(api_destroy(), 0);
  }
}

// The same for the world's first bytes: the key message, the attributes, an
// avatar, its move, its chat and a keep-alive answer.
TEST_F(FaultsStreamTest, WorldFramesCutAtEveryByteAreAllParsed) {
  const std::size_t length = answer_length(true);
  ASSERT_GT(length, 80u);
  for (std::size_t split = 0; split <= length; ++split) {
    SCOPED_TRACE("split at " + std::to_string(split));
    calls = session::Calls{};
    create();
    login();
    for (int event : {EVENT_AVATAR_ADD, EVENT_AVATAR_CHANGE, EVENT_CHAT}) {
      session::install_event(event);
    }
    start_enter();
    ASSERT_FALSE(HasFatalFailure());
    RawLink raw;
    deliver_split(world_link_.peer(), world_answer(raw), split, false);
    ASSERT_FALSE(HasFatalFailure());
    expect_entered();
    auto mask = raw.receive(world_link_.peer());
    ASSERT_TRUE(mask.has_value());
    EXPECT_EQ(mask->bytes(), messages::event_mask(7));
    ASSERT_EQ(api_whisper(12, "hi"), 0);
    auto whisper = raw.receive(world_link_.peer());
    ASSERT_TRUE(whisper.has_value());
    EXPECT_EQ(whisper->bytes(), messages::whisper(12, "hi"));
    ASSERT_EQ(api_destroy(), 0);
  }
}

// Peers that send one byte at a time, the library reading each byte alone:
// a whole session, login to chat, on both links.
TEST_F(FaultsStreamTest, PeersSendingOneByteAtATimeAreFullyParsed) {
  start_login();
  RawLink universe_raw;
  deliver_bytewise(universe_link_.peer(), universe_answer(universe_raw), true);
  ASSERT_FALSE(HasFatalFailure());
  expect_logged_in();

  ASSERT_EQ(api_enter("MyWorld"), 0);
  auto lookup = universe_raw.receive(universe_link_.peer());
  ASSERT_TRUE(lookup.has_value());
  ASSERT_EQ(lookup->bytes(), messages::world_lookup("MyWorld"));
  deliver_bytewise(
      universe_link_.peer(),
      universe_raw.message(session::world_reply(session::kWorld, world_.port(), 39, 35)), true);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldLoggingIn; }));
  world_link_ = world_.accept();
  auto first = world_link_.receive_first();
  ASSERT_TRUE(first.has_value());
  ASSERT_EQ(first->bytes(), session::world_login(39, world_.port()));
  RawLink world_raw;
  deliver_bytewise(world_link_.peer(), world_answer(world_raw), false);
  ASSERT_FALSE(HasFatalFailure());
  expect_entered();
  auto mask = world_raw.receive(world_link_.peer());
  ASSERT_TRUE(mask.has_value());
  EXPECT_EQ(mask->id, 14);
}

// A frame cut off by a close or a reset, at its length field, in its body or
// one byte short: the link is lost, nothing half-read is reported, and the
// link is reopened with a login that the peer reads byte for byte.
TEST_F(FaultsStreamTest, AUniverseLinkEndedInsideAMessageIsReopened) {
  const Bytes attributes = session::universe_attributes(35);
  const std::size_t whole = attributes.size() + 2;
  for (bool reset : {false, true}) {
    for (std::size_t cut : {std::size_t{1}, std::size_t{4}, whole - 1}) {
      SCOPED_TRACE(std::string(reset ? "reset" : "close") + " after " + std::to_string(cut));
      calls = session::Calls{};
      create();
      login();
      session::install_event(EVENT_UNIVERSE_ATTRIBUTES);
      const int attributes_before = calls.count_event(EVENT_UNIVERSE_ATTRIBUTES);
      Bytes bytes = frame(attributes);
      ASSERT_TRUE(universe_link_.send_raw(Bytes(bytes.begin(), bytes.begin() + cut)));
      api_wait(20);
      EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);  // waits for the rest
      reset ? universe_link_.reset() : universe_link_.close();
      ASSERT_TRUE(
          pump_until([&] { return instance()->universe_state == kUniverseReconnectPending; }));
      EXPECT_EQ(calls.count_event(EVENT_UNIVERSE_ATTRIBUTES), attributes_before);
      EXPECT_EQ(calls.count_callback(CALLBACK_LOGIN), 1);  // no 429 while reconnecting
      clock_advance(kSecond);
      api_wait(0);
      universe_link_ = universe_.accept();
      ASSERT_TRUE(universe_link_.valid());
      auto again = universe_link_.receive_first();
      ASSERT_TRUE(again.has_value());
      EXPECT_EQ(again->bytes(), session::universe_login());
      ASSERT_TRUE(universe_link_.send_keys(true, 0, 0));
      ASSERT_TRUE(universe_link_.send(session::universe_attributes(35)));
      ASSERT_TRUE(universe_link_.send(session::login_reply(35)));
      ASSERT_TRUE(pump_until([&] { return calls.count_callback(CALLBACK_LOGIN) == 2; }));
      EXPECT_EQ(calls.last_rc(CALLBACK_LOGIN), 0);
      EXPECT_EQ(calls.count_event(EVENT_UNIVERSE_ATTRIBUTES), attributes_before + 1);
      EXPECT_EQ(instance()->universe_state, kUniverseLoggedIn);
      ASSERT_EQ(api_destroy(), 0);
    }
  }
}

TEST_F(FaultsStreamTest, AWorldLinkEndedInsideAMessageIsReopened) {
  const Bytes add = session::kicker_add();
  const std::size_t whole = add.size() + 2;
  for (bool reset : {false, true}) {
    for (std::size_t cut : {std::size_t{1}, std::size_t{9}, whole - 1}) {
      SCOPED_TRACE(std::string(reset ? "reset" : "close") + " after " + std::to_string(cut));
      calls = session::Calls{};
      create();
      login();
      session::install_event(EVENT_AVATAR_ADD);
      session::install_event(EVENT_WORLD_DISCONNECT);
      enter();
      Bytes bytes = frame(add);
      ASSERT_TRUE(world_link_.send_raw(Bytes(bytes.begin(), bytes.begin() + cut)));
      api_wait(20);
      EXPECT_EQ(instance()->world_state, kWorldEntered);  // waits for the rest
      reset ? world_link_.reset() : world_link_.close();
      ASSERT_TRUE(pump_until([&] { return instance()->world_state == kWorldReconnectPending; }));
      EXPECT_EQ(calls.count_event(EVENT_AVATAR_ADD), 0);
      EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
      EXPECT_EQ(api_int(ATTR_DISCONNECT_REASON), RC_CONNECTION_LOST);
      clock_advance(kSecond);
      api_wait(0);
      ASSERT_NO_FATAL_FAILURE(reenter());
      // The whole message, sent again, is reported once.
      ASSERT_TRUE(world_link_.send(add));
      ASSERT_TRUE(pump_until([] { return calls.count_event(EVENT_AVATAR_ADD) == 1; }));
      EXPECT_STREQ(api_string(ATTR_AVATAR_NAME), "Kicker");
      EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
      EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
      ASSERT_EQ(api_destroy(), 0);
    }
  }
}

// Both peers keep their sockets open and stop talking. The clock moves a
// second at a time: the keep-alives go out on time and are never answered,
// the world is given up after 90 s and the universe after 120 s, an
// unanswered universe login after 30 s more, and each link is reopened; the
// world then hears of the new universe login.
TEST_F(FaultsStreamTest, SilentHalfOpenLinksAreFoundByTheIdleTimeOuts) {
  steady_clock::Hold clock;
  create();
  login();
  session::install_event(EVENT_WORLD_DISCONNECT);
  enter();
  ASSERT_TRUE(world_link_.send(messages::keep_alive_from_world()));
  ASSERT_TRUE(universe_link_.send(messages::keep_alive_from_universe()));
  ASSERT_TRUE(pump_until([&] {
    return instance()->last_world_message_id == 16 && instance()->last_universe_message_id == 32;
  }));
  // Each time is taken from the event it follows: the last message read or
  // sent on that link.
  const std::uint32_t world_heard = instance()->last_world_receive;
  const std::uint32_t universe_heard = instance()->last_universe_receive;
  const std::uint32_t world_spoke = stream_last_send(instance()->world_stream);
  const std::uint32_t universe_spoke = stream_last_send(instance()->universe_stream);
  std::uint32_t world_lost_at = 0, universe_lost_at = 0;
  std::uint32_t world_keep_alive_at = 0, universe_keep_alive_at = 0;
  for (int step = 0; step < 130 && universe_lost_at == 0; ++step) {
    clock_advance(kSecond);
    api_wait(0);
    const std::uint32_t now = clock_now();
    if (world_lost_at == 0 && instance()->world_state != kWorldEntered) {
      world_lost_at = now - world_heard;
    }
    if (instance()->universe_state != kUniverseLoggedIn) universe_lost_at = now - universe_heard;
    // The keep-alives of the first link of each: one each, on time, empty.
    if (world_lost_at == 0 && world_keep_alive_at == 0 && !world_link_.quiet(0)) {
      world_keep_alive_at = now - world_spoke;
      auto keep_alive = world_link_.receive();
      ASSERT_TRUE(keep_alive.has_value());
      EXPECT_EQ(keep_alive->id, 6);
      EXPECT_TRUE(keep_alive->body.empty());
    }
    if (universe_keep_alive_at == 0 && !universe_link_.quiet(0)) {
      universe_keep_alive_at = now - universe_spoke;
      auto keep_alive = universe_link_.receive();
      ASSERT_TRUE(keep_alive.has_value());
      EXPECT_EQ(keep_alive->id, 32);
      EXPECT_TRUE(keep_alive->body.empty());
    }
    // The lost world is reopened a second later and answers once.
    if (world_lost_at != 0 && instance()->world_state == kWorldLoggingIn) {
      ASSERT_NO_FATAL_FAILURE(reenter());
    }
  }
  // Each within the second step that crossed its limit.
  constexpr std::uint32_t kStep = kSecond + 100;
  EXPECT_GT(world_keep_alive_at, kWorldKeepAliveMs);
  EXPECT_LE(world_keep_alive_at, kWorldKeepAliveMs + kStep);
  EXPECT_GT(universe_keep_alive_at, kUniverseKeepAliveMs);
  EXPECT_LE(universe_keep_alive_at, kUniverseKeepAliveMs + kStep);
  EXPECT_GT(world_lost_at, kWorldIdleTimeoutMs);
  EXPECT_LE(world_lost_at, kWorldIdleTimeoutMs + kStep);
  EXPECT_GT(universe_lost_at, kUniverseIdleTimeoutMs);
  EXPECT_LE(universe_lost_at, kUniverseIdleTimeoutMs + kStep);
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
  EXPECT_EQ(calls.count_callback(CALLBACK_ENTER), 1);
  EXPECT_EQ(instance()->world_state, kWorldEntered);
  EXPECT_EQ(instance()->universe_state, kUniverseReconnectPending);
  EXPECT_TRUE(universe_link_.closed());

  // A second later the universe link is reopened; its login goes unanswered
  // and is given up after 30 s, then tried again.
  clock_advance(kSecond);
  api_wait(0);
  ASSERT_EQ(instance()->universe_state, kUniverseLoggingIn);
  scripted::Link silent = universe_.accept();
  ASSERT_TRUE(silent.valid());
  auto login = silent.receive_first();
  ASSERT_TRUE(login.has_value());
  EXPECT_EQ(login->bytes(), session::universe_login());
  clock_advance(29 * kSecond);
  api_wait(0);
  EXPECT_EQ(instance()->universe_state, kUniverseLoggingIn);
  clock_advance(kSecond + 1);
  api_wait(0);
  EXPECT_EQ(instance()->universe_state, kUniverseReconnectPending);
  EXPECT_TRUE(silent.closed());
  clock_advance(kSecond);
  api_wait(0);
  universe_link_ = universe_.accept();
  ASSERT_TRUE(universe_link_.valid());
  login = universe_link_.receive_first();
  ASSERT_TRUE(login.has_value());
  EXPECT_EQ(login->bytes(), session::universe_login());
  ASSERT_TRUE(universe_link_.send_keys(true, 0, 0));
  ASSERT_TRUE(universe_link_.send(session::login_reply(35)));
  ASSERT_TRUE(pump_until([&] { return instance()->universe_state == kUniverseLoggedIn; }));
  // The world link, still up, carries the new login.
  auto world_login = world_link_.receive_id(53);
  ASSERT_TRUE(world_login.has_value());
  EXPECT_EQ(world_login->bytes(), session::world_login(39, world_.port()));
  EXPECT_EQ(calls.count_event(EVENT_WORLD_DISCONNECT), 1);
}

}  // namespace
