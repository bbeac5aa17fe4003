#include "ball.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include <orbilo/sdk.h>
#include "build.h"

const char* const kCopyright = "Copyright (C) 2026 The Orbilo Authors";

int LoginCitizen = 0;
std::string OwnerName;
std::string OwnerQuery;
std::string VersionQuery;

namespace {

View* ball_view = nullptr;
const LoginFields* ball_fields = nullptr;

void LogReply(const std::string& text) {
  if (ball_view != nullptr) ball_view->AppendLog(text, kGreen, false, false, false, true);
}

// Where a kick from position lands along one axis (share: the sine or cosine
// of the kicker's facing). A kicker at the far end of the coordinate range
// sends the ball to that end, never around to the other.
int kicked_to(int position, double share) {
  long long to =
      static_cast<long long>(position) + static_cast<long long>(std::trunc(kKickDistance * share));
  return static_cast<int>(
      std::clamp<long long>(to, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

void BallAttach(View* view, const LoginFields* fields) {
  ball_view = view;
  ball_fields = fields;
}

int GoToLocation(const std::string& text, int type) {
  Location location;
  ParseLocation(text, location);
  api_int_set(ATTR_MY_Z, location.z);
  api_int_set(ATTR_MY_X, location.x);
  api_int_set(ATTR_MY_Y, location.y);
  api_int_set(ATTR_MY_YAW, location.yaw);
  api_int_set(ATTR_MY_TYPE, type);
  return api_state_change();
}

void OnAvatarChange() {
  const char* name = api_string(ATTR_AVATAR_NAME);
  if (ball_fields != nullptr && ball_fields->DisableBotKicking && name != nullptr &&
      name[0] == '[') {
    return;
  }
  int kicker_x = api_int(ATTR_AVATAR_X), kicker_z = api_int(ATTR_AVATAR_Z);
  int ball_x = api_int(ATTR_MY_X), ball_z = api_int(ATTR_MY_Z);
  if (api_int(ATTR_AVATAR_GESTURE) != kKickGesture) return;
  // Differences in 64 bits: positions far apart cannot overflow.
  if (std::llabs(static_cast<long long>(kicker_x) - ball_x) > kKickRadius ||
      std::llabs(static_cast<long long>(kicker_z) - ball_z) > kKickRadius) {
    return;
  }
  int yaw = api_int(ATTR_AVATAR_YAW);
  double angle = yaw * kAngleFactor;
  api_int_set(ATTR_MY_X, kicked_to(kicker_x, std::sin(angle)));
  api_int_set(ATTR_MY_Z, kicked_to(kicker_z, std::cos(angle)));
  api_int_set(ATTR_MY_YAW, yaw);
  api_state_change();
}

void OnChat() {
  const char* said = api_string(ATTR_CHAT_MESSAGE);
  if (said == nullptr || api_int(ATTR_WORLD_BUILD) < kRepliesFromWorldBuild) return;
  std::string speaker = api_string(ATTR_AVATAR_NAME) != nullptr ? api_string(ATTR_AVATAR_NAME) : "";
  if (strcasecmp(said, OwnerQuery.c_str()) == 0) {
    std::string reply =
        "I'm owned by " + OwnerName + " (citizen # " + std::to_string(LoginCitizen) + ").";
    api_whisper(api_int(ATTR_CHAT_SESSION), reply.c_str());
    LogReply("Owner response sent to " + speaker + ".");
  }
  if (strcasecmp(said, VersionQuery.c_str()) == 0) {
    std::string reply =
        "I am Simple Orbilo Build " + std::to_string(kApplicationBuild) + " (" + kCopyright + ").";
    api_whisper(api_int(ATTR_CHAT_SESSION), reply.c_str());
    LogReply("Version response sent to " + speaker + ".");
  }
}
