/**
 * @file sdk.h
 * @brief The Orbilo world client library: its whole C interface.
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
 * This header is plain C99 and may be included from C++. A program includes
 * it as `orbilo/sdk.h` and links liborbilo_sdk (pkg-config: orbilo-sdk; CMake:
 * find_package(OrbiloSdk), target OrbiloSdk::orbilo_sdk).
 */

/**
 * @mainpage The Orbilo world client library
 *
 * With this C library a program runs bots in a 3D virtual world: each bot
 * instance logs in to the universe server, enters a world, sees the avatars
 * there and what they say, moves and whispers. The whole interface is one
 * header, sdk.h; its sections are:
 *
 * - @ref lifecycle : starting the library, making instances, the event pump;
 * - @ref threads : the one thread that may call the library;
 * - @ref attributes : the numbered values in which each instance keeps what
 *   the servers report and what the bot sends;
 * - @ref events : the reports that arrive unasked, and what each fills;
 * - @ref callbacks : the reports that end an operation, and what each fills;
 * - @ref operations : logging in, entering a world, moving, whispering;
 * - @ref results : what every call returns.
 *
 * @ref md_docs_guide "The guide" (docs/guide.md in the source tree) walks
 * through installing the library, a first bot, many instances, joining a
 * program's own loop and what happens when links are lost.
 */
#ifndef ORBILO_SDK_H
#define ORBILO_SDK_H

#ifdef __cplusplus
extern "C" {
#endif

/* The sections of the reference, in the order in which it shows them; each is
 * described where it begins below. */
/** @defgroup lifecycle Lifecycle and pump */
/** @defgroup threads Threads */
/** @defgroup attributes Attributes */
/** @defgroup events Events */
/** @defgroup callbacks Callbacks */
/** @defgroup operations Operations */

/** Marks the calls that the shared library exports; everything else in it is hidden. */
#if defined(__GNUC__) && __GNUC__ >= 4
#define ORBILO_SDK_API __attribute__((visibility("default")))
#else
#define ORBILO_SDK_API
#endif

/** @ingroup lifecycle
 * The build of the library; api_init() refuses any other with RC_VERSION_MISMATCH. */
#define ORBILO_SDK_BUILD 24

/* ---- Result codes ------------------------------------------------------ */
/* RC_SUCCESS (0) and every failure's code, each with its text (api_result_text). */
#include "orbilo/result_codes.h"

/* ---- Attributes -------------------------------------------------------- */
/**
 * @addtogroup attributes
 * @brief The numbered, typed values of an instance: what the bot sends and
 * what the servers report.
 *
 * Every instance holds ATTR_COUNT attributes, numbered 0 to 222; a few numbers
 * have no name and no use. Each has a fixed type: int (a signed 32-bit value),
 * bool (0 or 1), float, string (at most 255 characters) or data (at most 255
 * bytes). The program writes its login data and its own position before the
 * operations that send them. The library writes what a server reports just
 * before it calls the event or callback that reports it (see @ref events and
 * @ref callbacks), and the handler reads the values there: the next report of
 * the kind overwrites them. An attribute marked read-only below refuses the
 * program's setters (RC_READ_ONLY); data attributes have no setter at all.
 *
 * Servers send settings as text, which each attribute converts by its type:
 * an int takes the text's leading decimal number, a bool is true when the
 * text begins with Y or y, a float takes its decimal number.
 * @{
 */
/** Numbers of attributes: every valid number is below it. */
#define ATTR_COUNT 223
/** @name Login
 * The program sets these before api_login(), which sends all but
 * ATTR_LOGIN_REPLY_NAME; the login reply fills that one.
 */
/** @{ */
#define ATTR_LOGIN_NAME 0               /**< string: the bot's name */
#define ATTR_LOGIN_OWNER 2              /**< int: the citizen number of the bot's owner */
#define ATTR_LOGIN_PRIVILEGE_PASSWORD 3 /**< string: the owner's privilege password */
#define ATTR_LOGIN_REPLY_NAME 5         /**< string, read-only: the name that the login reply
                                             gives */
#define ATTR_LOGIN_APPLICATION 6        /**< string: the program's name, sent with the login */
/** @} */

/** @name Universe settings
 * The universe's attributes (EVENT_UNIVERSE_ATTRIBUTES), one attribute for each
 * key that the universe sends: key k goes to attribute 8 + k.
 */
/** @{ */
#define ATTR_UNIVERSE_SETTING_0 8   /**< int: key 0 */
#define ATTR_UNIVERSE_SETTING_1 9   /**< int: key 1 */
#define ATTR_UNIVERSE_SETTING_2 10  /**< int: key 2 */
#define ATTR_UNIVERSE_SETTING_3 11  /**< int: key 3 */
#define ATTR_UNIVERSE_SETTING_4 12  /**< string: key 4 */
#define ATTR_UNIVERSE_SETTING_5 13  /**< bool, read-only: key 5 */
#define ATTR_UNIVERSE_BUILD 14      /**< int: key 6: the universe server's build */
#define ATTR_UNIVERSE_SETTING_7 15  /**< string: key 7 */
#define ATTR_UNIVERSE_SETTING_8 16  /**< string: key 8 */
#define ATTR_UNIVERSE_SETTING_9 17  /**< int, read-only: key 9; 0 when not sent */
#define ATTR_UNIVERSE_SETTING_10 18 /**< bool, read-only: key 10; true when not sent */
#define ATTR_UNIVERSE_SETTING_11 19 /**< int: key 11 */
#define ATTR_UNIVERSE_SETTING_12 20 /**< string: key 12 */
#define ATTR_UNIVERSE_SETTING_13 21 /**< int: key 13 */
#define ATTR_UNIVERSE_SETTING_14 22 /**< int: key 14 */
#define ATTR_UNIVERSE_SETTING_15 23 /**< bool: key 15; true when not sent */
#define ATTR_UNIVERSE_SETTING_16 24 /**< string: key 16 */
/** @} */

/** @name Citizen record
 * A citizen's record, as api_citizen_lookup() gets it
 * (CALLBACK_CITIZEN_LOOKUP), one attribute for each key of the record.
 */
/** @{ */
#define ATTR_CITIZEN_NUMBER 25     /**< int: the citizen's number (also CALLBACK_UNIVERSE_26's) */
#define ATTR_CITIZEN_NAME 26       /**< string: key 0: the citizen's name */
#define ATTR_CITIZEN_SETTING_1 27  /**< string: key 1 */
#define ATTR_CITIZEN_SETTING_2 28  /**< string: key 2 */
#define ATTR_CITIZEN_SETTING_3 30  /**< string: key 3 */
#define ATTR_CITIZEN_SETTING_17 31 /**< int, read-only: key 17 */
#define ATTR_CITIZEN_SETTING_18 32 /**< int: key 18 */
#define ATTR_CITIZEN_SETTING_19 33 /**< bool: key 19 */
#define ATTR_CITIZEN_SETTING_20 34 /**< int, read-only: key 20 */
#define ATTR_CITIZEN_SETTING_21 35 /**< int: key 21 */
#define ATTR_CITIZEN_SETTING_22 36 /**< int, read-only: key 22 */
#define ATTR_CITIZEN_SETTING_23 37 /**< bool: key 23 */
#define ATTR_CITIZEN_SETTING_24 38 /**< string: key 24 */
#define ATTR_CITIZEN_SETTING_25 39 /**< string: key 25 */
/** @} */

/** @name World
 * ATTR_WORLD_NAME is api_enter()'s. The others are the world's settings
 * (EVENT_WORLD_ATTRIBUTES), one attribute for each key that the world sends;
 * before each world's settings, every one of them takes the value given below
 * for a key that is not sent.
 */
/** @{ */
#define ATTR_WORLD_NAME 40        /**< string: the world being entered, in lower case; api_enter()
                                       writes it */
#define ATTR_WORLD_SETTING_0 41   /**< string: key 0; empty when not sent */
#define ATTR_WORLD_SETTING_1 42   /**< string: key 1; empty when not sent */
#define ATTR_WORLD_SETTING_2 43   /**< string: key 2; empty when not sent */
#define ATTR_WORLD_OBJECT_PATH 44 /**< string: key 3: where the world's objects are served; the
                                       library's own path when not sent; emptied when
                                       ATTR_WORLD_SETTING_14 is false */
#define ATTR_WORLD_SETTING_5 45   /**< int: key 5; 10080 when not sent */
#define ATTR_WORLD_SETTING_6 46   /**< string: key 6; empty when not sent */
#define ATTR_WORLD_SETTING_7 47   /**< string: key 7; empty when not sent */
#define ATTR_WORLD_SETTING_8 48   /**< string: key 8; empty when not sent */
#define ATTR_WORLD_SETTING_10 49  /**< string: key 10; empty when not sent */
#define ATTR_WORLD_SETTING_11 50  /**< int: key 11; 0 when not sent */
#define ATTR_WORLD_SETTING_12 51  /**< int: key 12; 0 when not sent */
#define ATTR_WORLD_SETTING_13 52  /**< int: key 13; 178 when not sent */
#define ATTR_WORLD_SETTING_14 53  /**< bool, read-only: key 14; false when not sent */
#define ATTR_WORLD_SETTING_15 54  /**< int: key 15; 0 when not sent */
#define ATTR_WORLD_SETTING_17 55  /**< bool, read-only: key 17; false when not sent */
#define ATTR_WORLD_SETTING_18 56  /**< string: key 18; empty when not sent */
#define ATTR_WORLD_SETTING_19 57  /**< int, read-only: key 19; 0 when not sent */
#define ATTR_WORLD_SETTING_20 58  /**< string: key 20; empty when not sent */
#define ATTR_WORLD_BUILD 59       /**< int, read-only: key 21: the world server's build; 0 when not
                                       sent */
#define ATTR_WORLD_DATA 60        /**< data: key 22 (bytes as sent) or 57 (hexadecimal text,
                                       decoded); empty when not sent; emptied when
                                       ATTR_WORLD_SETTING_14 is false */
#define ATTR_WORLD_SETTING_23 61  /**< bool: key 23; true when not sent */
#define ATTR_WORLD_SETTING_24 62  /**< int: key 24; 1 when not sent */
#define ATTR_WORLD_SETTING_25 63  /**< string: key 25; empty when not sent */
#define ATTR_WORLD_SETTING_26 64  /**< string: key 26; empty when not sent */
#define ATTR_WORLD_SETTING_27 65  /**< bool, read-only: key 27; false when not sent */
#define ATTR_WORLD_SETTING_29 66  /**< int: key 29; 1500 when not sent */
#define ATTR_WORLD_SETTING_30 67  /**< bool, read-only: key 30; false when not sent */
#define ATTR_WORLD_SETTING_31 68  /**< bool: key 31; true when not sent */
#define ATTR_WORLD_SETTING_32 69  /**< bool: key 32; true when not sent */
#define ATTR_WORLD_SETTING_33 70  /**< bool: key 33; true when not sent */
#define ATTR_WORLD_SETTING_35 71  /**< bool: key 35; true when not sent */
#define ATTR_WORLD_SETTING_36 72  /**< string: key 36; empty when not sent */
#define ATTR_WORLD_SETTING_37 73  /**< bool, read-only: key 37; false when not sent */
#define ATTR_WORLD_SETTING_38 74  /**< string: key 38; "*" when not sent */
#define ATTR_WORLD_SETTING_40 75  /**< bool: key 40; true when not sent */
#define ATTR_WORLD_SETTING_41 76  /**< float: key 41; -0.8 when not sent */
#define ATTR_WORLD_SETTING_42 77  /**< float: key 42; -0.5 when not sent */
#define ATTR_WORLD_SETTING_43 78  /**< float: key 43; -0.2 when not sent */
#define ATTR_WORLD_SETTING_44 79  /**< int: key 44; 255 when not sent */
#define ATTR_WORLD_SETTING_45 80  /**< int: key 45; 255 when not sent */
#define ATTR_WORLD_SETTING_46 81  /**< int: key 46; 255 when not sent */
#define ATTR_WORLD_SETTING_47 82  /**< int: key 47; 255 when not sent */
#define ATTR_WORLD_SETTING_48 83  /**< int: key 48; 255 when not sent */
#define ATTR_WORLD_SETTING_49 84  /**< int: key 49; 255 when not sent */
#define ATTR_WORLD_SETTING_50 85  /**< bool: key 50; false when not sent */
#define ATTR_WORLD_SETTING_51 86  /**< bool: key 51; false when not sent */
#define ATTR_WORLD_SETTING_52 87  /**< int: key 52; 0 when not sent */
#define ATTR_WORLD_SETTING_53 88  /**< int: key 53; 120 when not sent */
#define ATTR_WORLD_SETTING_54 89  /**< int, read-only: key 54; 0 when not sent; the world lookup's
                                       first extra value when that is not 0 */
#define ATTR_WORLD_SETTING_55 90  /**< int, read-only: key 55; 0 when not sent; the world's cell
                                       bound when that is not 0 */
#define ATTR_WORLD_SETTING_56 91  /**< int, read-only: key 56; 0 when not sent */
#define ATTR_WORLD_SETTING_58 92  /**< int, read-only: key 58; -1 when not sent */
#define ATTR_WORLD_SETTING_59 93  /**< string: key 59; "*" when not sent */
#define ATTR_WORLD_SETTING_60 94  /**< int: key 60; 10 when not sent; at most 999 */
#define ATTR_WORLD_SETTING_61 95  /**< string: key 61; empty when not sent */
#define ATTR_WORLD_SETTING_62 96  /**< int: key 62; 30 when not sent; held within 30 to 100 */
#define ATTR_WORLD_SETTING_63 97  /**< bool: key 63; true when not sent */
#define ATTR_WORLD_SETTING_64 98  /**< string: key 64; empty when not sent */
#define ATTR_WORLD_SETTING_65 99  /**< bool: key 65; false when not sent */
#define ATTR_WORLD_SETTING_66 100 /**< bool: key 66; false when not sent */
#define ATTR_WORLD_SETTING_68 101 /**< int, read-only: key 68; keeps its value when not sent */
#define ATTR_WORLD_SETTING_69 102 /**< string: key 69; empty when not sent */
/** @} */

/** @name The bot's position and look
 * The program writes them, all or those that changed, before
 * api_state_change(), which sends all six.
 */
/** @{ */
#define ATTR_MY_X 103       /**< int: the bot's x, growing to the west, in world units */
#define ATTR_MY_Y 104       /**< int: the bot's height, in world units */
#define ATTR_MY_Z 105       /**< int: the bot's z, growing to the north, in world units */
#define ATTR_MY_YAW 106     /**< int: where the bot faces, in tenths of a degree: 0 north, 900
                                 west */
#define ATTR_MY_TYPE 107    /**< int: the bot's avatar type */
#define ATTR_MY_GESTURE 108 /**< int: the bot's gesture; a bot leaves it at 0 */
/** @} */

/** @name Avatars and chat
 * What the world reports of an avatar (EVENT_AVATAR_ADD, EVENT_AVATAR_CHANGE,
 * EVENT_AVATAR_DELETE and the others that name an avatar) and of what it said
 * (EVENT_CHAT).
 */
/** @{ */
#define ATTR_AVATAR_SESSION 109 /**< int, read-only: the avatar's session number */
#define ATTR_AVATAR_NAME 110    /**< string, read-only: the avatar's name; empty for a session the
                                     world never announced */
#define ATTR_AVATAR_X 111       /**< int, read-only: the avatar's x, growing to the west */
#define ATTR_AVATAR_Y 112       /**< int, read-only: the avatar's height */
#define ATTR_AVATAR_Z 113       /**< int, read-only: the avatar's z, growing to the north */
#define ATTR_AVATAR_YAW 114     /**< int, read-only: where the avatar faces, in tenths of a
                                     degree */
#define ATTR_AVATAR_TYPE 115    /**< int, read-only: the avatar's type */
#define ATTR_AVATAR_GESTURE 116 /**< int, read-only: the avatar's gesture */
#define ATTR_AVATAR_ADDRESS 117 /**< int, read-only: an avatar's IPv4 address, network byte order
                                     (CALLBACK_WORLD_22) */
#define ATTR_AVATAR_VALUE_1 118 /**< int, read-only: first extra value of an arriving avatar; 0 from
                                     worlds before build 28 */
#define ATTR_AVATAR_VALUE_2 119 /**< int, read-only: second extra value of an arriving avatar; -1
                                     from worlds before build 28 */
#define ATTR_AVATAR_VALUE_3 120 /**< int, read-only: third extra value of an arriving avatar; -1
                                     from worlds before build 28 */
#define ATTR_CHAT_SESSION 121   /**< int, read-only: the speaker's session number */
#define ATTR_CHAT_MESSAGE 122   /**< string, read-only: what was said */
/** @} */

/** @name Cells, objects and replies
 * The objects of the world, cell by cell (EVENT_CELL_BEGIN, EVENT_CELL_OBJECT,
 * EVENT_CELL_END, EVENT_OBJECT_ADD, EVENT_OBJECT_DELETE, EVENT_WORLD_19,
 * EVENT_WORLD_20), and a few values of other reports.
 */
/** @{ */
#define ATTR_CELL_X 123             /**< int, read-only: the cell's x, signed; a cell is 1000 units
                                         wide */
#define ATTR_CELL_Z 124             /**< int, read-only: the cell's z, signed */
#define ATTR_CELL_SEQUENCE 125      /**< int, read-only: the cell's sequence number */
#define ATTR_CELL_SIZE 126          /**< int, read-only: bytes of object records in the cell reply;
                                         0 for a dropped cell */
#define ATTR_REPLY_VALUE 127        /**< int: the value that CALLBACK_WORLD_34 reports */
#define ATTR_OBJECT_NUMBER 129      /**< int: the object's number (also CALLBACK_WORLD_0's) */
#define ATTR_OBJECT_X 130           /**< int: the object's x: cell x times 1000 plus its offset in
                                         the cell */
#define ATTR_OBJECT_Y 131           /**< int: the object's height */
#define ATTR_OBJECT_Z 132           /**< int: the object's z: cell z times 1000 plus its offset in
                                         the cell */
#define ATTR_OBJECT_YAW 133         /**< int: where the object faces, in tenths of a degree */
#define ATTR_OBJECT_TILT 134        /**< int: the object's tilt; 0 from worlds before build 39 */
#define ATTR_OBJECT_ROLL 135        /**< int: the object's roll; 0 from worlds before build 39 */
#define ATTR_OBJECT_MODEL 136       /**< string: the object's model */
#define ATTR_OBJECT_DESCRIPTION 137 /**< string: the object's description */
#define ATTR_OBJECT_ACTION 138      /**< string: the object's action */
#define ATTR_OBJECT_VALUE_1 142     /**< int: the object's first value */
#define ATTR_OBJECT_SEQUENCE 143    /**< int, read-only: the sequence number of an added or deleted
                                         object */
#define ATTR_OBJECT_VALUE_2 144     /**< int: the object's second value */
#define ATTR_WORLD_REPLY_KIND 145   /**< bool, read-only: CALLBACK_WORLD_13_15's kind: false for
                                         world message 13, true for 15 */
#define ATTR_CHAT_TYPE 146          /**< int, read-only: how EVENT_CHAT's text came: 0 broadcast, 1
                                         said, 2 whispered to the bot */
/** @} */

/** @name Records, world lists and entries
 * Universe records (CALLBACK_UNIVERSE_23, CALLBACK_UNIVERSE_24), world lists
 * (EVENT_WORLD_LIST, CALLBACK_WORLD_LIST), entries (CALLBACK_UNIVERSE_30,
 * CALLBACK_WORLD_25, CALLBACK_WORLD_26) and the reason a world link ended
 * (EVENT_WORLD_DISCONNECT).
 */
/** @{ */
#define ATTR_RECORD_TEXT_1 147     /**< string: first text (universe messages 23 and 24) */
#define ATTR_RECORD_TEXT_2 148     /**< string: second text */
#define ATTR_RECORD_VALUE_1 149    /**< int: first value */
#define ATTR_RECORD_VALUE_2 150    /**< int: second value */
#define ATTR_RECORD_TEXT_3 151     /**< string: third text */
#define ATTR_RECORD_TEXT_4 152     /**< string: fourth text */
#define ATTR_RECORD_VALUE_3 153    /**< int, read-only: third value */
#define ATTR_RECORD_VALUE_4 154    /**< int: fourth value */
#define ATTR_RECORD_VALUE_5 155    /**< int, read-only: fifth value */
#define ATTR_RECORD_ADDRESS 156    /**< int, read-only: an IPv4 address, network byte order;
                                        universe builds 35 on */
#define ATTR_RECORD_FLAG_1 157     /**< bool: first flag; universe builds 35 on */
#define ATTR_RECORD_FLAG_2 158     /**< bool: second flag; universe builds 35 on */
#define ATTR_WORLD_LIST_NAME 159   /**< string, read-only: the world's name */
#define ATTR_WORLD_LIST_STATUS 160 /**< int, read-only: the world's status */
#define ATTR_WORLD_LIST_USERS 161  /**< int, read-only: how many are in the world */
#define ATTR_WORLD_LIST_MORE 162   /**< bool, read-only: true when another page of the list
                                        follows */
#define ATTR_ENTRY_KIND 165        /**< int: the entry's kind (world messages 25 and 26) */
#define ATTR_ENTRY_VALUE_1 166     /**< int: first value (universe message 30, world messages 25 and
                                        26) */
#define ATTR_ENTRY_VALUE_2 167     /**< int: second value (universe message 30, world message 26) */
#define ATTR_ENTRY_VALUE_3 168     /**< int, read-only: third value (universe message 30, world
                                        message 26) */
#define ATTR_ENTRY_TEXT 169        /**< string: the entry's text (universe message 30, world message
                                        26) */
#define ATTR_DISCONNECT_REASON 170 /**< int, read-only: why the world link ended; RC_CONNECTION_LOST
                                        when it was lost */
/** @} */

/** @name Notices, targets and locations
 * Universe notices (EVENT_UNIVERSE_28), an avatar's act on another
 * (EVENT_WORLD_21), texts about an avatar (EVENT_WORLD_23) and locations
 * (EVENT_WORLD_24).
 */
/** @{ */
#define ATTR_NOTICE_VALUE_1 172 /**< int, read-only: first value */
#define ATTR_NOTICE_TEXT 173    /**< string, read-only: the notice's text */
#define ATTR_NOTICE_VALUE_2 174 /**< int, read-only: second value */
#define ATTR_NOTICE_VALUE_3 175 /**< int: third value */
#define ATTR_NOTICE_VALUE_4 176 /**< int: fourth value */
#define ATTR_TARGET_SESSION 177 /**< int, read-only: the session that the avatar acted on
                                     (EVENT_WORLD_21) */
#define ATTR_TARGET_NAME 178    /**< string, read-only: that session's name; empty when unknown */
#define ATTR_AVATAR_TEXT_1 179  /**< string, read-only: first text about an avatar
                                     (EVENT_WORLD_23) */
#define ATTR_AVATAR_TEXT_2 180  /**< string, read-only: second text about an avatar
                                     (EVENT_WORLD_23) */
#define ATTR_LOCATION_WORLD 181 /**< string: the world of the location */
#define ATTR_LOCATION_X 182     /**< int: its x */
#define ATTR_LOCATION_Y 183     /**< int: its height */
#define ATTR_LOCATION_Z 184     /**< int: its z */
#define ATTR_LOCATION_YAW 185   /**< int: its facing, in tenths of a degree */
#define ATTR_LOCATION_FLAG 186  /**< bool: its flag */
#define ATTR_WORLD_STATUS 187   /**< int, read-only: the world's new build, as world message 27
                                     gives it (no event reports it) */
/** @} */

/** @name Entities, pages and nodes
 * Entries of world lists (EVENT_WORLD_30 and the callbacks of world messages
 * 28, 29 and 31), items (CALLBACK_WORLD_41), and pages of nodes
 * (EVENT_WORLD_42_BEGIN, EVENT_WORLD_42_NODE, EVENT_WORLD_42_END,
 * EVENT_WORLD_44, CALLBACK_WORLD_46, CALLBACK_WORLD_48).
 */
/** @{ */
#define ATTR_ENTITY_TEXT_1 188  /**< string: first text (also world message 28) */
#define ATTR_ENTITY_TEXT_2 189  /**< string: second text */
#define ATTR_ENTITY_TEXT_3 190  /**< string: third text */
#define ATTR_ENTITY_TEXT_4 191  /**< string: fourth text */
#define ATTR_ENTITY_ID 192      /**< int: the entity's number (also world messages 28, 29 and 32) */
#define ATTR_ENTITY_FLAG_1 193  /**< bool: the entry's flag */
#define ATTR_ENTITY_VALUE_1 194 /**< int, read-only: first value */
#define ATTR_ENTITY_VALUE_2 195 /**< int, read-only: second value */
#define ATTR_ENTITY_VALUE_3 196 /**< int, read-only: third value */
#define ATTR_ENTITY_VALUE_4 197 /**< int, read-only: fourth value */
#define ATTR_ENTITY_VALUE_5 198 /**< int, read-only: fifth value, unsigned */
#define ATTR_ENTITY_VALUE_6 199 /**< int, read-only: sixth value */
#define ATTR_ENTITY_VALUE_7 200 /**< int, read-only: seventh value */
#define ATTR_ENTITY_FLAG_2 201  /**< bool, read-only: the value that CALLBACK_WORLD_31 reports */
#define ATTR_ENTITY_VALUE_8 202 /**< int, read-only: eighth value; 0 from worlds before build 39 */
#define ATTR_ITEM_VALUE_1 203   /**< int, read-only: first value that CALLBACK_WORLD_41 reports,
                                     signed */
#define ATTR_ITEM_VALUE_2 204   /**< int, read-only: second value that CALLBACK_WORLD_41 reports,
                                     signed */
#define ATTR_PAGE_X 205         /**< int: the page's x, signed (world messages 42, 44, 46, 48) */
#define ATTR_PAGE_Z 206         /**< int: the page's z, signed (world messages 42, 44, 46, 48) */
#define ATTR_NODE_VALUE_1 207   /**< int: the node's first value (also world message 48) */
#define ATTR_NODE_VALUE_2 208   /**< int: the node's second value (also world message 48) */
#define ATTR_NODE_VALUE_3 209   /**< int: the node's size: twice its size code (also world message
                                     48) */
#define ATTR_NODE_COUNT_1 210   /**< int: cells of the first array that were sent: size times size,
                                     or 1 */
#define ATTR_NODE_COUNT_2 211   /**< int: cells of the second array that were sent: size times size,
                                     or 1 */
#define ATTR_NODE_DATA_1 212    /**< data: the first array: 64 bytes */
#define ATTR_NODE_DATA_2 213    /**< data: the second array: 64 16-bit values in the machine's byte
                                     order */
#define ATTR_PAGE_VALUE 214     /**< int, read-only: the page's value (world message 42) */
#define ATTR_PAGE_FLAG 215      /**< bool, read-only: true when the page's flag byte was 0 (world
                                     messages 42, 46) */
/** @} */

/** @name World login option and world notices
 * ATTR_WORLD_LOGIN_OPTION is the program's; the others report a notice of the
 * world (EVENT_WORLD_43).
 */
/** @{ */
#define ATTR_WORLD_LOGIN_OPTION 216   /**< bool: a flag that the world login carries to worlds of
                                           build 39 on */
#define ATTR_WORLD_NOTICE_VALUE_1 217 /**< int: first value */
#define ATTR_WORLD_NOTICE_VALUE_2 218 /**< int: second value */
#define ATTR_WORLD_NOTICE_VALUE_3 219 /**< int: third value */
#define ATTR_WORLD_NOTICE_FLAG_1 220  /**< bool: bit 0 of the notice's flags */
#define ATTR_WORLD_NOTICE_FLAG_2 221  /**< bool: bit 1 of the notice's flags */
#define ATTR_WORLD_NOTICE_TEXT 222    /**< string: the notice's text */
/** @} */
/** @} */

/* ---- Events (handlers take no argument) -------------------------------- */
/**
 * @addtogroup events
 * @brief Reports that arrive without being asked for: an avatar moved,
 * someone spoke, the world link ended.
 *
 * The handler of an event takes no argument (EventHandler); api_event_set()
 * installs it. Before it calls the handler the library makes the reporting
 * instance current and fills the attributes that the event names below; the
 * handler reads them with api_int(), api_string() and the like. Unless an
 * event says otherwise, attributes are filled only while its handler is
 * installed.
 *
 * The installed events also tell each world what to send at all: avatars
 * (any of EVENT_AVATAR_ADD, EVENT_AVATAR_CHANGE, EVENT_AVATAR_DELETE,
 * EVENT_CHAT, EVENT_WORLD_19, EVENT_WORLD_20, EVENT_WORLD_21), their moves
 * (EVENT_AVATAR_CHANGE), chat (EVENT_CHAT), objects (EVENT_OBJECT_ADD or
 * EVENT_OBJECT_DELETE), and the reports of EVENT_WORLD_19, EVENT_WORLD_20,
 * EVENT_WORLD_21, EVENT_WORLD_43 and EVENT_WORLD_44. A change reaches every
 * entered world at the next pump pass.
 *
 * The names with a number (EVENT_UNIVERSE_16, EVENT_WORLD_42_BEGIN) are
 * named after the universe or world message that fires them.
 * @{
 */
/** Numbers of events: every valid event is below it. */
#define EVENT_COUNT 29
/** An avatar arrived in the world (world message 2). Fills ATTR_AVATAR_SESSION,
 * ATTR_AVATAR_NAME, ATTR_AVATAR_X, ATTR_AVATAR_Y, ATTR_AVATAR_Z,
 * ATTR_AVATAR_YAW, ATTR_AVATAR_TYPE, ATTR_AVATAR_GESTURE, ATTR_AVATAR_VALUE_1,
 * ATTR_AVATAR_VALUE_2 and ATTR_AVATAR_VALUE_3. The library keeps the avatar's
 * name under its session for the later reports, installed or not. */
#define EVENT_AVATAR_ADD 0
/** An avatar moved or changed its look (world message 4). Fills
 * ATTR_AVATAR_SESSION, ATTR_AVATAR_NAME, ATTR_AVATAR_X, ATTR_AVATAR_Y,
 * ATTR_AVATAR_Z, ATTR_AVATAR_YAW, ATTR_AVATAR_TYPE and ATTR_AVATAR_GESTURE. */
#define EVENT_AVATAR_CHANGE 1
/** An avatar left (world message 3). Fills ATTR_AVATAR_SESSION and, for an
 * avatar whose arrival was seen, ATTR_AVATAR_NAME (else it keeps its last
 * value). Only while it is installed does the library forget the names of
 * avatars that left. */
#define EVENT_AVATAR_DELETE 2
/** The objects of a cell begin (world message 6). Fills ATTR_CELL_X,
 * ATTR_CELL_Z, ATTR_CELL_SEQUENCE and ATTR_CELL_SIZE, installed or not. */
#define EVENT_CELL_BEGIN 3
/** One object of the cell (world message 6, once per object). Fills
 * ATTR_OBJECT_NUMBER, ATTR_OBJECT_VALUE_1, ATTR_OBJECT_VALUE_2, ATTR_OBJECT_X,
 * ATTR_OBJECT_Y, ATTR_OBJECT_Z, ATTR_OBJECT_YAW, ATTR_OBJECT_TILT,
 * ATTR_OBJECT_ROLL, ATTR_OBJECT_MODEL, ATTR_OBJECT_DESCRIPTION and
 * ATTR_OBJECT_ACTION, installed or not; the cell's attributes stay as
 * EVENT_CELL_BEGIN left them. */
#define EVENT_CELL_OBJECT 4
/** The objects of the cell end (world message 6). Fills nothing new, but for
 * a cell outside the world's cell bound, whose objects are dropped unread:
 * ATTR_CELL_SIZE is then 0. */
#define EVENT_CELL_END 5
/** Someone spoke (world messages 5, 12 and 18). Fills ATTR_AVATAR_NAME,
 * ATTR_CHAT_SESSION, ATTR_CHAT_MESSAGE and ATTR_CHAT_TYPE. Chat from a session
 * whose arrival was not seen is dropped. */
#define EVENT_CHAT 6
/** An object was added to a cell (world message 7). Fills
 * ATTR_OBJECT_SEQUENCE, ATTR_CELL_SEQUENCE, ATTR_CELL_X, ATTR_CELL_Z and the
 * object's attributes as EVENT_CELL_OBJECT does. */
#define EVENT_OBJECT_ADD 7
/** An object was deleted from a cell (world message 8). Fills
 * ATTR_OBJECT_SEQUENCE, ATTR_CELL_SEQUENCE, ATTR_CELL_X, ATTR_CELL_Z and
 * ATTR_OBJECT_NUMBER. */
#define EVENT_OBJECT_DELETE 8
/** The universe's attributes arrived (universe message 21). Fills the
 * universe settings, ATTR_UNIVERSE_SETTING_0 to ATTR_UNIVERSE_SETTING_16 and
 * ATTR_UNIVERSE_BUILD, installed or not. */
#define EVENT_UNIVERSE_ATTRIBUTES 9
/** The world's attributes arrived (world message 1): on every world login,
 * the first one completing api_enter(), the later ones after the library
 * reopened a lost world link. Fills the world settings, attributes 41 to 102
 * (ATTR_WORLD_SETTING_0 to ATTR_WORLD_SETTING_69, ATTR_WORLD_OBJECT_PATH,
 * ATTR_WORLD_BUILD, ATTR_WORLD_DATA), installed or not. */
#define EVENT_WORLD_ATTRIBUTES 10
/** One world of a world list (universe messages 14 and 33, once per world).
 * Fills ATTR_WORLD_LIST_NAME, ATTR_WORLD_LIST_STATUS and
 * ATTR_WORLD_LIST_USERS; CALLBACK_WORLD_LIST follows the last one. */
#define EVENT_WORLD_LIST 11
/** The world link ended while the bot was in the world, or on its way back
 * in after a loss. Fills ATTR_DISCONNECT_REASON: RC_CONNECTION_LOST for a
 * link that was lost, which the library reopens a second later
 * (EVENT_WORLD_ATTRIBUTES then tells that the bot is back); or the reason of
 * a world that closed the link, which stays closed: RC_EJECTED,
 * RC_NOT_WELCOME, 465, 489 or 92. */
#define EVENT_WORLD_DISCONNECT 12
/** Universe message 28, a notice. Fills ATTR_NOTICE_VALUE_1,
 * ATTR_NOTICE_VALUE_2, ATTR_NOTICE_VALUE_3, ATTR_NOTICE_VALUE_4 and
 * ATTR_NOTICE_TEXT. */
#define EVENT_UNIVERSE_28 13
/** Universe message 15, once per entry, and universe message 43. Fills no
 * attribute: the library reads their values without keeping them. */
#define EVENT_UNIVERSE_15 14
/** Universe message 10 with result 0. Fills no attribute; when the message
 * asks for it, the library acknowledges it after the handler. */
#define EVENT_UNIVERSE_10 15
/** Universe message 16. Fills no attribute. */
#define EVENT_UNIVERSE_16 16
/** World message 19: an avatar clicked an object. Fills ATTR_AVATAR_SESSION,
 * ATTR_AVATAR_NAME, ATTR_CELL_X, ATTR_CELL_Z and ATTR_OBJECT_NUMBER, and from
 * worlds of build 39 on the object's other attributes as EVENT_CELL_OBJECT
 * does. */
#define EVENT_WORLD_19 17
/** World message 20: an avatar clicked an object, without its details. Fills
 * ATTR_AVATAR_SESSION, ATTR_AVATAR_NAME, ATTR_CELL_X, ATTR_CELL_Z and
 * ATTR_OBJECT_NUMBER. */
#define EVENT_WORLD_20 18
/** World message 21: an avatar acted on another. Fills ATTR_AVATAR_SESSION,
 * ATTR_AVATAR_NAME, ATTR_TARGET_SESSION and ATTR_TARGET_NAME. */
#define EVENT_WORLD_21 19
/** World message 23: two texts about an avatar. Fills ATTR_AVATAR_SESSION,
 * ATTR_AVATAR_NAME, ATTR_AVATAR_TEXT_1 and ATTR_AVATAR_TEXT_2. */
#define EVENT_WORLD_23 20
/** World message 24: a location about an avatar. Fills ATTR_AVATAR_SESSION,
 * ATTR_AVATAR_NAME, ATTR_LOCATION_WORLD, ATTR_LOCATION_X, ATTR_LOCATION_Y,
 * ATTR_LOCATION_Z, ATTR_LOCATION_YAW and ATTR_LOCATION_FLAG. */
#define EVENT_WORLD_24 21
/** World message 30, once per entry of its list. Fills ATTR_ENTITY_ID,
 * ATTR_ENTITY_FLAG_1, ATTR_ENTITY_TEXT_1 to ATTR_ENTITY_TEXT_4 and
 * ATTR_ENTITY_VALUE_1 to ATTR_ENTITY_VALUE_8, installed or not. */
#define EVENT_WORLD_30 22
/** World message 32. Fills ATTR_ENTITY_ID. */
#define EVENT_WORLD_32 23
/** World message 42 with result 0, before its nodes: a page begins. Fills
 * ATTR_PAGE_X and ATTR_PAGE_Z. */
#define EVENT_WORLD_42_BEGIN 24
/** One node of world message 42 or 46. Fills ATTR_NODE_VALUE_1,
 * ATTR_NODE_VALUE_2, ATTR_NODE_VALUE_3, ATTR_NODE_DATA_1 and ATTR_NODE_DATA_2,
 * and installed or not ATTR_NODE_COUNT_1 and ATTR_NODE_COUNT_2; within world
 * message 46 also ATTR_PAGE_X and ATTR_PAGE_Z of the node's page. */
#define EVENT_WORLD_42_NODE 25
/** World message 42 after its nodes: the page ends. Fills ATTR_PAGE_VALUE
 * and ATTR_PAGE_FLAG. */
#define EVENT_WORLD_42_END 26
/** World message 43: a notice of the world. Fills ATTR_WORLD_NOTICE_VALUE_1,
 * ATTR_WORLD_NOTICE_VALUE_2, ATTR_WORLD_NOTICE_VALUE_3,
 * ATTR_WORLD_NOTICE_FLAG_1, ATTR_WORLD_NOTICE_FLAG_2 and
 * ATTR_WORLD_NOTICE_TEXT. */
#define EVENT_WORLD_43 27
/** World message 44. Fills ATTR_PAGE_X and ATTR_PAGE_Z. */
#define EVENT_WORLD_44 28
/** @} */

/* ---- Callbacks (handlers take the operation's result code) ------------- */
/**
 * @addtogroup callbacks
 * @brief Reports that end something: a login, a world entry, a lookup, a
 * reply of a server.
 *
 * The handler of a callback takes a result code (CallbackHandler);
 * api_callback_set() installs it. As for events, the library makes the
 * reporting instance current and fills the attributes named below before the
 * call.
 *
 * CALLBACK_LOGIN, CALLBACK_ENTER and CALLBACK_CITIZEN_LOOKUP complete the
 * operations api_login(), api_enter() and api_citizen_lookup(): while one is
 * installed, its operation returns as soon as its request is sent, and the
 * outcome arrives here from inside api_wait(); while it is not, the
 * operation blocks until the outcome and returns it (see @ref operations).
 *
 * The others are named after the universe or world message that calls them
 * (CALLBACK_WORLD_28_29: world messages 28 and 29), whenever it arrives, with
 * the result that the message carries: 0, or a server's reply code.
 * @{
 */
/** Numbers of callbacks: every valid callback is below it. */
#define CALLBACK_COUNT 32
/** Completes api_login(), with the universe's answer to the login (universe
 * message 20): 0 when the bot is logged in, which fills ATTR_LOGIN_REPLY_NAME,
 * or the refusal. RC_UNABLE_TO_CONNECT when the universe link is lost before
 * any login on it succeeded. Called again after each login that the library
 * makes by itself when it reopens a lost universe link. */
#define CALLBACK_LOGIN 0
/** Completes api_enter(), at most once for each: 0 when the world's
 * attributes first arrive (EVENT_WORLD_ATTRIBUTES follows); or the failure:
 * the universe's refusal (RC_NOT_WELCOME for a world that will not have the
 * bot), RC_WORLD_BUILD_TOO_OLD, the world link's failure to open or to send
 * the login, or the reason of a world that closed the link before the bot was
 * in (as EVENT_WORLD_DISCONNECT lists them). */
#define CALLBACK_ENTER 1
/** World message 0, with 0 or 200 plus the world's own code. Fills
 * ATTR_OBJECT_NUMBER. */
#define CALLBACK_WORLD_0 2
/** Universe message 23. Fills ATTR_RECORD_TEXT_1 and, on result 0,
 * ATTR_RECORD_TEXT_2 to ATTR_RECORD_TEXT_4 and ATTR_RECORD_VALUE_1 to
 * ATTR_RECORD_VALUE_5, and from universe builds 35 on ATTR_RECORD_ADDRESS,
 * ATTR_RECORD_FLAG_1 and ATTR_RECORD_FLAG_2. */
#define CALLBACK_UNIVERSE_23 3
/** Universe message 24. Fills ATTR_RECORD_TEXT_1. */
#define CALLBACK_UNIVERSE_24 4
/** Completes api_citizen_lookup(), with the universe's answer (universe
 * message 25). Fills ATTR_CITIZEN_NUMBER, ATTR_CITIZEN_NAME and the citizen
 * settings that the record holds. */
#define CALLBACK_CITIZEN_LOOKUP 5
/** Universe message 26. Fills ATTR_CITIZEN_NUMBER. */
#define CALLBACK_UNIVERSE_26 6
/** World message 13 or 15, always with 0. Fills ATTR_WORLD_REPLY_KIND. */
#define CALLBACK_WORLD_13_15 7
/** The end of a world list: universe message 14 (a whole list) or 33 (one
 * page of it), after one EVENT_WORLD_LIST for each world. Fills
 * ATTR_WORLD_LIST_MORE. */
#define CALLBACK_WORLD_LIST 8
/** Universe message 29. Fills no attribute. */
#define CALLBACK_UNIVERSE_29 9
/** Universe message 17. Fills no attribute: its values are read, not kept. */
#define CALLBACK_UNIVERSE_17 10
/** Universe message 4. Fills no attribute. */
#define CALLBACK_UNIVERSE_4 11
/** Universe message 1. Fills no attribute. */
#define CALLBACK_UNIVERSE_1 12
/** Universe message 19. Fills no attribute: its text is read, not kept. */
#define CALLBACK_UNIVERSE_19 13
/** Universe message 30. On result 0 fills ATTR_ENTRY_VALUE_1,
 * ATTR_ENTRY_VALUE_2 and, when the message carries them, ATTR_ENTRY_VALUE_3
 * and ATTR_ENTRY_TEXT. */
#define CALLBACK_UNIVERSE_30 14
/** Universe message 31. Fills no attribute. */
#define CALLBACK_UNIVERSE_31 15
/** World message 22. Fills ATTR_AVATAR_SESSION and ATTR_AVATAR_ADDRESS. */
#define CALLBACK_WORLD_22 16
/** World message 26. On result 0 fills ATTR_ENTRY_KIND, ATTR_ENTRY_VALUE_1,
 * ATTR_ENTRY_VALUE_2, ATTR_ENTRY_VALUE_3 and ATTR_ENTRY_TEXT. */
#define CALLBACK_WORLD_26 17
/** World message 25. Fills ATTR_ENTRY_KIND and ATTR_ENTRY_VALUE_1. */
#define CALLBACK_WORLD_25 18
/** World message 31. Fills ATTR_ENTITY_FLAG_2. */
#define CALLBACK_WORLD_31 19
/** World message 28 or 29. Fills ATTR_ENTITY_ID, and for 28 also
 * ATTR_ENTITY_TEXT_1. */
#define CALLBACK_WORLD_28_29 20
/** World message 33. Fills no attribute. */
#define CALLBACK_WORLD_33 21
/** World message 34. Fills ATTR_REPLY_VALUE. */
#define CALLBACK_WORLD_34 22
/** World message 35. Fills no attribute. */
#define CALLBACK_WORLD_35 23
/** World message 37. Fills no attribute. */
#define CALLBACK_WORLD_37 24
/** No message completes it: the slot can be set and is never called. */
#define CALLBACK_25 25
/** Universe message 41. Fills no attribute: its value is read, not kept. */
#define CALLBACK_UNIVERSE_41 26
/** Universe message 11. Fills no attribute. */
#define CALLBACK_UNIVERSE_11 27
/** World message 41. Fills ATTR_ITEM_VALUE_1 and ATTR_ITEM_VALUE_2. */
#define CALLBACK_WORLD_41 28
/** World message 46, after its nodes (one EVENT_WORLD_42_NODE each). Fills
 * ATTR_PAGE_FLAG. */
#define CALLBACK_WORLD_46 29
/** World message 47. Fills no attribute. */
#define CALLBACK_WORLD_47 30
/** World message 48. Fills ATTR_PAGE_X, ATTR_PAGE_Z, ATTR_NODE_VALUE_1,
 * ATTR_NODE_VALUE_2 and ATTR_NODE_VALUE_3. */
#define CALLBACK_WORLD_48 31
/** @} */

/** @ingroup events
 * An event handler: it takes nothing, and reads what its event reports from
 * the attributes of the current instance. */
typedef void (*EventHandler)(void);
/** @ingroup callbacks
 * A callback handler: it takes the result code of what it reports (0 for
 * success), and reads the rest from the attributes of the current instance. */
typedef void (*CallbackHandler)(int rc);

/* ---- Threads ----------------------------------------------------------- */
/**
 * @addtogroup threads
 * @brief The library belongs to the thread that called api_init().
 *
 * - Every call is made from the thread that called api_init(), until
 *   api_term(). A call made from any other thread is refused and changes
 *   nothing: a call that returns a result code returns RC_NOT_INITIALIZED,
 *   and the others answer as they do without a library (0, NULL, -1, or
 *   nothing at all). api_result_text() needs no library and may be called
 *   from any thread: the text of a code without a name is kept per thread.
 * - Event handlers and callbacks run on that thread, only inside api_wait()
 *   and inside the blocking calls (api_login(), api_enter() and
 *   api_citizen_lookup() while their callbacks are not installed).
 * - The descriptor of api_descriptor() may be watched from any thread, for
 *   reading; the work it announces is done by api_wait() on the library's
 *   thread.
 * - Nothing is safe to call from a signal handler: set a flag there, and act
 *   on it in the program's loop.
 */

/* ---- Lifecycle --------------------------------------------------------- */
/**
 * @addtogroup lifecycle
 * @brief Starting and stopping the library, making instances, and the event
 * pump that does all the network work.
 *
 * api_init() starts the library and api_term() stops it. api_create() makes
 * an instance, which becomes current; api_instance_set() makes another one
 * current; api_destroy() destroys the current one. Before it calls any
 * handler, the library makes the handler's instance current, and leaves it
 * so.
 *
 * All network work happens inside api_wait(), and inside the blocking calls
 * that run it: for every instance the pump opens the links, reads what has
 * arrived and calls the handlers. It keeps quiet links alive, gives up a
 * login that has no answer after 30 s and a link that has been silent for
 * 90 s (world) or 120 s (universe, from its build 32 on), and reopens a lost
 * link one second later: the world link always, the universe link once a
 * login on it has succeeded; it then logs in again, enters the world again
 * and sends the bot's state again by itself. A program with a loop of its
 * own watches api_descriptor() for as long as api_next_timeout() says, then
 * calls api_wait(0).
 * @{
 */

/** Starts the library: the machine identity, the socket layer and the clock.
 * @p build must be ORBILO_SDK_BUILD.
 * @return 0, also when already started (the second call does nothing);
 * RC_VERSION_MISMATCH for another build; RC_UNABLE_TO_INITIALIZE_NETWORK when
 * the socket layer cannot start. */
ORBILO_SDK_API int api_init(int build);

/** Destroys every instance, as api_destroy() does, and stops the library.
 * Handlers stay installed. It may be called when the library is not started. */
ORBILO_SDK_API void api_term(void);

/** Creates an instance and opens its universe link. @p host is a dotted IPv4
 * address or a host name (NULL for "localhost"), @p port the universe's port
 * (0 for 5670). The new instance becomes current and is stored in *instance
 * when @p instance is not NULL: a handle for api_instance_set(), never to be
 * freed or looked into. The link logs in with api_login().
 * @return 0; RC_NOT_INITIALIZED; RC_HOST_NOT_FOUND when the name has no IPv4
 * address (RC_SOCKET_ERROR_BASE plus errno when the resolver itself fails);
 * RC_UNABLE_TO_CONNECT for a port outside 0 to 65535 or a server that cannot
 * be reached; RC_OUT_OF_MEMORY; or another failure of the connect
 * (RC_NO_SOCKET, RC_NONBLOCKING_FAILED). A failed call leaves the instances
 * and the current one as they were. */
ORBILO_SDK_API int api_create(const char* host, int port, void** instance);

/** Destroys the current instance and its links; the newest remaining
 * instance, if any, becomes current. Handlers may call it; the pump pass that
 * called them then ends.
 * @return 0, RC_NOT_INITIALIZED or RC_NO_INSTANCE. */
ORBILO_SDK_API int api_destroy(void);

/** Runs the event pump. With 0, it handles every message that has arrived
 * and returns without blocking; with a positive time, runs for about that
 * many milliseconds; with a negative one, runs until no instance is left.
 * Handlers are called from inside it.
 * @return 0, RC_NOT_INITIALIZED or RC_NO_INSTANCE. */
ORBILO_SDK_API int api_wait(int milliseconds);

/** Makes @p instance, a handle that api_create() stored, current.
 * @return 0, RC_NOT_INITIALIZED, or RC_INVALID_INSTANCE when it is no live
 * instance. */
ORBILO_SDK_API int api_instance_set(void* instance);

/** The current instance.
 * @return It, or NULL (also without library). */
ORBILO_SDK_API void* api_instance(void);

/** Attaches the program's own pointer to the current instance; the library
 * never reads it.
 * @return 0, RC_NOT_INITIALIZED or RC_NO_INSTANCE. */
ORBILO_SDK_API int api_user_data_set(void* data);

/** The pointer attached to the current instance.
 * @return It, or NULL (also without library or instance). */
ORBILO_SDK_API void* api_user_data(void);

/** A descriptor that becomes readable whenever api_wait(0) has work: a link
 * of any instance has bytes to read or a connect has finished, or bytes
 * waiting to be sent can now go out. Poll it for reading only, never read or
 * close it. The same descriptor serves every instance, created before or
 * after the call, until api_term().
 * @return The descriptor; -1 before api_init(). */
ORBILO_SDK_API int api_descriptor(void);

/** When the pump next has timed work for any instance: a keep-alive, a
 * time-out, a reconnect.
 * @return Milliseconds until then; 0 when it has work now; -1 when it has
 * none. */
ORBILO_SDK_API int api_next_timeout(void);

/** @} */

/* ---- Attributes of the current instance -------------------------------- */
/** @addtogroup attributes
 * @{ */

/** Reads an integer or boolean attribute.
 * @return Its value; 0 for another type or an invalid number, or when there is
 * no library or no current instance. */
ORBILO_SDK_API int api_int(int attribute);

/** Sets an integer attribute, or a boolean one (any non-zero value is true).
 * @return 0, RC_NOT_INITIALIZED, RC_NO_INSTANCE, RC_INVALID_ATTRIBUTE,
 * RC_READ_ONLY or RC_TYPE_MISMATCH, checked in that order. */
ORBILO_SDK_API int api_int_set(int attribute, int value);

/** As api_int_set(); meant for boolean attributes.
 * @return As api_int_set(). */
ORBILO_SDK_API int api_bool_set(int attribute, int value);

/** Sets a float attribute.
 * @return As api_int_set(). */
ORBILO_SDK_API int api_float_set(int attribute, float value);

/** Reads a float attribute.
 * @return Its value; 0 otherwise. */
ORBILO_SDK_API float api_float(int attribute);

/** Reads a string attribute.
 * @return Its text ("" when empty), valid until the attribute is written
 * again; NULL for other types, or without library or instance. */
ORBILO_SDK_API const char* api_string(int attribute);

/** Sets a string attribute; NULL or "" empties it.
 * @return As api_int_set(), and RC_STRING_TOO_LONG above 255 characters (the
 * old text stays), or RC_OUT_OF_MEMORY (the attribute is then empty). */
ORBILO_SDK_API int api_string_set(int attribute, const char* text);

/** The bytes of a data attribute, and their count in *length (@p length may
 * be NULL). Valid until the attribute is written again.
 * @return The bytes; NULL with length 0 when empty, of another type, or
 * without library or instance. */
ORBILO_SDK_API const unsigned char* api_data(int attribute, int* length);

/** @} */

/* ---- Handlers ---------------------------------------------------------- */

/** @ingroup events
 * Installs (or with NULL removes) the handler of an event.
 * @return 0, RC_NOT_INITIALIZED, or RC_INVALID_ATTRIBUTE for a number outside
 * 0-28. */
ORBILO_SDK_API int api_event_set(int event, EventHandler handler);

/** @ingroup callbacks
 * Installs (or with NULL removes) the handler of a callback. An operation
 * whose callback is installed returns at once and reports its outcome through
 * the callback; otherwise it blocks until the reply.
 * @return 0, RC_NOT_INITIALIZED, or RC_INVALID_ATTRIBUTE for a number outside
 * 0-31. */
ORBILO_SDK_API int api_callback_set(int callback, CallbackHandler handler);

/* ---- Operations on the current instance -------------------------------- */
/**
 * @addtogroup operations
 * @brief What a bot does: log in, enter a world, move, whisper, look a
 * citizen up.
 *
 * Each acts on the current instance, and first checks that the library is
 * started (else RC_NOT_INITIALIZED), that there is a current instance
 * (RC_NO_INSTANCE) and that its universe link is logged in (RC_NO_CONNECTION);
 * api_login() checks only that the link is not closed for good. These are
 * the common failures below.
 *
 * Blocking or callback mode: api_login(), api_enter() and
 * api_citizen_lookup() wait for a server. While their callback
 * (CALLBACK_LOGIN, CALLBACK_ENTER, CALLBACK_CITIZEN_LOOKUP) is not installed
 * they block, running the pump, so that handlers of every instance may run
 * before they return, and they return the outcome; RC_NO_INSTANCE when a
 * handler destroyed the instance meanwhile. While it is installed they
 * return 0 as soon as the request is sent, and the callback gets the outcome.
 * From a handler that runs while a universe message is read (a universe
 * event, or a callback of a universe message: CALLBACK_LOGIN,
 * CALLBACK_CITIZEN_LOOKUP, a refusal to CALLBACK_ENTER) the blocking form
 * could never read its answer: it is refused with RC_QUERY_IN_PROGRESS.
 *
 * A call that sends returns RC_NOT_YET, and sends nothing, while the link
 * holds more than the server has taken; the link stays, and the call may be
 * made again later. RC_TIMEOUT means that the server took nothing for 20 s:
 * the link is given up, and the pump reopens it.
 * @{
 */

/** Logs in to the universe with ATTR_LOGIN_NAME, ATTR_LOGIN_OWNER,
 * ATTR_LOGIN_PRIVILEGE_PASSWORD and ATTR_LOGIN_APPLICATION. Completes
 * through CALLBACK_LOGIN.
 * @return Blocking: the universe's answer, 0 when logged in, or
 * RC_UNABLE_TO_CONNECT when the link was lost first; with the callback, 0.
 * Either: RC_NOT_INITIALIZED, RC_NO_INSTANCE, RC_NO_CONNECTION when the link
 * is closed for good (after a refused login: destroy the instance and create
 * another), RC_NO_STREAM while a lost link waits to be reopened,
 * RC_QUERY_IN_PROGRESS, or the send's failure. */
ORBILO_SDK_API int api_login(void);

/** Enters a world (a name of at most 8 characters), leaving any world first;
 * ATTR_WORLD_NAME takes the name in lower case. The universe tells where the
 * world is served, and the library opens the world link and logs in there.
 * Completes through CALLBACK_ENTER.
 * @return Blocking: 0 when the bot is in the world, or the failure that
 * CALLBACK_ENTER would get; with the callback, 0. Either: the common
 * failures; RC_NULL_POINTER for a NULL name and RC_INVALID_WORLD_NAME for a
 * longer one, after leaving the world; RC_QUERY_IN_PROGRESS; RC_NOT_YET; or
 * the send's failure. */
ORBILO_SDK_API int api_enter(const char* world);

/** Leaves the world: closes the world link, which is not reopened, and
 * forgets that the bot's state was sent.
 * @return 0, or the common failures. */
ORBILO_SDK_API int api_exit(void);

/** Sends the bot's position and look, ATTR_MY_X to ATTR_MY_GESTURE, to the
 * world. After the library has reopened a lost world link it sends them again
 * by itself.
 * @return 0; the common failures; RC_NO_CONNECTION also before the world has
 * been entered; RC_NOT_YET, RC_TIMEOUT or another failure of the send. */
ORBILO_SDK_API int api_state_change(void);

/** Whispers @p text (at most 255 characters) to the avatar with the session
 * number @p session (as ATTR_AVATAR_SESSION or ATTR_CHAT_SESSION gives it).
 * @return 0; the common failures; RC_NO_CONNECTION outside a world;
 * RC_STRING_TOO_LONG; RC_NOT_YET, RC_TIMEOUT or another failure of the send. */
ORBILO_SDK_API int api_whisper(int session, const char* text);

/** Looks a citizen up by number; the reply fills ATTR_CITIZEN_NUMBER,
 * ATTR_CITIZEN_NAME and the citizen settings. Completes through
 * CALLBACK_CITIZEN_LOOKUP.
 * @return Blocking: the universe's answer (0, or RC_NO_SUCH_CITIZEN and the
 * like), or RC_UNABLE_TO_CONNECT when the link closed first; with the
 * callback, 0. Either: the common failures, RC_QUERY_IN_PROGRESS, RC_NOT_YET
 * or the send's failure. */
ORBILO_SDK_API int api_citizen_lookup(int citizen);

/** @} */

/* ---- Result texts ------------------------------------------------------ */

/** @ingroup results
 * The text of a result code, as the list of codes shows it beside each. It
 * works before api_init() too, and from any thread.
 * @return The text, or the code's decimal form when it has none; the decimal
 * form stays valid until the same thread's next call. */
ORBILO_SDK_API const char* api_result_text(int rc);

#ifdef __cplusplus
}
#endif

#endif /* ORBILO_SDK_H */
