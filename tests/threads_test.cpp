// The library belongs to the thread that called api_init: a call from any
// other thread is refused with RC_NOT_INITIALIZED (or its call's empty
// answer) and changes nothing, while the owner goes on pumping. Also built
// with ThreadSanitizer (threads_tsan_test), which fails on any race.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "sdk/sdk.h"

namespace {

// A socket listening on a loopback port the system picks; the connects of
// api_create complete in its backlog without an accept.
struct Listener {
  Listener() {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(fd, 8) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port = ntohs(address.sin_port);
    }
  }
  ~Listener() { close(fd); }
  int fd = -1;
  int port = 0;
};

TEST(Threads, CallsFromAnotherThreadAreRefusedAndChangeNothing) {
  Listener universe;
  ASSERT_GT(universe.port, 0);
  ASSERT_EQ(api_init(ORBILO_SDK_BUILD), 0);
  void* instance = nullptr;
  ASSERT_EQ(api_create("127.0.0.1", universe.port, &instance), 0);
  ASSERT_EQ(api_string_set(ATTR_LOGIN_NAME, "Owner"), 0);
  int mine = 0;
  ASSERT_EQ(api_user_data_set(&mine), 0);

  std::atomic<bool> done{false};
  std::string refused;  // the calls that were not refused, written by the other thread
  std::thread other([&] {
    auto expect = [&](bool ok, const char* call) {
      if (!ok) refused += std::string(call) + " ";
    };
    for (int round = 0; round < 200; ++round) {
      expect(api_init(ORBILO_SDK_BUILD) == RC_NOT_INITIALIZED, "api_init");
      expect(api_string_set(ATTR_LOGIN_NAME, "Thief") == RC_NOT_INITIALIZED, "api_string_set");
      expect(api_string(ATTR_LOGIN_NAME) == nullptr, "api_string");
      expect(api_int(ATTR_LOGIN_OWNER) == 0, "api_int");
      expect(api_wait(0) == RC_NOT_INITIALIZED, "api_wait");
      expect(api_login() == RC_NOT_INITIALIZED, "api_login");
      expect(api_event_set(EVENT_CHAT, nullptr) == RC_NOT_INITIALIZED, "api_event_set");
      expect(api_create("127.0.0.1", 1, nullptr) == RC_NOT_INITIALIZED, "api_create");
      expect(api_instance() == nullptr, "api_instance");
      expect(api_instance_set(instance) == RC_NOT_INITIALIZED, "api_instance_set");
      expect(api_user_data() == nullptr, "api_user_data");
      expect(api_user_data_set(nullptr) == RC_NOT_INITIALIZED, "api_user_data_set");
      expect(api_descriptor() == -1, "api_descriptor");
      expect(api_next_timeout() == -1, "api_next_timeout");
      expect(api_destroy() == RC_NOT_INITIALIZED, "api_destroy");
      api_term();  // refused without a word
      // Texts need no library and come from any thread.
      expect(std::strcmp(api_result_text(RC_NOT_INITIALIZED), "not initialized") == 0,
             "api_result_text");
      expect(std::strcmp(api_result_text(123456), "123456") == 0, "api_result_text(number)");
    }
    done = true;
  });
  // The owner pumps and reads its own state meanwhile.
  while (!done) {
    EXPECT_EQ(api_wait(0), 0);
    EXPECT_STREQ(api_string(ATTR_LOGIN_NAME), "Owner");
    EXPECT_STREQ(api_result_text(654321), "654321");
  }
  other.join();
  EXPECT_EQ(refused, "");
  EXPECT_EQ(api_instance(), instance);
  EXPECT_EQ(api_user_data(), &mine);
  EXPECT_STREQ(api_string(ATTR_LOGIN_NAME), "Owner");
  api_term();

  // Ended, the library may be started again, from another thread too.
  std::thread([] {
    EXPECT_EQ(api_init(ORBILO_SDK_BUILD), 0);
    api_term();
  }).join();
}

}  // namespace
