#include "support/kick_peer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace orbilo {

namespace kick {

std::string ini(int universe_port, int version_port) {
  return "[Main]\nName=Ball\nCitizen=1\nPassword=demo\nWorld=demo\n[universe]\n"
         "host=127.0.0.1\nport=" +
         std::to_string(universe_port) +
         "\n[version]\nhost=127.0.0.1\nport=" + std::to_string(version_port) + "\n";
}

scripted::Link bring_in(const Login& login, scripted::Server& universe, scripted::Server& world,
                        scripted::Link& universe_link) {
  if (login.version != nullptr) {
    scripted::Link asked = login.version->accept();
    asked.peer().receive(9);  // "4:Orbilo\n"
    asked.send_raw(scripted::Bytes{'0', '0', '0', '0', '1', '+'});
    asked.close();
  }

  scripted::Link& link = universe_link;
  link = universe.accept();
  if (!link.receive_first()) return {};
  const std::uint8_t check[4] = {1, 2, 3, 4};
  link.send_keys(true, 0, 0);
  link.send(messages::universe_attributes({{6, "35"}}));
  link.send(messages::login_reply(35, 5, "Ball", 1, check));
  bool citizen_answered = !login.asks_citizen, world_answered = false;
  while (!citizen_answered || !world_answered) {
    auto request = link.receive();
    if (!request) return {};
    if (request->id == 55) {
      link.send(messages::citizen_reply(1, "Owner"));
      citizen_answered = true;
    }
    if (request->id == 24) {
      link.send(messages::world_reply("demo", world.host_port(), 39));
      world_answered = true;
    }
  }
  scripted::Link in_world = world.accept();
  if (!in_world.receive_first()) return {};
  in_world.send_keys(false, 0, 0);
  in_world.send(messages::world_attributes({{21, "39"}}));
  // The event mask, then the bot's first state at its home (twice: once
  // placed, once re-sent as the world's attributes complete).
  while (auto message = in_world.receive()) {
    if (login.world_messages != nullptr) login.world_messages->push_back(message->bytes());
    if (message->id != 8) continue;
    while (!in_world.quiet(200)) in_world.receive();
    return in_world;
  }
  return {};
}

std::vector<double> times(scripted::Link& link, const Kicks& kicks) {
  std::vector<double> spent_ms;
  link.send(messages::avatar_add({.session = 7, .name = "Kicker"}));
  int ball_x = 0, ball_z = 0;
  for (int kick = 0; kick < kicks.count; ++kick) {
    int yaw = kicks.turn ? (kick * 450) % 3600 : 0;
    auto start = std::chrono::steady_clock::now();
    link.send(messages::avatar_change(
        {.session = 7, .x = ball_x, .z = ball_z, .yaw = yaw, .gesture = kicks.gesture}));
    auto moved = link.receive();
    while (kicks.others_between && moved && moved->id != 8) moved = link.receive();
    if (!moved || moved->id != 8) break;
    std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    spent_ms.push_back(spent.count());
    messages::Read read(moved->body);
    ball_x = static_cast<std::int32_t>(read.long32());
    read.long32();
    ball_z = static_cast<std::int32_t>(read.long32());
  }
  return spent_ms;
}

std::vector<double> bring_in_and_kick(const Login& login, scripted::Server& universe,
                                      scripted::Server& world, const Kicks& kicks) {
  scripted::Link universe_link;  // kept open while the bot runs
  scripted::Link link = bring_in(login, universe, world, universe_link);
  if (!link.valid()) return {};
  return times(link, kicks);
}

std::optional<std::vector<Figure>> figures(std::vector<double> times, const Kicks& kicks,
                                           const std::string& name) {
  if (times.empty() || times.size() != static_cast<std::size_t>(kicks.count)) return {};
  std::sort(times.begin(), times.end());
  return std::vector<Figure>{{name + "_p50", times[times.size() / 2]},
                             {name + "_p99", times[times.size() * 99 / 100]}};
}

}  // namespace kick

}  // namespace orbilo
