// The crowd: simulated citizens who walk about a world, drift towards the
// ball (any bot's avatar) and kick it, and now and then ask a bot for its
// owner or its version. Everything they do comes from the world's random
// generator, seeded from --seed, so that a run can be replayed.
#include <cmath>
#include <string>

#include "server/internal.h"

namespace orbilo {

namespace {

constexpr const char* kNames[] = {"Ada",   "Bruno", "Carla", "Dmitri", "Elena", "Farid",
                                  "Greta", "Hugo",  "Ines",  "Jonas",  "Kira",  "Lars",
                                  "Mona",  "Nils",  "Olga",  "Pavel",  "Quinn", "Rosa",
                                  "Sven",  "Tara",  "Ugo",   "Vera",   "Wim",   "Yara"};
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];

constexpr double kPi = 3.14159265358979323846;
constexpr int kArea = 4000;       // they wander within this many units of the centre
constexpr int kKickRadius = 150;  // a kick needs both x and z this close to the ball
constexpr int kStepMin = 80;      // units per tick
constexpr int kStepMax = 220;
constexpr int kKickGesture = 1;
constexpr int kKickRest = 4;       // ticks between two kicks of one member
constexpr int kDriftPercent = 70;  // chance per tick of heading for the ball when there is one

int random_between(std::mt19937& rng, int low, int high) {
  return low + static_cast<int>(rng() % static_cast<std::uint32_t>(high - low + 1));
}

// The facing of a heading, in tenths of a degree: 0 north, 900 west.
int yaw_of(double heading) {
  int yaw = static_cast<int>(std::lround(heading * 1800.0 / kPi)) % 3600;
  return yaw < 0 ? yaw + 3600 : yaw;
}

// The heading from (x, z) towards (to_x, to_z): x grows to the west, z to the north.
double heading_to(double x, double z, double to_x, double to_z) {
  return std::atan2(to_x - x, to_z - z);
}

// The bots that are in the world with a state: the balls.
std::vector<const Client*> balls(const World* world) {
  std::vector<const Client*> found;
  for (const Client* client : world->clients) {
    if (!client->dead && client->avatar.present) found.push_back(client);
  }
  return found;
}

const Avatar* nearest(const std::vector<const Client*>& candidates, const Avatar& from) {
  const Avatar* best = nullptr;
  double best_distance = 0;
  for (const Client* client : candidates) {
    double dx = client->avatar.x - from.x;
    double dz = client->avatar.z - from.z;
    double distance = dx * dx + dz * dz;
    if (best == nullptr || distance < best_distance) {
      best = &client->avatar;
      best_distance = distance;
    }
  }
  return best;
}

void move(World* world, CrowdMember* member, const std::vector<const Client*>& bots) {
  std::mt19937& rng = world->rng;
  Avatar& avatar = member->avatar;
  const Avatar* ball = nearest(bots, avatar);
  int step = random_between(rng, kStepMin, kStepMax);
  avatar.gesture = 0;
  if (member->kick_cooldown > 0) --member->kick_cooldown;
  if (ball != nullptr && random_between(rng, 1, 100) <= kDriftPercent) {
    double dx = ball->x - avatar.x;
    double dz = ball->z - avatar.z;
    double distance = std::sqrt(dx * dx + dz * dz);
    member->heading = heading_to(avatar.x, avatar.z, ball->x, ball->z);
    if (distance <= step) {
      // Walk up to the ball, facing the way they walk, and kick.
      step = static_cast<int>(distance);
      if (member->kick_cooldown == 0) {
        avatar.gesture = kKickGesture;
        member->kick_cooldown = kKickRest;
      }
    }
  } else {
    // Wander: turn a little, and head home when too far out.
    member->heading += (random_between(rng, -30, 30)) * kPi / 180.0;
    if (std::abs(avatar.x) > kArea || std::abs(avatar.z) > kArea)
      member->heading = heading_to(avatar.x, avatar.z, 0, 0);
  }
  avatar.x += static_cast<std::int32_t>(std::lround(step * std::sin(member->heading)));
  avatar.z += static_cast<std::int32_t>(std::lround(step * std::cos(member->heading)));
  avatar.yaw = yaw_of(member->heading);
  if (avatar.gesture == kKickGesture && ball != nullptr &&
      (std::abs(avatar.x - ball->x) > kKickRadius || std::abs(avatar.z - ball->z) > kKickRadius)) {
    avatar.gesture = 0;  // rounding left them short of the ball
  }
}

}  // namespace

void crowd_create(Server* server, World* world, std::uint32_t seed) {
  world->rng.seed(seed);
  for (int k = 0; k < world->config.crowd; ++k) {
    CrowdMember member;
    member.avatar.session = session_take(server);
    if (member.avatar.session == 0) break;
    member.avatar.name = kNames[k % kNameCount];
    if (k >= kNameCount) member.avatar.name += std::to_string(k / kNameCount + 1);
    member.avatar.x = random_between(world->rng, -kArea / 2, kArea / 2);
    member.avatar.z = random_between(world->rng, -kArea / 2, kArea / 2);
    member.heading = random_between(world->rng, 0, 359) * kPi / 180.0;
    member.avatar.yaw = yaw_of(member.heading);
    member.avatar.type = random_between(world->rng, 0, 7);
    member.avatar.present = true;
    world->crowd.push_back(member);
  }
}

void crowd_tick(Server* server, World* world) {
  if (world->crowd.empty() || world->crowd_stopped) return;
  std::vector<const Client*> bots = balls(world);
  for (CrowdMember& member : world->crowd) {
    move(world, &member, bots);
    world_report_state(world, member.avatar, false, nullptr);
    if (member.avatar.gesture == kKickGesture) {
      server_log(server, "kick in %s: %s kicks at %d %d", world->config.name.c_str(),
                 member.avatar.name.c_str(), member.avatar.x, member.avatar.z);
    }
    if (!bots.empty() &&
        random_between(world->rng, 1, 1000) <= server->config.crowd_chat_per_mille) {
      const Client* bot = bots[world->rng() % bots.size()];
      // The universe link knows the login name; the world shows it in brackets.
      std::string name = bot->avatar.name.size() > 2
                             ? bot->avatar.name.substr(1, bot->avatar.name.size() - 2)
                             : bot->avatar.name;
      std::string text = name + (world->rng() % 2 == 0 ? " owner" : " version");
      server_log(server, "chat in %s from %s: %s", world->config.name.c_str(),
                 member.avatar.name.c_str(), text.c_str());
      world_report_chat(world, member.avatar.session, text);
    }
  }
}

bool crowd_whispered(Server* server, World* world, std::uint16_t session, const Avatar& from,
                     const std::string& text) {
  for (const CrowdMember& member : world->crowd) {
    if (member.avatar.session != session) continue;
    server_log(server, "whisper in %s from %s to %s: %s", world->config.name.c_str(),
               from.name.c_str(), member.avatar.name.c_str(), text.c_str());
    return true;
  }
  return false;
}

}  // namespace orbilo
