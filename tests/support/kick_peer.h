// The world's side of the kick benchmarks: scripted universe, world and
// (optionally) version servers bring a bot into the world, then an avatar
// kicks the ball and each kick is timed until the bot's new state arrives.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/scripted_peer.h"

namespace orbilo {

namespace kick {

// The bot's ini file for a bot named Ball, owned by citizen 1, that enters
// "demo" through the universe and version servers on these ports.
std::string ini(int universe_port, int version_port);

// What the bot asks for on the way in.
struct Login {
  // The version server the bot asks first; nullptr when it asks none.
  scripted::Server* version = nullptr;
  // Whether the bot looks up its owner's citizen name before the world.
  bool asks_citizen = true;
  // When given: what the bot sent on the world link after its login, up to
  // its first state (id and fields, as the message builders build them).
  std::vector<scripted::Bytes>* world_messages = nullptr;
};

// Answers the version query when there is one, logs the bot in
// (universe_link receives the universe link, to be kept open while the bot
// runs) and brings it into the world; the world link, or an invalid one.
scripted::Link bring_in(const Login& login, scripted::Server& universe, scripted::Server& world,
                        scripted::Link& universe_link);

struct Kicks {
  int count = 300;
  int gesture = 1;
  // Whether the kicker turns an eighth of the way round on every kick.
  bool turn = true;
  // Whether other messages may come before the bot's new state.
  bool others_between = false;
};

// Adds the kicker, then kicks the ball where it now stands, each kick's
// response time in milliseconds, in order; fewer than kicks.count when the
// bot stopped answering.
std::vector<double> times(scripted::Link& link, const Kicks& kicks);

// bring_in, then times while the universe link stays open; no times when
// the bot did not come in.
std::vector<double> bring_in_and_kick(const Login& login, scripted::Server& universe,
                                      scripted::Server& world, const Kicks& kicks);

// A figure's name and value.
struct Figure {
  std::string name;
  double value = 0;
};

// The median and the 99th percentile of times, named name_p50 and
// name_p99; none when the bot answered fewer than kicks.count kicks.
std::optional<std::vector<Figure>> figures(std::vector<double> times, const Kicks& kicks,
                                           const std::string& name);

}  // namespace kick

}  // namespace orbilo
