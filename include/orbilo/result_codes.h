/**
 * @file result_codes.h
 * @brief The result codes of the Orbilo world client library.
 *
 * Every call of the library returns one of these (0 is success), and the
 * transport under it answers with them too. sdk.h includes this header; a
 * program includes sdk.h.
 *
 * Plain C99, and may be included from C++.
 */
#ifndef ORBILO_RESULT_CODES_H
#define ORBILO_RESULT_CODES_H

/* ---- Result codes ------------------------------------------------------ */
/**
 * @addtogroup results Result codes
 * @brief What every call returns: 0 for success, or why it failed.
 *
 * Every call that can fail returns one of these as an int, and so do the
 * callbacks' arguments and ATTR_DISCONNECT_REASON. Codes up to 314 are reply
 * codes of the servers, passed on as they came; codes from 400 on are the
 * library's own failures. Each of these has a text (api_result_text), shown
 * beside it below. A world that closes the link may also give 465, 489 or 92,
 * which have neither a name nor a text.
 * @{
 */

/** @name Codes with a text
 * Codes up to 314 are reply codes of the servers; codes from 400 on are the
 * library's own failures. Each of these has a text (api_result_text). */
/** @{ */
#define RC_SUCCESS 0                           /**< "success" */
#define RC_CITIZENSHIP_EXPIRED 1               /**< "citizenship expired" */
#define RC_NO_SUCH_CITIZEN 3                   /**< "no such citizen" */
#define RC_MESSAGE_LENGTH_BAD 4                /**< "message length bad" */
#define RC_LICENSE_PASSWORD_CONTAINS_SPACE 5   /**< "license password contains space" */
#define RC_LICENSE_PASSWORD_TOO_LONG 6         /**< "license password too long" */
#define RC_LICENSE_PASSWORD_TOO_SHORT 7        /**< "license password too short" */
#define RC_LICENSE_RANGE_TOO_LARGE 8           /**< "license range too large" */
#define RC_LICENSE_RANGE_TOO_SMALL 9           /**< "license range too small" */
#define RC_LICENSE_USERS_TOO_LARGE 10          /**< "license users too large" */
#define RC_LICENSE_USERS_TOO_SMALL 11          /**< "license users too small" */
#define RC_LICENSE_WORLD_CONTAINS_SPACE 12     /**< "license world contains space" */
#define RC_INVALID_PASSWORD 13                 /**< "invalid password" */
#define RC_UNABLE_TO_MAIL_BACK_NUMBER 14       /**< "unable to mail back number" */
#define RC_LICENSE_WORLD_TOO_SHORT 15          /**< "license world too short" */
#define RC_LICENSE_WORLD_TOO_LONG 16           /**< "license world too long" */
#define RC_SERVER_OUT_OF_MEMORY 17             /**< "server out of memory" */
#define RC_WORLD_NOT_RUNNING 27                /**< "world not running" */
#define RC_NOT_LOGGED_IN 31                    /**< "not logged in" */
#define RC_UNAUTHORIZED 32                     /**< "unauthorized" */
#define RC_ALREADY_LICENSED 33                 /**< "already licensed" */
#define RC_NO_SUCH_LICENSE 34                  /**< "no such license" */
#define RC_IDENTITY_ALREADY_IN_USE 39          /**< "identity already in use" */
#define RC_UNABLE_TO_REPORT_LOCATION 40        /**< "unable to report location" */
#define RC_INVALID_EMAIL 41                    /**< "invalid email" */
#define RC_NO_SUCH_ACTING_CITIZEN 42           /**< "no such acting citizen" */
#define RC_ACTING_PASSWORD_INVALID 43          /**< "acting password invalid" */
#define RC_MUST_UPGRADE 58                     /**< "must upgrade" */
#define RC_BOT_LIMIT_EXCEEDED 59               /**< "bot limit exceeded" */
#define RC_EMAIL_CONTAINS_INVALID_CHAR 100     /**< "email contains invalid char" */
#define RC_EMAIL_ENDS_WITH_BLANK 101           /**< "email ends with blank" */
#define RC_EMAIL_MISSING_DOT 102               /**< "email missing dot" */
#define RC_EMAIL_MISSING_AT 103                /**< "email missing at" */
#define RC_EMAIL_STARTS_WITH_BLANK 104         /**< "email starts with blank" */
#define RC_EMAIL_TOO_LONG 105                  /**< "email too long" */
#define RC_EMAIL_TOO_SHORT 106                 /**< "email too short" */
#define RC_NAME_ALREADY_USED 107               /**< "name already used" */
#define RC_NAME_CONTAINS_INVALID_CHAR 108      /**< "name contains invalid char" */
#define RC_NAME_CONTAINS_INVALID_BLANK 109     /**< "name contains invalid blank" */
#define RC_NAME_DOESNT_EXIST 110               /**< "name doesnt exist" */
#define RC_NAME_ENDS_WITH_BLANK 111            /**< "name ends with blank" */
#define RC_NAME_TOO_LONG 112                   /**< "name too long" */
#define RC_NAME_TOO_SHORT 113                  /**< "name too short" */
#define RC_NAME_UNUSED 114                     /**< "name unused" */
#define RC_PASSWORD_TOO_LONG 115               /**< "password too long" */
#define RC_PASSWORD_TOO_SHORT 116              /**< "password too short" */
#define RC_PASSWORD_IS_WRONG 117               /**< "password is wrong" */
#define RC_NUMBER_ALREADY_USED 126             /**< "number already used" */
#define RC_NUMBER_OUT_OF_RANGE 127             /**< "number out of range" */
#define RC_PRIVILEGE_PASSWORD_IS_TOO_SHORT 128 /**< "privilege password is too short" */
#define RC_NO_ERROR 200                        /**< "no error (sdk bug, should be 0)" */
#define RC_NOT_CHANGE_OWNER 203                /**< "not change owner" */
#define RC_CANT_FIND_OLD_ELEMENT 204           /**< "cant find old element" */
#define RC_CANT_CHANGE_OWNER 211               /**< "cant change owner" */
#define RC_CANT_BUILD_HERE 216                 /**< "cant build here" */
#define RC_ENCROACHES 300                      /**< "encroaches" */
#define RC_NO_SUCH_OBJECT 301                  /**< "no such object" */
#define RC_NOT_DELETE_OWNER 302                /**< "not delete owner" */
#define RC_TOO_MANY_BYTES 303                  /**< "too many bytes" */
#define RC_UNREGISTERED_OBJECT 306             /**< "unregistered object" */
#define RC_ELEMENT_ALREADY_EXISTS 308          /**< "element already exists" */
#define RC_NO_BUILD_RIGHTS 310                 /**< "no build rights" */
#define RC_OUT_OF_BOUNDS 311                   /**< "out of bounds" */
#define RC_RESTRICTED_OBJECT 313               /**< "restricted object" */
#define RC_RESTRICTED_AREA 314                 /**< "restricted area" */
#define RC_OUT_OF_MEMORY 400                   /**< "out of memory" */
#define RC_NOT_YET 401                         /**< "not yet" */
#define RC_TIMEOUT 402                         /**< "timeout" */
#define RC_NULL_POINTER 403                    /**< "null pointer" */
#define RC_UNABLE_TO_CONTACT_UNIVERSE 404      /**< "unable to contact universe" */
#define RC_UNABLE_TO_CONTACT_WORLD 405         /**< "unable to contact world" */
#define RC_INVALID_WORLD_NAME 406              /**< "invalid world name" */
#define RC_SEND_FAILED 415                     /**< "send failed" */
#define RC_RECEIVE_FAILED 416                  /**< "receive failed" */
#define RC_STREAM_EMPTY 421                    /**< "stream empty" */
#define RC_STREAM_MESSAGE_TOO_LONG 422         /**< "stream message too long" */
#define RC_WORLD_NAME_TOO_LONG 423             /**< "world name too long" */
#define RC_MESSAGE_TOO_LONG 426                /**< "message too long" */
#define RC_UNABLE_TO_CONNECT 429               /**< "unable to connect" */
#define RC_NO_CONNECTION 439                   /**< "no connection" */
#define RC_UNABLE_TO_INITIALIZE_NETWORK 442    /**< "unable to initialize network" */
#define RC_INCORRECT_MESSAGE_LENGTH 443        /**< "incorrect message length" */
#define RC_NOT_INITIALIZED 444                 /**< "not initialized" */
#define RC_NO_INSTANCE 445                     /**< "no instance" */
#define RC_OUT_BUFFER_FULL 446                 /**< "out buffer full" */
#define RC_INVALID_CALLBACK 447                /**< "invalid callback" */
#define RC_INVALID_ATTRIBUTE 448               /**< "invalid attribute" */
#define RC_TYPE_MISMATCH 449                   /**< "type mismatch" */
#define RC_STRING_TOO_LONG 450                 /**< "string too long" */
#define RC_READ_ONLY 451                       /**< "read only" */
#define RC_INVALID_INSTANCE 453                /**< "invalid instance" */
#define RC_VERSION_MISMATCH 454                /**< "version mismatch" */
#define RC_IN_BUFFER_FULL 461                  /**< "in buffer full" */
#define RC_PROTOCOL_ERROR 463                  /**< "protocol error" */
#define RC_QUERY_IN_PROGRESS 464               /**< "query in progress" */
#define RC_EJECTED 466                         /**< "ejected" */
#define RC_NOT_WELCOME 467                     /**< "not welcome" */
#define RC_CONNECTION_LOST 471                 /**< "connection lost" */
/** @} */

/** @name Codes without a text
 * Codes the library returns that have no text; api_result_text() gives their
 * decimal form. */
/** @{ */
#define RC_NO_SOCKET 428           /**< no socket could be made */
#define RC_NONBLOCKING_FAILED 430  /**< the socket could not be made non-blocking */
#define RC_NO_STREAM 473           /**< an operation on a link that does not exist */
#define RC_WORLD_BUILD_TOO_OLD 488 /**< the world server's build is below 26 */
/** @} */

/** @name Failures of the socket layer
 * Failures of the operating system's socket layer travel as 10000 + errno, so
 * that they never collide with the service's codes; a host name that cannot be
 * resolved gives RC_HOST_NOT_FOUND. */
/** @{ */
/** The socket layer's failure errno travels as RC_SOCKET_ERROR_BASE + errno. */
#define RC_SOCKET_ERROR_BASE 10000
/** A host name that has no IPv4 address. */
#define RC_HOST_NOT_FOUND 11001
/** @} */

/** @} */

#endif /* ORBILO_RESULT_CODES_H */
