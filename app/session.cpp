#include "session.h"

#include <strings.h>

#include <orbilo/sdk.h>
#include "login_fields.h"
#include "version_check.h"

int Running = 0;
std::string LoginWorld;
std::string LoginLocation;
int LoginAvatar = 0;
std::string UniverseHost;
int UniversePort = 0;
std::string IniPath;

namespace {

// The page that logged in last, for the ball's handlers and for whoever asks
// through active_page().
LoginPage* page = nullptr;

constexpr const char* kProgramCaption = "Simple Orbilo";
constexpr const char* kShortCaption = "Orbilo";

std::string with_reason(const char* format, int rc) {
  std::string text = format;
  std::size_t at = text.find("%s");
  return text.replace(at, 2, api_result_text(rc));
}

// Each instance carries its page: the library makes the instance of a
// callback or event current before calling it.
LoginPage* page_of_instance() {
  return static_cast<LoginPage*>(api_user_data());
}

void login_result(int rc) {
  if (LoginPage* at = page_of_instance()) at->OnLoginResult(rc);
}
void enter_result(int rc) {
  if (LoginPage* at = page_of_instance()) at->OnEnterResult(rc);
}
void world_change_result(int rc) {
  if (LoginPage* at = page_of_instance()) at->OnWorldChangeResult(rc);
}
void owner_lookup(int rc) {
  if (LoginPage* at = page_of_instance()) at->OnOwnerLookup(rc);
}
void world_disconnect() {
  if (LoginPage* at = page_of_instance()) at->OnWorldDisconnect();
}
void world_attributes() {
  if (LoginPage* at = page_of_instance()) at->OnWorldAttributes();
}
void avatar_add() {
  if (LoginPage* at = page_of_instance()) at->OnAvatarArrived();
}
void avatar_delete() {
  if (LoginPage* at = page_of_instance()) at->OnAvatarLeft();
}
// The kick rule runs for every avatar change, as it always has; the page's
// map follows when there is a page.
void avatar_change() {
  if (LoginPage* at = page_of_instance()) {
    at->OnAvatarMoved();
  } else {
    OnAvatarChange();
  }
}

const char* text_or_empty(const char* text) {
  return text != nullptr ? text : "";
}

}  // namespace

LoginPage* active_page() {
  return page;
}

void LoginPage::Activate() {
  page = this;
  BallAttach(view_, &fields_);
}

void LoginPage::Init() {
  Activate();
  view_->SetModified(false);
  if (IniPath.empty()) IniPath = settings_path();
  settings_readable_ = settings_load(IniPath, &fields_, &servers_);
  view_->FillControls(login_fields_texts(fields_));
  FollowHome();
  UniverseHost = servers_.UniverseHost;
  UniversePort = servers_.UniversePort;
}

void LoginPage::Destroy() {
  api_destroy();
  ReadFields();
  // Settings that could not be read were never shown: writing the defaults
  // in their place would lose them.
  settings_saved_ = settings_readable_ && settings_save(IniPath, fields_);
  api_term();
  if (page == this) {
    page = nullptr;
    BallAttach(nullptr, nullptr);
  }
}

void LoginPage::ReadFields() {
  std::string message;
  if (!login_fields_read(view_->ReadControls(), &fields_, &message)) {
    view_->MessageBox(true, view_->ApplicationName(), message, BoxIcon::kWarning);
  }
  FollowHome();
}

void LoginPage::SeeAvatar() {
  map_.AvatarSeen(api_int(ATTR_AVATAR_SESSION), {text_or_empty(api_string(ATTR_AVATAR_NAME)),
                                                 {api_int(ATTR_AVATAR_X), api_int(ATTR_AVATAR_Z)},
                                                 api_int(ATTR_AVATAR_Y),
                                                 api_int(ATTR_AVATAR_YAW)});
}

void LoginPage::FollowBall() {
  map_.SetBall({api_int(ATTR_MY_X), api_int(ATTR_MY_Z)}, api_int(ATTR_MY_YAW));
  view_->MapChanged();
}

void LoginPage::FollowHome() {
  Location home = ParseLocation(fields_.CenterCoords);
  map_.SetHome({home.x, home.z});
  view_->MapChanged();
}

void LoginPage::ForgetAvatars() {
  map_.ClearAvatars();
  view_->MapChanged();
}

void LoginPage::OnAvatarArrived() {
  SeeAvatar();
  view_->MapChanged();
}

void LoginPage::OnAvatarLeft() {
  map_.AvatarLeft(api_int(ATTR_AVATAR_SESSION));
  view_->MapChanged();
}

void LoginPage::OnAvatarMoved() {
  SeeAvatar();
  MapPoint before{api_int(ATTR_MY_X), api_int(ATTR_MY_Z)};
  OnAvatarChange();
  MapPoint after{api_int(ATTR_MY_X), api_int(ATTR_MY_Z)};
  if (after != before) {
    map_.Kick(before, after, WorldMap::Clock::now());
    map_.SetBall(after, api_int(ATTR_MY_YAW));
  }
  view_->MapChanged();
}

void LoginPage::Log(const std::string& text) {
  view_->AppendLog(text, kBlue, false, false, false, true);
}

void LoginPage::Report(const std::string& text) {
  view_->SetStatus(text);
  Log(text);
}

void LoginPage::OnLogin() {
  Activate();
  ReadFields();
  Running = 0;
  view_->EnableLoginControls(false);
  LoginLocation = fields_.CenterCoords;
  LoginWorld = fields_.World;
  LoginAvatar = fields_.Avatar;
  LoginCitizen = fields_.Citizen;
  OwnerQuery = fields_.Name + " owner";
  VersionQuery = fields_.Name + " version";
  api_event_set(EVENT_CHAT, OnChat);
  api_event_set(EVENT_AVATAR_CHANGE, avatar_change);
  // Arrivals and departures ask the world for nothing that the avatar
  // changes and the chat have not asked for already: the event mask stays.
  api_event_set(EVENT_AVATAR_ADD, avatar_add);
  api_event_set(EVENT_AVATAR_DELETE, avatar_delete);
  api_event_set(EVENT_WORLD_DISCONNECT, world_disconnect);
  api_event_set(EVENT_WORLD_ATTRIBUTES, world_attributes);
  world_lost_ = false;
  map_.ClearBall();
  ForgetAvatars();
  if (fields_.World.empty()) {
    view_->EnableLoginControls(true);
    view_->MessageBox(true, kShortCaption, "You must input a world.", BoxIcon::kError);
    return;
  }
  int rc = api_create(UniverseHost.c_str(), UniversePort, nullptr);
  if (rc != 0) {
    std::string text = with_reason("Unable to create bot instance (reason: %s).", rc);
    Log(text);
    view_->MessageBox(true, view_->ApplicationName(), text, BoxIcon::kNone);
    return;
  }
  api_user_data_set(this);
  view_->SetStatus("Connecting to version server...");
  CVersionCheck check;
  check.SetPort(servers_.VersionPort);
  check.SetWaitHook([this] { view_->ServePainting(); });
  std::string message;
  int verdict = check.Query(servers_.VersionHost, "Orbilo", kApplicationBuild, message);
  if (verdict < 0) {
    view_->MessageBox(
        true, view_->ApplicationName(),
        "Sorry, a network error occured while talking to the version server: " + check.ErrorText(),
        BoxIcon::kNone);
    exit_status_ = 1;
    view_->RequestQuit();
    return;
  }
  if (verdict != CVersionCheck::kAccepted) {
    view_->MessageBox(true, kProgramCaption, "Sorry, you cannot start this build: " + message,
                      BoxIcon::kError);
    exit_status_ = 1;
    view_->RequestQuit();
    return;
  }
  if (!message.empty()) {
    Log(message);
    view_->MessageBox(true, kProgramCaption, message, BoxIcon::kInformation);
  } else {
    Log("Orbilo has verified your Orbilo version is up to date.");
  }
  api_callback_set(CALLBACK_LOGIN, login_result);
  api_callback_set(CALLBACK_ENTER, enter_result);
  api_string_set(ATTR_LOGIN_NAME, fields_.Name.c_str());
  api_int_set(ATTR_LOGIN_OWNER, fields_.Citizen);
  api_string_set(ATTR_LOGIN_PRIVILEGE_PASSWORD, fields_.Password.c_str());
  api_string_set(ATTR_LOGIN_APPLICATION, kProgramCaption);
  view_->SetStatus("Attempting to login...");
  api_login();
}

void LoginPage::OnLoginResult(int rc) {
  if (rc != 0) {
    std::string text = with_reason("Unable to login (reason: %s).", rc);
    Log(text);
    view_->SetStatus(text);
    view_->EnableLoginControls(true);
    view_->MessageBox(false, kProgramCaption, text, BoxIcon::kError);
    return;
  }
  if (Running == 1) {
    // The library reopened a lost universe link and logged in again: it
    // takes the bot back into its world by itself, where it was. Entering
    // again would take it to the world and location of the first Login.
    Report("Orbilo has logged in again.");
    return;
  }
  Log("Orbilo has successfully logged in.");
  view_->SetStatus("Entering world...");
  api_callback_set(CALLBACK_CITIZEN_LOOKUP, owner_lookup);
  if (api_citizen_lookup(fields_.Citizen) == 0) api_enter(LoginWorld.c_str());
}

void LoginPage::OnOwnerLookup(int rc) {
  OwnerName = rc != 0 ? "<error in name lookup>" : api_string(ATTR_CITIZEN_NAME);
}

void LoginPage::OnWorldDisconnect() {
  world_lost_ = true;
  ForgetAvatars();  // the world tells of those still there once the bot is back
  Report(with_reason("Orbilo has lost its world connection (reason: %s).",
                     api_int(ATTR_DISCONNECT_REASON)));
}

void LoginPage::OnWorldAttributes() {
  if (!world_lost_) return;
  world_lost_ = false;
  Report("Orbilo has re-entered the world.");
}

void LoginPage::OnEnterResult(int rc) {
  if (rc != 0) {
    std::string text = with_reason("Unable to enter world (reason: %s).", rc);
    Log(text);
    view_->SetStatus(text);
    api_destroy();
    map_.ClearBall();
    ForgetAvatars();
    view_->EnableLoginControls(true);
    view_->MessageBox(false, kProgramCaption, text, BoxIcon::kError);
    return;
  }
  GoToLocation(LoginLocation, LoginAvatar);
  FollowBall();
  Report("Orbilo has successfully entered the world.");
  Report("Orbilo is now running.");
  Running = 1;
  view_->EnableRunningControls(true);
  view_->SetModified(false);
}

void LoginPage::PlaceAtHome(bool report_success) {
  int rc = GoToLocation(fields_.CenterCoords, fields_.Avatar);
  FollowBall();
  if (rc != 0) {
    std::string text = with_reason("Unable to change state (reason: %s).", rc);
    Report(text);
    view_->MessageBox(true, kShortCaption, text, BoxIcon::kError);
  } else if (report_success) {
    Report("Change successful.");
  }
}

void LoginPage::OnTimer(int id) {
  if (id == kPumpTimer) {
    api_wait(0);
  } else if (id == kHomeTimer && fields_.ReturnHome && Running == 1) {
    PlaceAtHome(false);
  }
}

void LoginPage::OnReturnHome() {
  PlaceAtHome(false);
}

void LoginPage::OnSettingChanged() {
  view_->SetModified(Running == 1);
}

void LoginPage::OnApply() {
  ReadFields();
  if (fields_.World.empty()) {
    view_->MessageBox(true, kShortCaption, "You must input a world.", BoxIcon::kError);
  } else if (strcasecmp(fields_.World.c_str(), api_string(ATTR_WORLD_NAME) != nullptr
                                                   ? api_string(ATTR_WORLD_NAME)
                                                   : "") == 0) {
    PlaceAtHome(true);
  } else {
    api_callback_set(CALLBACK_ENTER, nullptr);
    api_callback_set(CALLBACK_ENTER, world_change_result);
    world_lost_ = false;  // the entry reports itself
    ForgetAvatars();      // the bot leaves its world first
    api_enter(fields_.World.c_str());
  }
  view_->SetModified(false);
}

void LoginPage::OnWorldChangeResult(int rc) {
  if (rc != 0) {
    std::string text = with_reason("Unable to enter world (reason: %s).", rc);
    Report(text);
    view_->MessageBox(true, kShortCaption, text, BoxIcon::kError);
    return;
  }
  PlaceAtHome(true);
}
