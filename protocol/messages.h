// The protocol's vocabulary, named once for the library (sdk/) and the
// servers (server/): every message id by link and direction, the build
// thresholds that choose message forms, the setting keys with a meaning of
// their own, and the bits of the event mask. Neither side writes a bare
// message number; the tests build their wire bytes without this header, so
// that a wrong number here cannot pass both sides.
//
// Each link and direction has its own enumeration type. Its ids are plain
// numbers to the message stream (stream_send(s, FIELD_BEGIN, id, ...)), but
// the handler tables and the waits take the type of their direction, so a
// world id in a universe table, or a bare number, does not compile.
//
// A message known only by its number is named after what it carries or
// calls, with its number kept in the name (kReply1 completes
// CALLBACK_UNIVERSE_1).
#pragma once

#include <cstdint>

namespace orbilo {

// ---- Universe link -----------------------------------------------------------
// A universe message from the server starts with a result byte, then its id
// (the server writes the result where FIELD_BEGIN puts an id, and the id as
// the first FIELD_BYTE); one from the client starts with its id.

// What the client sends to the universe.
namespace to_universe {
enum Id : std::uint8_t {
  kWorldLookup = 24,    // a world's name: answered by from_universe::kWorldReply
  kKeepAlive = 32,      // no fields: a link quiet for 60 s
  kAcknowledge = 34,    // no fields: the answer to kAcknowledgeRequest and kNotice10
  kLogin = 47,          // the first message of a link: build, name, owner, password, application
  kCitizenLookup = 55,  // a citizen number: answered by from_universe::kCitizenRecord
};
}  // namespace to_universe

// What the universe sends to the client.
namespace from_universe {
enum Id : std::uint8_t {
  kWorldReply = 0,          // a world's server: address, port, build (lookup value, cell bound)
  kReply1 = 1,              // completes CALLBACK_UNIVERSE_1
  kReply4 = 4,              // completes CALLBACK_UNIVERSE_4
  kAcknowledgeRequest = 9,  // asks for to_universe::kAcknowledge
  kNotice10 = 10,           // EVENT_UNIVERSE_10; its flag may ask for an acknowledgement
  kReply11 = 11,            // completes CALLBACK_UNIVERSE_11
  kWorldList = 14,          // world list entries to the end of the message
  kEntries15 = 15,          // EVENT_UNIVERSE_15 once per entry
  kNotice16 = 16,           // EVENT_UNIVERSE_16
  kReply17 = 17,            // completes CALLBACK_UNIVERSE_17
  kRedirect = 18,           // the link moves to another address and port
  kReply19 = 19,            // completes CALLBACK_UNIVERSE_19
  kLoginReply = 20,         // session number, name, login number, check bytes
  kAttributes = 21,         // the universe settings (key, text) pairs
  kCipherKeys = 22,         // the two keystream skips: both directions enciphered in full
  kRecord23 = 23,           // ATTR_RECORD_*; completes CALLBACK_UNIVERSE_23
  kRecordText24 = 24,       // ATTR_RECORD_TEXT_1; completes CALLBACK_UNIVERSE_24
  kCitizenRecord = 25,      // a citizen's number and settings: completes a citizen lookup
  kCitizenNumber26 = 26,    // ATTR_CITIZEN_NUMBER; completes CALLBACK_UNIVERSE_26
  kRenumber = 27,           // a new session number
  kNotice28 = 28,           // ATTR_NOTICE_*; EVENT_UNIVERSE_28
  kReply29 = 29,            // completes CALLBACK_UNIVERSE_29
  kEntry30 = 30,            // ATTR_ENTRY_*; completes CALLBACK_UNIVERSE_30
  kReply31 = 31,            // completes CALLBACK_UNIVERSE_31
  kKeepAlive = 32,          // no fields: a keep-alive, or the answer to one; nothing to do
  kWorldListPage = 33,      // one page of a world list, saying whether more follow
  kReply41 = 41,            // completes CALLBACK_UNIVERSE_41
  kIgnored42 = 42,          // nothing is read and nothing is done
  kEvent43 = 43,            // EVENT_UNIVERSE_15, as for one entry of kEntries15
};
}  // namespace from_universe

// Universe builds (universe setting kBuild) from which messages carry more.
// Each threshold is one number; a name under it says what else it gates.
inline constexpr int kUniverseBuildLoginNumber = 23;  // login reply: the login number
inline constexpr int kUniverseBuildCellBound = 32;    // world reply: lookup value and cell bound
// From the same build on a universe keeps talking: a silent link is gone.
inline constexpr int kUniverseBuildIdleTimeout = kUniverseBuildCellBound;
inline constexpr int kUniverseBuildLoginCheck = 35;  // login reply: the four check bytes
// From the same build on kRecord23 carries an address and two flags.
inline constexpr int kUniverseBuildRecordAddress = kUniverseBuildLoginCheck;

// Universe setting keys (from_universe::kAttributes) read as numbers.
namespace universe_setting {
inline constexpr int kBuild = 6;    // the universe build, decimal
inline constexpr int kNumber9 = 9;  // ATTR_UNIVERSE_SETTING_9, decimal
}  // namespace universe_setting

// Citizen record keys (from_universe::kCitizenRecord).
namespace citizen_setting {
inline constexpr int kName = 0;  // ATTR_CITIZEN_NAME
}  // namespace citizen_setting

// The result byte of a world reply that turns an entry away; the library
// reports it as RC_NOT_WELCOME.
inline constexpr int kUniverseResultNotWelcome = 91;

// ---- World link --------------------------------------------------------------
// A world message starts with its id in both directions; replies carry their
// result as a field.

// What the client sends to a world.
namespace to_world {
enum Id : std::uint8_t {
  kKeepAlive = 6,           // no fields: a link quiet for 45 s
  kStateChange = 8,         // the bot's position, yaw, type and gesture
  kWhisper = 11,            // a session and a text
  kEventMask = 14,          // the event mask: which reports the client wants
  kLoginShortSession = 20,  // the world login of builds below kWorldBuildLongSession
  kLoginLongSession = 27,   // the world login of builds below kWorldBuildHashedLogin
  kLoginHashed = 53,        // the world login with identity and login hash
};
}  // namespace to_world

// What a world sends to the client.
namespace from_world {
enum Id : std::uint8_t {
  kRequestResult = 0,   // a request's result and object: completes CALLBACK_WORLD_0
  kAttributes = 1,      // the world settings (key, data) pairs: completes the entry
  kAvatarAdd = 2,       // an avatar arrives
  kAvatarDelete = 3,    // an avatar leaves
  kAvatarChange = 4,    // an avatar moves or changes its look
  kChatSaid = 5,        // chat of kind 1
  kCellReply = 6,       // the objects of one cell
  kObjectAdd = 7,       // an object added to a cell
  kObjectDelete = 8,    // an object deleted from a cell
  kEjected = 9,         // ends the link: RC_EJECTED
  kDisconnect465 = 10,  // ends the link with 465
  kDropLinks = 11,      // drops the world and the universe link
  kChatBroadcast = 12,  // chat of kind 0: public chat
  kReplyKind0 = 13,     // ATTR_WORLD_REPLY_KIND 0; completes CALLBACK_WORLD_13_15
  kNotWelcome = 14,     // ends the link: RC_NOT_WELCOME
  kReplyKind1 = 15,     // ATTR_WORLD_REPLY_KIND 1; completes CALLBACK_WORLD_13_15
  kKeepAlive = 16,      // no fields: a keep-alive, or the answer to one; nothing to do
  kCipherKeys = 17,     // the two keystream skips: both directions enciphered in full
  kChatWhispered = 18,  // chat of kind 2: a whisper
  kObjectClick19 =
      19,  // an avatar and an object (with its fields from newer builds): EVENT_WORLD_19
  kObjectClick20 = 20,    // an avatar and an object: EVENT_WORLD_20
  kAvatarAct21 = 21,      // one avatar's act on another: EVENT_WORLD_21
  kAvatarAddress22 = 22,  // ATTR_AVATAR_ADDRESS; completes CALLBACK_WORLD_22
  kAvatarTexts23 = 23,    // ATTR_AVATAR_TEXT_1 and 2: EVENT_WORLD_23
  kLocation24 = 24,       // ATTR_LOCATION_*: EVENT_WORLD_24
  kEntry25 = 25,          // ATTR_ENTRY_KIND and VALUE_1; completes CALLBACK_WORLD_25
  kEntry26 = 26,          // ATTR_ENTRY_*; completes CALLBACK_WORLD_26
  kWorldBuild = 27,       // a new world build and result
  kEntity28 = 28,         // ATTR_ENTITY_TEXT_1 and ID; completes CALLBACK_WORLD_28_29
  kEntity29 = 29,         // ATTR_ENTITY_ID; completes CALLBACK_WORLD_28_29
  kEntityList30 = 30,     // ATTR_ENTITY_*: EVENT_WORLD_30 once per entry
  kEntityFlag31 = 31,     // ATTR_ENTITY_FLAG_2; completes CALLBACK_WORLD_31
  kEntity32 = 32,         // ATTR_ENTITY_ID: EVENT_WORLD_32
  kReply33 = 33,          // a result alone: completes CALLBACK_WORLD_33
  kReplyValue34 = 34,     // ATTR_REPLY_VALUE; completes CALLBACK_WORLD_34
  kReply35 = 35,          // a result alone: completes CALLBACK_WORLD_35
  kDisconnect489 = 36,    // ends the link with 489
  kReply37 = 37,          // a result alone: completes CALLBACK_WORLD_37
  kItem41 = 41,           // ATTR_ITEM_VALUE_1 and 2; completes CALLBACK_WORLD_41
  kNodePage = 42,         // one page of node records: EVENT_WORLD_42_*
  kNotice43 = 43,         // ATTR_WORLD_NOTICE_*: EVENT_WORLD_43
  kPage44 = 44,           // ATTR_PAGE_X and Z: EVENT_WORLD_44
  kDisconnect92 = 45,     // ends the link with 92
  kNodePages = 46,        // node records of several pages: completes CALLBACK_WORLD_46
  kReply47 = 47,          // a result alone: completes CALLBACK_WORLD_47
  kNode48 = 48,           // ATTR_PAGE_* and ATTR_NODE_VALUE_*; completes CALLBACK_WORLD_48
};
}  // namespace from_world

// World builds (the world reply, world setting kBuild, from_world::kWorldBuild)
// that choose message forms. Each threshold is one number; the names under
// it say what else it gates.
inline constexpr int kWorldBuildOldest = 26;  // below: no world login is possible
// 32-bit sessions: the world login kLoginLongSession, and avatar add with
// three more values.
inline constexpr int kWorldBuildLongSession = 28;
// The world login kLoginHashed, with the machine identity and the login hash.
inline constexpr int kWorldBuildHashedLogin = 39;
// From the same build on: objects with tilt and roll and long sequences
// (kCellReply, kObjectAdd, kObjectClick19), entries with a kind byte
// (kEntry25, kEntry26), and list entries with an eighth value (kEntityList30).
inline constexpr int kWorldBuildTilted = kWorldBuildHashedLogin;
inline constexpr int kWorldBuildEntryKind = kWorldBuildHashedLogin;
inline constexpr int kWorldBuildEntryValue8 = kWorldBuildHashedLogin;

// The byte that the oldest world login (kLoginShortSession) carries.
inline constexpr int kWorldLoginShortSessionByte = 50;

// World setting keys (from_world::kAttributes) with a meaning of their own.
namespace world_setting {
inline constexpr int kBuild = 21;     // the world build, decimal (ATTR_WORLD_BUILD)
inline constexpr int kRawData = 22;   // ATTR_WORLD_DATA, the bytes as they are
inline constexpr int kHexData = 57;   // ATTR_WORLD_DATA, spelt in hexadecimal
inline constexpr int kKeyLimit = 70;  // keys from here on are ignored
}  // namespace world_setting

// The longest world name; the login hash pads the name to this many bytes.
inline constexpr int kWorldNameMax = 8;
// The login check bytes of the login reply, hashed into kLoginHashed.
inline constexpr int kLoginCheckBytes = 4;

// ---- Event mask (to_world::kEventMask) -------------------------------------
// Which reports a world client wants, bit by bit.
// Avatar add and delete: asked for by every event about avatars, chat and clicks.
inline constexpr std::uint32_t kMaskAvatars = 1u << 0;
inline constexpr std::uint32_t kMaskAvatarChanges = 1u << 1;  // avatar change
inline constexpr std::uint32_t kMaskChat = 1u << 2;           // chat and whispers
inline constexpr std::uint32_t kMaskObjects = 1u << 3;        // object add and delete
inline constexpr std::uint32_t kMaskObjectClick19 = 1u << 4;  // from_world::kObjectClick19
inline constexpr std::uint32_t kMaskObjectClick20 = 1u << 5;  // from_world::kObjectClick20
inline constexpr std::uint32_t kMaskAvatarAct21 = 1u << 6;    // from_world::kAvatarAct21
inline constexpr std::uint32_t kMaskNotice43 = 1u << 7;       // from_world::kNotice43
inline constexpr std::uint32_t kMaskPage44 = 1u << 8;         // from_world::kPage44

}  // namespace orbilo
