// greeter.cpp: the greeter in C++. Each bot is an object; the library's
// handlers are plain functions (a lambda without captures converts to one),
// and each finds its object through the pointer attached to its instance.
//
//   greeter-cpp HOST PORT CITIZEN PASSWORD WORLD [COUNT]
#include <orbilo/sdk.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stopping = 0;
constexpr int kNear = 3000;  // units east-west and north-south

class Greeter {
 public:
  Greeter(int index, char** argv) : name_("Cpp" + std::to_string(index + 1)) {
    x_ = (index % 5) * 1000 - 2000;
    z_ = (index / 5) * 1000 + 500;
    rc_ = api_create(argv[1], std::atoi(argv[2]), &instance_);
    if (rc_ != 0) return;
    api_user_data_set(this);
    api_string_set(ATTR_LOGIN_NAME, name_.c_str());
    api_int_set(ATTR_LOGIN_OWNER, std::atoi(argv[3]));
    api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, argv[4]);
    // A blocking call runs the pump, whose handlers leave their own instance
    // current: make this one current again after each.
    rc_ = api_login();
    if (rc_ == 0) rc_ = api_instance_set(instance_);
    if (rc_ == 0) rc_ = api_enter(argv[5]);
    if (rc_ == 0) rc_ = api_instance_set(instance_);
    if (rc_ != 0) return;
    api_int_set(ATTR_MY_X, x_);
    api_int_set(ATTR_MY_Z, z_);
    rc_ = api_state_change();
  }
  Greeter(const Greeter&) = delete;
  Greeter& operator=(const Greeter&) = delete;
  // api_destroy acts on the current instance: make this one current first.
  ~Greeter() {
    if (instance_ != nullptr && api_instance_set(instance_) == 0) api_destroy();
  }

  int rc() const { return rc_; }
  const std::string& name() const { return name_; }
  int greeted() const { return greeted_; }

  void Arrived() {
    if (std::abs(api_int(ATTR_AVATAR_X) - x_) > kNear ||
        std::abs(api_int(ATTR_AVATAR_Z) - z_) > kNear)
      return;
    std::string whom = api_string(ATTR_AVATAR_NAME);
    std::string text = "Hello " + whom + ", I am " + name_ + ".";
    if (api_whisper(api_int(ATTR_AVATAR_SESSION), text.c_str()) == 0) {
      ++greeted_;
      std::printf("%s greets %s\n", name_.c_str(), whom.c_str());
      std::fflush(stdout);
    }
  }

 private:
  std::string name_;
  void* instance_ = nullptr;
  int x_ = 0, z_ = 0;
  int rc_ = 0;
  int greeted_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int count = argc == 7 ? std::atoi(argv[6]) : 10;
  if ((argc != 6 && argc != 7) || count < 1 || count > 64) {
    std::fprintf(stderr, "usage: greeter-cpp HOST PORT CITIZEN PASSWORD WORLD [COUNT (1-64)]\n");
    return 2;
  }
  if (int rc = api_init(ORBILO_SDK_BUILD); rc != 0) {
    std::fprintf(stderr, "greeter-cpp: api_init failed: %s\n", api_result_text(rc));
    return 1;
  }
  api_event_set(EVENT_AVATAR_ADD, [] {
    if (auto* self = static_cast<Greeter*>(api_user_data())) self->Arrived();
  });
  std::vector<std::unique_ptr<Greeter>> greeters;
  bool started = true;
  for (int k = 0; k < count && started; ++k) {
    greeters.push_back(std::make_unique<Greeter>(k, argv));
    if (int rc = greeters.back()->rc(); rc != 0) {
      std::fprintf(stderr, "greeter-cpp: %s could not start: %s (%d)\n",
                   greeters.back()->name().c_str(), api_result_text(rc), rc);
      started = false;
    }
  }
  if (started) {
    std::printf("%d greeters in %s; Ctrl-C ends\n", count, argv[5]);
    std::fflush(stdout);
    std::signal(SIGINT, [](int) { stopping = 1; });
    std::signal(SIGTERM, [](int) { stopping = 1; });
    while (!stopping) api_wait(1000);
  }
  for (const auto& greeter : greeters) {
    std::printf("%s greeted %d\n", greeter->name().c_str(), greeter->greeted());
  }
  greeters.clear();
  api_term();
  return started ? 0 : 1;
}
