#include "world_map.h"

#include "location_text.h"

std::string ShownName(const std::string& name) {
  std::string text = name;
  for (char& each : text) {
    auto byte = static_cast<unsigned char>(each);
    if (byte < 0x20 || (byte >= 0x7f && byte < 0xa0)) each = '?';
  }
  return text;
}

std::string AvatarText(const MapAvatar& avatar) {
  std::string text = ShownName(avatar.name);
  text.append(": ");
  text.append(LocationText({avatar.place.x, avatar.place.z, avatar.y, avatar.yaw}));
  return text;
}

void WorldMap::AvatarSeen(int session, const MapAvatar& avatar) {
  avatars_.insert_or_assign(session, avatar);
}

void WorldMap::AvatarLeft(int session) {
  avatars_.erase(session);
}

void WorldMap::ClearAvatars() {
  avatars_.clear();
}

void WorldMap::SetBall(MapPoint place, int yaw) {
  ball_ = place;
  ball_yaw_ = yaw;
}

void WorldMap::ClearBall() {
  ball_.reset();
  ball_yaw_ = 0;
}

void WorldMap::SetHome(MapPoint place) {
  home_ = place;
}

void WorldMap::Kick(MapPoint from, MapPoint to, Clock::time_point at) {
  while (!kicks_.empty() && (kicks_.size() >= kMaxKicks || at - kicks_.front().at >= kKickFade)) {
    kicks_.pop_front();
  }
  kicks_.push_back({from, to, at});
}

bool WorldMap::Fading(Clock::time_point now) const {
  return !kicks_.empty() && KickStrength(kicks_.back().at, now) > 0;
}

double WorldMap::KickStrength(Clock::time_point at, Clock::time_point now) {
  auto age = now - at;
  if (age < Clock::duration::zero()) return 1;
  if (age >= kKickFade) return 0;
  return 1 - std::chrono::duration<double>(age) / std::chrono::duration<double>(kKickFade);
}
