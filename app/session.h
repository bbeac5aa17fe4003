// The session driver of the login page: from the Login button to a bot
// running in its world, the library's pump and the home timer, and the
// user's later changes (another world, another home, Return home). It
// reports each step through the view: the status line, the log in blue, and
// message boxes.
#pragma once

#include <string>

#include "ball.h"
#include "build.h"
#include "settings.h"
#include "view.h"
#include "world_map.h"

// The session's globals, alive for the whole run.
extern int Running;                // the bot is in its world
extern std::string LoginWorld;     // the world at Login
extern std::string LoginLocation;  // the location at Login
extern int LoginAvatar;
// LoginCitizen, OwnerName, OwnerQuery and VersionQuery: see app/ball.h.
extern std::string UniverseHost;
extern int UniversePort;
extern std::string IniPath;

inline constexpr int kPumpTimer = 42;  // every 50 ms
inline constexpr int kHomeTimer = 43;  // every 120000 ms
inline constexpr int kPumpIntervalMs = 50;
inline constexpr int kHomeIntervalMs = 120000;

// The login page of the core. One page runs at a time; the page rides on its
// instance as the library's user data, where the library's callbacks and
// events find it.
class LoginPage {
 public:
  explicit LoginPage(View* view) : view_(view) {}

  // Page initialisation: the settings from IniPath, the controls filled. The
  // front end starts the timers.
  void Init();
  // Page destruction: the instance destroyed, the controls read and the
  // settings written (unless they could not be read at Init), the library
  // shut down.
  void Destroy();

  // Makes this the active page, and the one that the ball's handlers reach.
  void Activate();

  void OnLogin();
  void OnTimer(int id);
  void OnReturnHome();
  void OnSettingChanged();
  void OnApply();

  // The library's callbacks and events, as the page sees them.
  void OnLoginResult(int rc);
  void OnEnterResult(int rc);
  void OnWorldChangeResult(int rc);
  void OnOwnerLookup(int rc);
  // EVENT_WORLD_DISCONNECT: the world link was lost or closed by the world;
  // the library opens it again by itself after a loss.
  void OnWorldDisconnect();
  // EVENT_WORLD_ATTRIBUTES: after a disconnection, the world is back.
  void OnWorldAttributes();
  // EVENT_AVATAR_ADD and EVENT_AVATAR_DELETE: the map gains or loses the
  // avatar.
  void OnAvatarArrived();
  void OnAvatarLeft();
  // EVENT_AVATAR_CHANGE: the map follows the avatar, then the ball's kick
  // rule runs; a kick goes on the map too.
  void OnAvatarMoved();

  LoginFields& fields() { return fields_; }
  const ServerSettings& servers() const { return servers_; }
  View* view() const { return view_; }
  // The world around the bot, as the map shows it.
  const WorldMap& map() const { return map_; }
  // 1 once a failed or refused version check asked the program to end.
  int exit_status() const { return exit_status_; }
  // False when the settings file existed at Init but could not be read; the
  // page then runs on the defaults and Destroy leaves the file alone.
  bool settings_readable() const { return settings_readable_; }
  // Whether Destroy wrote the settings file.
  bool settings_saved() const { return settings_saved_; }

 private:
  // Reads the controls into the fields; a failed check shows its message.
  void ReadFields();
  // Sets the status line, then appends the text to the log.
  void Report(const std::string& text);
  void Log(const std::string& text);
  // "Unable to change state (reason: %s)." when placing the bot fails.
  void PlaceAtHome(bool report_success);
  // The map's avatar from the avatar attributes of the current event.
  void SeeAvatar();
  // The map's ball where the bot's own attributes put it.
  void FollowBall();
  // The map's home at the location field.
  void FollowHome();
  // Every avatar off the map: the bot left its world or lost the link.
  void ForgetAvatars();

  View* view_;
  WorldMap map_;
  LoginFields fields_;
  ServerSettings servers_;
  int exit_status_ = 0;
  bool settings_readable_ = true;
  bool settings_saved_ = false;
  bool world_lost_ = false;  // a disconnection not yet followed by a return
};

// The page that logged in last (or was activated last).
LoginPage* active_page();
