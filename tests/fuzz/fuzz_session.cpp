#include "fuzz/fuzz_session.h"

#include <arpa/inet.h>

#include <vector>

#include "net/tcp.h"
#include "sdk/instance.h"
#include "sdk/sdk.h"
#include "sdk/stream.h"
#include "support/loopback.h"
#include "support/scripted_peer.h"

namespace orbilo {

namespace fuzz {
namespace {

loopback::Listener* listener = nullptr;
bool connects_allowed = false;

// Only the set-up connects, and only to the listener: addresses that arrive
// in the input (a redirect, a world reply) are never dialled.
bool connect_filter(std::uint32_t address, std::uint16_t port) {
  return connects_allowed && address == loopback::address() && port == listener->port();
}

// Reads what a report wrote, as a program would.
void read_report() {
  for (int attribute = 0; attribute < ATTR_COUNT; ++attribute) {
    api_int(attribute);
    api_float(attribute);
    const char* text = api_string(attribute);
    if (text != nullptr) (void)text[0];
    int length = 0;
    const unsigned char* bytes = api_data(attribute, &length);
    if (bytes != nullptr && length > 0) (void)bytes[length - 1];
  }
}

void on_event() {
  read_report();
}

void on_chat() {
  read_report();
  // The bot answers chat with a whisper: a send from inside a handler.
  api_whisper(api_int(ATTR_CHAT_SESSION), api_string(ATTR_CHAT_MESSAGE));
}

void on_callback(int) {
  read_report();
}

}  // namespace

int run(const std::uint8_t* data, std::size_t size, bool world) {
  if (size < 1) return 0;
  std::uint8_t setup = data[0];
  for (int event = 0; event < EVENT_COUNT; ++event) {
    api_event_set(event, event == EVENT_CHAT ? on_chat : on_event);
  }
  for (int callback = 0; callback < CALLBACK_COUNT; ++callback) {
    api_callback_set(callback, on_callback);
  }

  connects_allowed = true;
  void* made = nullptr;
  if (api_create("127.0.0.1", ntohs(listener->port()), &made) != 0) return 0;
  auto* instance = static_cast<Instance*>(made);
  loopback::Peer universe = listener->accept();
  loopback::Peer world_peer;
  instance->universe_state = kUniverseLoggedIn;
  instance->universe_build = kUniverseBuilds[setup % 5];
  instance->reconnect_enabled = (setup & 0x80) != 0;
  Stream* fed = instance->universe_stream;
  if (world) {
    instance->world_address = loopback::address();
    instance->world_port = listener->port();
    instance->world_build = kWorldBuilds[setup % 5];
    instance->cell_bound = (setup & 0x08) != 0 ? 10 : 0;
    instance->world_entered = (setup & 0x10) != 0;
    instance->state_sent = (setup & 0x20) != 0;
    instance->world_state = (setup & 0x40) != 0 ? kWorldLoggingIn : kWorldEntered;
    if (world_connect(instance) != 0) {
      api_destroy();
      return 0;
    }
    world_peer = listener->accept();
    fed = instance->world_stream;
  }
  connects_allowed = false;
  stream_set_ciphers(fed, kSessionKey, 16, kReceiveDiscard, 0);

  std::vector<std::uint8_t> bytes(data + 1, data + size);
  scripted::Rc4 cipher(kReceiveDiscard);
  cipher.apply(bytes.data(), bytes.size());
  loopback::Peer& peer = world ? world_peer : universe;
  peer.send(bytes.data(), bytes.size());
  peer.shutdown_write();  // the end of the input is the end of the link

  api_instance_set(made);
  api_wait(0);
  if (api_instance_set(made) == 0) api_destroy();
  return 0;
}

// The fuzzer's hook before the first input: starts the library and the
// loopback listener once.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  api_init(ORBILO_SDK_BUILD);
  listener = new loopback::Listener(64);
  tcp_set_connect_filter(connect_filter);
  return 0;
}

}  // namespace fuzz

}  // namespace orbilo
