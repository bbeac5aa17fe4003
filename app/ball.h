// The ball: the bot placed at a location, kicked by avatars that come close
// making gesture 1, and answering the owner and version queries in chat.
#pragma once

#include <string>

#include "location.h"
#include "settings.h"
#include "view.h"

inline constexpr int kKickRadius = 150;
inline constexpr int kKickDistance = 650;
inline constexpr int kKickGesture = 1;
// Tenths of a degree to radians, with 3.141592 for pi.
inline constexpr double kAngleFactor = 3.141592 / 1800;
inline constexpr int kRepliesFromWorldBuild = 17;

// "Copyright (C) 2026 The Orbilo Authors", quoted in the version reply.
extern const char* const kCopyright;

// What the chat replies say, set by the session driver: the owner's citizen
// number at Login and name once looked up, and the two queries ("NAME owner",
// "NAME version").
extern int LoginCitizen;
extern std::string OwnerName;
extern std::string OwnerQuery;
extern std::string VersionQuery;

// Where the ball's handlers report, and the settings they read (whether bots
// may kick): the running page's, or none (nullptr) once it is gone.
void BallAttach(View* view, const LoginFields* fields);

// Places the bot at the location text with the avatar type: the result of
// api_state_change.
int GoToLocation(const std::string& text, int type);

// EVENT_AVATAR_CHANGE: the kick.
void OnAvatarChange();
// EVENT_CHAT: the owner and version replies.
void OnChat();
