/*
 * sdk.h - the Orbilo world client library.
 *
 * A bot program drives one or more bot instances. Each instance keeps a link
 * to the universe server and at most one link to a world server, stores what
 * the servers report in numbered, typed attributes, and reports back through
 * event and callback handlers. The library works only inside the calls the
 * program makes: api_wait() runs the event pump.
 *
 * Every call acts on the current instance (see api_instance_set()). Every call
 * that can fail returns a result code: 0 is success, anything else is a
 * failure whose text api_result_text() gives. A refused call changes nothing.
 *
 * This header is plain C99 and may be included from C++.
 */
#ifndef ORBILO_SDK_H
#define ORBILO_SDK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Marks the calls that the shared library exports; everything else in it is hidden. */
#if defined(__GNUC__) && __GNUC__ >= 4
#define ORBILO_SDK_API __attribute__((visibility("default")))
#else
#define ORBILO_SDK_API
#endif

/* The build of the library; api_init() refuses any other with RC_VERSION_MISMATCH. */
#define ORBILO_SDK_BUILD 24

/* ---- Result codes ------------------------------------------------------ */
/* RC_SUCCESS (0) and every failure's code, each with its text (api_result_text). */
#include "orbilo/result_codes.h"

/* ---- Attributes -------------------------------------------------------- */
/* Numbers 0 to 222. Each has a fixed type: integer, boolean, float, string of
 * at most 255 characters, or data of at most 255 bytes. Attributes the
 * servers report are read-only to the program (RC_READ_ONLY). */
#define ATTR_COUNT 223
#define ATTR_LOGIN_NAME 0
#define ATTR_LOGIN_OWNER 2
#define ATTR_LOGIN_PRIVILEGE_PASSWORD 3
#define ATTR_LOGIN_REPLY_NAME 5
#define ATTR_LOGIN_APPLICATION 6
#define ATTR_UNIVERSE_SETTING_0 8
#define ATTR_UNIVERSE_SETTING_1 9
#define ATTR_UNIVERSE_SETTING_2 10
#define ATTR_UNIVERSE_SETTING_3 11
#define ATTR_UNIVERSE_SETTING_4 12
#define ATTR_UNIVERSE_SETTING_5 13
#define ATTR_UNIVERSE_BUILD 14
#define ATTR_UNIVERSE_SETTING_7 15
#define ATTR_UNIVERSE_SETTING_8 16
#define ATTR_UNIVERSE_SETTING_9 17
#define ATTR_UNIVERSE_SETTING_10 18
#define ATTR_UNIVERSE_SETTING_11 19
#define ATTR_UNIVERSE_SETTING_12 20
#define ATTR_UNIVERSE_SETTING_13 21
#define ATTR_UNIVERSE_SETTING_14 22
#define ATTR_UNIVERSE_SETTING_15 23
#define ATTR_UNIVERSE_SETTING_16 24
#define ATTR_CITIZEN_NUMBER 25
#define ATTR_CITIZEN_NAME 26
#define ATTR_CITIZEN_SETTING_1 27
#define ATTR_CITIZEN_SETTING_2 28
#define ATTR_CITIZEN_SETTING_3 30
#define ATTR_CITIZEN_SETTING_17 31
#define ATTR_CITIZEN_SETTING_18 32
#define ATTR_CITIZEN_SETTING_19 33
#define ATTR_CITIZEN_SETTING_20 34
#define ATTR_CITIZEN_SETTING_21 35
#define ATTR_CITIZEN_SETTING_22 36
#define ATTR_CITIZEN_SETTING_23 37
#define ATTR_CITIZEN_SETTING_24 38
#define ATTR_CITIZEN_SETTING_25 39
#define ATTR_WORLD_NAME 40
#define ATTR_WORLD_SETTING_0 41
#define ATTR_WORLD_SETTING_1 42
#define ATTR_WORLD_SETTING_2 43
#define ATTR_WORLD_OBJECT_PATH 44
#define ATTR_WORLD_SETTING_5 45
#define ATTR_WORLD_SETTING_6 46
#define ATTR_WORLD_SETTING_7 47
#define ATTR_WORLD_SETTING_8 48
#define ATTR_WORLD_SETTING_10 49
#define ATTR_WORLD_SETTING_11 50
#define ATTR_WORLD_SETTING_12 51
#define ATTR_WORLD_SETTING_13 52
#define ATTR_WORLD_SETTING_14 53
#define ATTR_WORLD_SETTING_15 54
#define ATTR_WORLD_SETTING_17 55
#define ATTR_WORLD_SETTING_18 56
#define ATTR_WORLD_SETTING_19 57
#define ATTR_WORLD_SETTING_20 58
#define ATTR_WORLD_BUILD 59
#define ATTR_WORLD_DATA 60
#define ATTR_WORLD_SETTING_23 61
#define ATTR_WORLD_SETTING_24 62
#define ATTR_WORLD_SETTING_25 63
#define ATTR_WORLD_SETTING_26 64
#define ATTR_WORLD_SETTING_27 65
#define ATTR_WORLD_SETTING_29 66
#define ATTR_WORLD_SETTING_30 67
#define ATTR_WORLD_SETTING_31 68
#define ATTR_WORLD_SETTING_32 69
#define ATTR_WORLD_SETTING_33 70
#define ATTR_WORLD_SETTING_35 71
#define ATTR_WORLD_SETTING_36 72
#define ATTR_WORLD_SETTING_37 73
#define ATTR_WORLD_SETTING_38 74
#define ATTR_WORLD_SETTING_40 75
#define ATTR_WORLD_SETTING_41 76
#define ATTR_WORLD_SETTING_42 77
#define ATTR_WORLD_SETTING_43 78
#define ATTR_WORLD_SETTING_44 79
#define ATTR_WORLD_SETTING_45 80
#define ATTR_WORLD_SETTING_46 81
#define ATTR_WORLD_SETTING_47 82
#define ATTR_WORLD_SETTING_48 83
#define ATTR_WORLD_SETTING_49 84
#define ATTR_WORLD_SETTING_50 85
#define ATTR_WORLD_SETTING_51 86
#define ATTR_WORLD_SETTING_52 87
#define ATTR_WORLD_SETTING_53 88
#define ATTR_WORLD_SETTING_54 89
#define ATTR_WORLD_SETTING_55 90
#define ATTR_WORLD_SETTING_56 91
#define ATTR_WORLD_SETTING_58 92
#define ATTR_WORLD_SETTING_59 93
#define ATTR_WORLD_SETTING_60 94
#define ATTR_WORLD_SETTING_61 95
#define ATTR_WORLD_SETTING_62 96
#define ATTR_WORLD_SETTING_63 97
#define ATTR_WORLD_SETTING_64 98
#define ATTR_WORLD_SETTING_65 99
#define ATTR_WORLD_SETTING_66 100
#define ATTR_WORLD_SETTING_68 101
#define ATTR_WORLD_SETTING_69 102
#define ATTR_MY_X 103
#define ATTR_MY_Y 104
#define ATTR_MY_Z 105
#define ATTR_MY_YAW 106
#define ATTR_MY_TYPE 107
#define ATTR_MY_GESTURE 108
#define ATTR_AVATAR_SESSION 109
#define ATTR_AVATAR_NAME 110
#define ATTR_AVATAR_X 111
#define ATTR_AVATAR_Y 112
#define ATTR_AVATAR_Z 113
#define ATTR_AVATAR_YAW 114
#define ATTR_AVATAR_TYPE 115
#define ATTR_AVATAR_GESTURE 116
#define ATTR_AVATAR_ADDRESS 117
#define ATTR_AVATAR_VALUE_1 118
#define ATTR_AVATAR_VALUE_2 119
#define ATTR_AVATAR_VALUE_3 120
#define ATTR_CHAT_SESSION 121
#define ATTR_CHAT_MESSAGE 122
#define ATTR_CELL_X 123
#define ATTR_CELL_Z 124
#define ATTR_CELL_SEQUENCE 125
#define ATTR_CELL_SIZE 126
#define ATTR_REPLY_VALUE 127
#define ATTR_OBJECT_NUMBER 129
#define ATTR_OBJECT_X 130
#define ATTR_OBJECT_Y 131
#define ATTR_OBJECT_Z 132
#define ATTR_OBJECT_YAW 133
#define ATTR_OBJECT_TILT 134
#define ATTR_OBJECT_ROLL 135
#define ATTR_OBJECT_MODEL 136
#define ATTR_OBJECT_DESCRIPTION 137
#define ATTR_OBJECT_ACTION 138
#define ATTR_OBJECT_VALUE_1 142
#define ATTR_OBJECT_SEQUENCE 143
#define ATTR_OBJECT_VALUE_2 144
#define ATTR_WORLD_REPLY_KIND 145
#define ATTR_CHAT_TYPE 146
#define ATTR_RECORD_TEXT_1 147
#define ATTR_RECORD_TEXT_2 148
#define ATTR_RECORD_VALUE_1 149
#define ATTR_RECORD_VALUE_2 150
#define ATTR_RECORD_TEXT_3 151
#define ATTR_RECORD_TEXT_4 152
#define ATTR_RECORD_VALUE_3 153
#define ATTR_RECORD_VALUE_4 154
#define ATTR_RECORD_VALUE_5 155
#define ATTR_RECORD_ADDRESS 156
#define ATTR_RECORD_FLAG_1 157
#define ATTR_RECORD_FLAG_2 158
#define ATTR_WORLD_LIST_NAME 159
#define ATTR_WORLD_LIST_STATUS 160
#define ATTR_WORLD_LIST_USERS 161
#define ATTR_WORLD_LIST_MORE 162
#define ATTR_ENTRY_KIND 165
#define ATTR_ENTRY_VALUE_1 166
#define ATTR_ENTRY_VALUE_2 167
#define ATTR_ENTRY_VALUE_3 168
#define ATTR_ENTRY_TEXT 169
#define ATTR_DISCONNECT_REASON 170
#define ATTR_NOTICE_VALUE_1 172
#define ATTR_NOTICE_TEXT 173
#define ATTR_NOTICE_VALUE_2 174
#define ATTR_NOTICE_VALUE_3 175
#define ATTR_NOTICE_VALUE_4 176
#define ATTR_TARGET_SESSION 177
#define ATTR_TARGET_NAME 178
#define ATTR_AVATAR_TEXT_1 179
#define ATTR_AVATAR_TEXT_2 180
#define ATTR_LOCATION_WORLD 181
#define ATTR_LOCATION_X 182
#define ATTR_LOCATION_Y 183
#define ATTR_LOCATION_Z 184
#define ATTR_LOCATION_YAW 185
#define ATTR_LOCATION_FLAG 186
#define ATTR_WORLD_STATUS 187
#define ATTR_ENTITY_TEXT_1 188
#define ATTR_ENTITY_TEXT_2 189
#define ATTR_ENTITY_TEXT_3 190
#define ATTR_ENTITY_TEXT_4 191
#define ATTR_ENTITY_ID 192
#define ATTR_ENTITY_FLAG_1 193
#define ATTR_ENTITY_VALUE_1 194
#define ATTR_ENTITY_VALUE_2 195
#define ATTR_ENTITY_VALUE_3 196
#define ATTR_ENTITY_VALUE_4 197
#define ATTR_ENTITY_VALUE_5 198
#define ATTR_ENTITY_VALUE_6 199
#define ATTR_ENTITY_VALUE_7 200
#define ATTR_ENTITY_FLAG_2 201
#define ATTR_ENTITY_VALUE_8 202
#define ATTR_ITEM_VALUE_1 203
#define ATTR_ITEM_VALUE_2 204
#define ATTR_PAGE_X 205
#define ATTR_PAGE_Z 206
#define ATTR_NODE_VALUE_1 207
#define ATTR_NODE_VALUE_2 208
#define ATTR_NODE_VALUE_3 209
#define ATTR_NODE_COUNT_1 210
#define ATTR_NODE_COUNT_2 211
#define ATTR_NODE_DATA_1 212
#define ATTR_NODE_DATA_2 213
#define ATTR_PAGE_VALUE 214
#define ATTR_PAGE_FLAG 215
#define ATTR_WORLD_LOGIN_OPTION 216
#define ATTR_WORLD_NOTICE_VALUE_1 217
#define ATTR_WORLD_NOTICE_VALUE_2 218
#define ATTR_WORLD_NOTICE_VALUE_3 219
#define ATTR_WORLD_NOTICE_FLAG_1 220
#define ATTR_WORLD_NOTICE_FLAG_2 221
#define ATTR_WORLD_NOTICE_TEXT 222

/* ---- Events (handlers take no argument) -------------------------------- */
#define EVENT_COUNT 29
#define EVENT_AVATAR_ADD 0
#define EVENT_AVATAR_CHANGE 1
#define EVENT_AVATAR_DELETE 2
#define EVENT_CELL_BEGIN 3
#define EVENT_CELL_OBJECT 4
#define EVENT_CELL_END 5
#define EVENT_CHAT 6
#define EVENT_OBJECT_ADD 7
#define EVENT_OBJECT_DELETE 8
#define EVENT_UNIVERSE_ATTRIBUTES 9
#define EVENT_WORLD_ATTRIBUTES 10
#define EVENT_WORLD_LIST 11
#define EVENT_WORLD_DISCONNECT 12
#define EVENT_UNIVERSE_28 13
#define EVENT_UNIVERSE_15 14
#define EVENT_UNIVERSE_10 15
#define EVENT_UNIVERSE_16 16
#define EVENT_WORLD_19 17
#define EVENT_WORLD_20 18
#define EVENT_WORLD_21 19
#define EVENT_WORLD_23 20
#define EVENT_WORLD_24 21
#define EVENT_WORLD_30 22
#define EVENT_WORLD_32 23
#define EVENT_WORLD_42_BEGIN 24
#define EVENT_WORLD_42_NODE 25
#define EVENT_WORLD_42_END 26
#define EVENT_WORLD_43 27
#define EVENT_WORLD_44 28

/* ---- Callbacks (handlers take the operation's result code) ------------- */
#define CALLBACK_COUNT 32
#define CALLBACK_LOGIN 0
#define CALLBACK_ENTER 1
#define CALLBACK_WORLD_0 2
#define CALLBACK_UNIVERSE_23 3
#define CALLBACK_UNIVERSE_24 4
#define CALLBACK_CITIZEN_LOOKUP 5
#define CALLBACK_UNIVERSE_26 6
#define CALLBACK_WORLD_13_15 7
#define CALLBACK_WORLD_LIST 8
#define CALLBACK_UNIVERSE_29 9
#define CALLBACK_UNIVERSE_17 10
#define CALLBACK_UNIVERSE_4 11
#define CALLBACK_UNIVERSE_1 12
#define CALLBACK_UNIVERSE_19 13
#define CALLBACK_UNIVERSE_30 14
#define CALLBACK_UNIVERSE_31 15
#define CALLBACK_WORLD_22 16
#define CALLBACK_WORLD_26 17
#define CALLBACK_WORLD_25 18
#define CALLBACK_WORLD_31 19
#define CALLBACK_WORLD_28_29 20
#define CALLBACK_WORLD_33 21
#define CALLBACK_WORLD_34 22
#define CALLBACK_WORLD_35 23
#define CALLBACK_WORLD_37 24
#define CALLBACK_25 25
#define CALLBACK_UNIVERSE_41 26
#define CALLBACK_UNIVERSE_11 27
#define CALLBACK_WORLD_41 28
#define CALLBACK_WORLD_46 29
#define CALLBACK_WORLD_47 30
#define CALLBACK_WORLD_48 31

typedef void (*EventHandler)(void);
typedef void (*CallbackHandler)(int rc);

/* ---- Lifecycle --------------------------------------------------------- */

/* Starts the library. build must be ORBILO_SDK_BUILD (else RC_VERSION_MISMATCH).
 * Returns 0, also when already started. */
ORBILO_SDK_API int api_init(int build);

/* Destroys every instance and stops the library. Handlers stay installed. */
ORBILO_SDK_API void api_term(void);

/* Creates an instance, resolves host (NULL for "localhost") and opens its
 * universe link on port (0 for 5670). The new instance becomes current and is
 * stored in *instance when instance is not NULL. Returns 0, RC_NOT_INITIALIZED,
 * RC_OUT_OF_MEMORY, RC_HOST_NOT_FOUND, or the connect's failure. */
ORBILO_SDK_API int api_create(const char* host, int port, void** instance);

/* Destroys the current instance and its links. Returns 0, RC_NOT_INITIALIZED
 * or RC_NO_INSTANCE. Handlers may call it; the pump pass then ends. */
ORBILO_SDK_API int api_destroy(void);

/* Runs the event pump: with 0, handles every message that has arrived and
 * returns without blocking; with a positive time, runs for about that many
 * milliseconds; with a negative one, runs until no instance is left. Handlers
 * are called from inside it. Returns 0, RC_NOT_INITIALIZED or RC_NO_INSTANCE. */
ORBILO_SDK_API int api_wait(int milliseconds);

/* Makes instance current. Returns 0, RC_NOT_INITIALIZED, or
 * RC_INVALID_INSTANCE when it is no live instance. */
ORBILO_SDK_API int api_instance_set(void* instance);

/* The current instance, or NULL. */
ORBILO_SDK_API void* api_instance(void);

/* ---- Attributes of the current instance -------------------------------- */

/* The value of an integer or boolean attribute; 0 otherwise, or when there is
 * no library or no current instance. */
ORBILO_SDK_API int api_int(int attribute);

/* Sets an integer attribute, or a boolean one (any non-zero value is true).
 * Returns 0, RC_NOT_INITIALIZED, RC_NO_INSTANCE, RC_INVALID_ATTRIBUTE,
 * RC_READ_ONLY or RC_TYPE_MISMATCH. */
ORBILO_SDK_API int api_int_set(int attribute, int value);

/* As api_int_set(); meant for boolean attributes. */
ORBILO_SDK_API int api_bool_set(int attribute, int value);

/* Sets a float attribute. Fails as api_int_set() does. */
ORBILO_SDK_API int api_float_set(int attribute, float value);

/* The value of a float attribute; 0 otherwise. */
ORBILO_SDK_API float api_float(int attribute);

/* The text of a string attribute ("" when empty), valid until the attribute
 * is written again; NULL for other types, or without library or instance. */
ORBILO_SDK_API const char* api_string(int attribute);

/* Sets a string attribute; NULL or "" empties it. Fails as api_int_set()
 * does, with RC_STRING_TOO_LONG above 255 characters, or RC_OUT_OF_MEMORY
 * (the attribute is then empty). */
ORBILO_SDK_API int api_string_set(int attribute, const char* text);

/* The bytes of a data attribute and their count in *length (length may be
 * NULL); NULL with length 0 when empty, of another type, or without library
 * or instance. Valid until the attribute is written again. */
ORBILO_SDK_API const unsigned char* api_data(int attribute, int* length);

/* ---- Handlers ---------------------------------------------------------- */

/* Installs (or with NULL removes) the handler of an event. Returns 0,
 * RC_NOT_INITIALIZED, or RC_INVALID_ATTRIBUTE for a number outside 0-28. */
ORBILO_SDK_API int api_event_set(int event, EventHandler handler);

/* Installs (or with NULL removes) the handler of a callback. Returns 0,
 * RC_NOT_INITIALIZED, or RC_INVALID_ATTRIBUTE for a number outside 0-31.
 * An operation whose callback is installed returns at once and reports its
 * outcome through the callback; otherwise it blocks until the reply. */
ORBILO_SDK_API int api_callback_set(int callback, CallbackHandler handler);

/* ---- Operations on the current instance -------------------------------- */

/* Logs in to the universe with ATTR_LOGIN_NAME, ATTR_LOGIN_OWNER,
 * ATTR_LOGIN_PRIVILEGE_PASSWORD and ATTR_LOGIN_APPLICATION. Completes
 * through CALLBACK_LOGIN. */
ORBILO_SDK_API int api_login(void);

/* Enters a world (a name of at most 8 characters, else RC_INVALID_WORLD_NAME),
 * leaving any world first. Completes through CALLBACK_ENTER. */
ORBILO_SDK_API int api_enter(const char* world);

/* Leaves the world. Returns 0, or the check's failure. */
ORBILO_SDK_API int api_exit(void);

/* Sends the bot's position and look from ATTR_MY_X .. ATTR_MY_GESTURE.
 * RC_NO_CONNECTION before the world has been entered. */
ORBILO_SDK_API int api_state_change(void);

/* Whispers text (at most 255 characters, else RC_STRING_TOO_LONG) to the
 * avatar with the given session number. */
ORBILO_SDK_API int api_whisper(int session, const char* text);

/* Looks a citizen up by number; the reply fills ATTR_CITIZEN_NUMBER,
 * ATTR_CITIZEN_NAME and the citizen settings. Completes through
 * CALLBACK_CITIZEN_LOOKUP. */
ORBILO_SDK_API int api_citizen_lookup(int citizen);

/* ---- Result texts ------------------------------------------------------ */

/* The text of a result code, or its decimal form when it has none. The text
 * stays valid until the next call. */
ORBILO_SDK_API const char* api_result_text(int rc);

#ifdef __cplusplus
}
#endif

#endif /* ORBILO_SDK_H */
