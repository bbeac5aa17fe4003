// What the map shows of the world around the bot: the avatars it sees, by
// session, with their names, places and facings; the ball (the bot itself)
// and its home; and the kicks of the last ten seconds, each from where the
// ball was to where it went. The session driver feeds it from the library's
// avatar events and the ball's kicks; the window's map page and the
// console's avatars command read it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

struct MapPoint {
  int x = 0;  // grows to the west
  int z = 0;  // grows to the north

  bool operator==(const MapPoint&) const = default;
};

struct MapAvatar {
  std::string name;
  MapPoint place;
  int y = 0;    // altitude
  int yaw = 0;  // tenths of a degree: 0 facing north, 900 facing west

  bool operator==(const MapAvatar&) const = default;
};

// A name as it may be shown: each control character (the world chose the
// name) as "?", so that it can neither break a line nor command a terminal.
std::string ShownName(const std::string& name);

// The avatar as the map's tooltip and the console's list name it: its name,
// ": " and the location text of its place ("Ada: 2n 1w 90"), its name as
// ShownName shows it.
std::string AvatarText(const MapAvatar& avatar);

struct MapKick {
  MapPoint from;
  MapPoint to;
  std::chrono::steady_clock::time_point at;
};

class WorldMap {
 public:
  using Clock = std::chrono::steady_clock;
  // How long a kick stays on the map, fading as it ages.
  static constexpr std::chrono::milliseconds kKickFade{10000};
  // The most kicks kept at once; the oldest go first.
  static constexpr std::size_t kMaxKicks = 500;

  // An avatar that arrived or changed: a session seen for the first time
  // is added, a known one (a session the world reuses, too) takes the new
  // name, place and facing.
  void AvatarSeen(int session, const MapAvatar& avatar);
  // An avatar that left; an unknown session changes nothing.
  void AvatarLeft(int session);
  // Every avatar gone: the bot left its world or lost the link to it.
  void ClearAvatars();

  // Where the ball stands now, and whether it is in a world at all.
  void SetBall(MapPoint place, int yaw);
  void ClearBall();
  // The home location, where Return home takes the ball.
  void SetHome(MapPoint place);

  // A kick at the time at: the ball went from one place to the other. Kicks
  // older than kKickFade before at are dropped.
  void Kick(MapPoint from, MapPoint to, Clock::time_point at);
  // Whether a kick still fades at now.
  bool Fading(Clock::time_point now) const;

  // By session number.
  const std::map<int, MapAvatar>& avatars() const { return avatars_; }
  const std::optional<MapPoint>& ball() const { return ball_; }
  int ball_yaw() const { return ball_yaw_; }
  MapPoint home() const { return home_; }
  // Oldest first.
  const std::deque<MapKick>& kicks() const { return kicks_; }

  // How far a kick made at has faded at now: 1 when new, down to 0 once
  // kKickFade has passed.
  static double KickStrength(Clock::time_point at, Clock::time_point now);

 private:
  std::map<int, MapAvatar> avatars_;
  std::optional<MapPoint> ball_;
  int ball_yaw_ = 0;
  MapPoint home_;
  std::deque<MapKick> kicks_;
};
